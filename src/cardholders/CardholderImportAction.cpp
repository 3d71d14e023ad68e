#include "CardholderImportAction.h"

#include "cardholders/CardholderImport.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "platform/Dialogs.h"
#include "platform/WorkbookReader.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"

namespace k27 {

CardholderImportAction::CardholderImportAction(CardholderImportHost host, QObject* parent)
    : QObject(parent), m_host(std::move(host))
{
    setObjectName(QStringLiteral("CardholderImportAction"));
}

void CardholderImportAction::run()
{
    if (m_running || !m_host.context)
        return;
    const RunGuard::Scope run = RunGuard::start(m_host.runs, RunGuard::Run::CardholderImport);
    if (!run)
        return;
    AppContext& context = *m_host.context;
    Dialogs& dialogs = context.dialogs();
    const QString file = dialogs.openFile(m_host.page, context.message(Msg::ImportCardholdersTitle),
                                          WorkbookReader::fileFilter(), Dialogs::FileKind::Workbook);
    if (file.isEmpty())
        return;
    m_reader.setColumnsKept(CardholderImport::MinimumColumns);
    m_reader.setPump(&WorkbookReader::letWindowsDraw);
    const WorkbookReader::Result sheet = m_reader.read(file);
    if (!sheet.ok()) {
        dialogs.message(m_host.page, context.message(WorkbookReader::messageFor(sheet.status)), Dialogs::Icon::Error);
        return;
    }
    if (sheet.workbook.columns < CardholderImport::MinimumColumns) {
        dialogs.message(m_host.page, context.message(Msg::TooFewColumns), Dialogs::Icon::Error);
        return;
    }
    // The runs' connection: the import's open transaction must not take in what the window
    // saves while the import lets events through.
    Database* db = context.databases().runs();
    if (!db)
        return;
    m_running = true;
    CardholderImport import(*db, context.language);
    import.setAsk(m_host.askDuplicate);
    import.setProgress(m_host.progress.get());
    import.setSource(file);   // operator log
    const CardholderImport::Result result = import.run(sheet.workbook);
    m_running = false;
    if (m_host.loadCardholders)
        m_host.loadCardholders();
    dialogs.message(m_host.page, importSummary(context.language, result.imported, result.skipped, result.writeFailed,
                                                  sheet.workbook.formulasWithoutValue, result.stopped),
                    result.writeFailed ? Dialogs::Icon::Warning : Dialogs::Icon::None);
    if (m_host.showCardholders)
        m_host.showCardholders();
}

} // namespace k27
