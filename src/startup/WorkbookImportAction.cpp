#include "WorkbookImportAction.h"

#include "audit/AuditTrail.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "platform/Dialogs.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"

namespace k27 {

void WorkbookImportAction::run(const Window& window)
{
    if (!window.context)
        return;
    // Every start button asks the guard first, so a click during any run is told why nothing starts.
    const RunGuard::Scope run = RunGuard::start(window.runs, m_register.run);
    if (!run || m_running || window.pageBusy)
        return;
    AppContext& context = *window.context;
    Dialogs& dialogs = context.dialogs();
    const QString file = dialogs.openFile(window.parent, context.message(m_register.title),
                                          WorkbookReader::fileFilter(), Dialogs::FileKind::Workbook);
    if (file.isEmpty())
        return;
    m_reader.setColumnsKept(m_register.minimumColumns);
    m_reader.setPump(&WorkbookReader::letWindowsDraw);
    const WorkbookReader::Result sheet = m_reader.read(file);
    if (!sheet.ok()) {
        dialogs.message(window.parent, context.message(WorkbookReader::messageFor(sheet.status)), Dialogs::Icon::Error);
        return;
    }
    if (sheet.workbook.columns < m_register.minimumColumns) {
        dialogs.message(window.parent, context.message(Msg::TooFewColumns), Dialogs::Icon::Error);
        return;
    }
    // The runs' connection: the import's open transaction must not take in what the window
    // saves while the import lets events through.
    Database* db = context.databases().runs();
    if (!db)
        return;
    m_running = true;
    const std::unique_ptr<ImportEngine> import = m_register.makeImport(*db, context.language);
    import->setAsk(window.askDuplicate);
    import->setProgress(window.progress);
    audit::ImportLog log(*db, QString::fromLatin1(m_register.logImport), QString::fromLatin1(m_register.logOverwrite),
                         file);
    import->setObserver(&log);
    const ImportEngine::Result result = import->run(sheet.workbook);
    m_running = false;
    if (window.reload)
        window.reload();
    dialogs.message(window.parent,
                    importSummary(context.language, result.imported(), result.skipped(), result.writeFailed,
                                  sheet.workbook.formulasWithoutValue, result.stopped),
                    result.writeFailed ? Dialogs::Icon::Warning : Dialogs::Icon::None);
    if (window.show)
        window.show();
}

} // namespace k27
