#pragma once

#include "platform/DuplicateAnswer.h"
#include "platform/RunGuard.h"
#include "platform/WorkbookReader.h"

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

// btnInput of the cardholder page: choose a workbook, read it, import its rows, reload the
// list and tell the operator how many rows were imported and skipped.
class CardholderImportAction : public QObject
{
    Q_OBJECT
public:
    CardholderImportAction(CardholderImportHost host, QObject* parent = nullptr);

    void run();
    bool isRunning() const { return m_running; }
    WorkbookReader& workbookReader() { return m_reader; }

private:
    CardholderImportHost m_host;
    WorkbookReader m_reader;
    // The import lets window events run; a second click meanwhile is ignored.
    bool m_running = false;
};

} // namespace k27
