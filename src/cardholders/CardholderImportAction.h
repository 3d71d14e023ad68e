#pragma once

#include "platform/DuplicateAnswer.h"
#include "platform/RunGuard.h"
#include "startup/WorkbookImportAction.h"

#include <QObject>
#include <functional>
#include <memory>

class QWidget;

namespace k27 {

class AppContext;
class ImportProgress;

// What the cardholder import uses of the main window.
struct CardholderImportHost
{
    AppContext* context = nullptr;
    QWidget* page = nullptr;                   // parent of the dialogs
    DuplicateAnswer::Ask askDuplicate;         // the window's duplicate-row question
    RunGuard* runs = nullptr;                  // the window's one long run
    std::shared_ptr<ImportProgress> progress;  // the progress panel over the cardholder page
    std::function<void()> loadCardholders;     // reload the register from the database
    std::function<void()> showCardholders;     // filter with the page's search, list in front
};

// btnInput of the cardholder page: the workbook import of the cardholder register.
class CardholderImportAction : public QObject
{
    Q_OBJECT
public:
    CardholderImportAction(CardholderImportHost host, QObject* parent = nullptr);

    void run();
    bool isRunning() const { return m_action.isRunning(); }
    WorkbookReader& workbookReader() { return m_action.workbookReader(); }

private:
    CardholderImportHost m_host;
    WorkbookImportAction m_action;
};

} // namespace k27
