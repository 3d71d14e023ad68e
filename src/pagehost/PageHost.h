#pragma once

#include "platform/DuplicateAnswer.h"
#include "platform/RunGuard.h"

#include <QString>
#include <memory>

class QWidget;

namespace k27 {

class AppContext;
class ImportProgress;

// What every page receives from the window that hosts it: the run's context, the window's one
// long run, the duplicate-row question of the imports, a progress over the page, and the lists
// shown on more than one page, which a page reloads after it changed what they show. A page
// keeps beside it only the few callbacks that are its own.
class PageHost
{
public:
    // fillTerminalGrid: the range the issuing page shows now.
    static constexpr int ShownRange = -1;

    virtual ~PageHost() = default;

    virtual AppContext& context() = 0;
    // Every start button asks here first; a refused start has been told to the operator.
    virtual RunGuard& runs() = 0;
    // Shows the question and waits for a button: its index 0..3, or -1 when nobody answered.
    virtual int askDuplicate(const QString& question) = 0;
    // The progress panel over `page` with `caption`, for one run; hidden when it goes.
    virtual std::unique_ptr<ImportProgress> progress(QWidget* page, const QString& caption) = 0;

    // LoadCardholders: the register from the database, both cardholder lists shown anew.
    virtual bool loadCardholders() = 0;
    // FilterCardholders: the cardholder page's list (firstField 0) or the issuing page's (4)
    // with its page's search texts.
    virtual void filterCardholders(int firstField, bool cardOnly) = 0;
    // LoadTerminalList: the terminal register from the database, GridM shown anew.
    virtual bool loadTerminalList() = 0;
    // FillTerminalGrid: the issuing page's terminal grid for `range` (or ShownRange).
    virtual void fillTerminalGrid(int range) = 0;

    // askDuplicate in the form the imports take.
    DuplicateAnswer::Ask duplicateQuestion()
    {
        return [this](const QString& question) { return askDuplicate(question); };
    }
};

} // namespace k27
