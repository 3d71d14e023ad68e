#pragma once

#include "db/ImportEngine.h"
#include "platform/DuplicateAnswer.h"
#include "platform/RunGuard.h"
#include "platform/WorkbookReader.h"

#include <functional>
#include <memory>

class QWidget;

namespace k27 {

class AppContext;
class Database;
class ImportProgress;
class LanguageTable;

// The import button of a register's page: choose a workbook, read it, import its rows through
// the runs' connection, reload the page's list and tell the operator how many rows were
// imported and skipped.
class WorkbookImportAction
{
public:
    // What differs between the registers.
    struct Register
    {
        RunGuard::Run run = RunGuard::Run::None;
        int title = 0; // message number of the file dialog's title
        int minimumColumns = 1;
        std::function<std::unique_ptr<ImportEngine>(Database&, const LanguageTable&)> makeImport;
        const char* logImport = "";    // the operator log's action codes of the import
        const char* logOverwrite = ""; // and of each stored row it overwrites
    };
    // What one run uses of the window around the page.
    struct Window
    {
        AppContext* context = nullptr;
        QWidget* parent = nullptr;         // parent of the dialogs
        RunGuard* runs = nullptr;          // the window's one long run
        DuplicateAnswer::Ask askDuplicate; // the window's duplicate-row question
        ImportProgress* progress = nullptr;
        std::function<void()> reload; // after the import, before its summary
        std::function<void()> show;   // after the summary
        bool pageBusy = false;        // the page is in a run of its own (a deletion)
    };

    explicit WorkbookImportAction(Register target) : m_register(std::move(target)) {}
    template <class Import>
    static Register forRegister(RunGuard::Run run, int title, const char* logImport, const char* logOverwrite)
    {
        return {run,
                title,
                Import::MinimumColumns,
                [](Database& db, const LanguageTable& language) { return std::make_unique<Import>(db, language); },
                logImport,
                logOverwrite};
    }

    void run(const Window& window);
    bool isRunning() const { return m_running; }
    WorkbookReader& workbookReader() { return m_reader; }

private:
    Register m_register;
    WorkbookReader m_reader;
    // The import lets window events run; a second click meanwhile is ignored.
    bool m_running = false;
};

} // namespace k27
