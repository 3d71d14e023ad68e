#include "CardholderImportAction.h"

#include "cardholders/CardholderImport.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "pagehost/PageHost.h"
#include "platform/Dialogs.h"
#include "platform/ImportProgress.h"
#include "platform/WorkbookReader.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"

namespace k27 {

CardholderImportAction::CardholderImportAction(PageHost& host, QWidget* page, std::function<void()> showList,
                                               QObject* parent)
    : QObject(parent), m_host(host), m_page(page), m_showList(std::move(showList))
{
    setObjectName(QStringLiteral("CardholderImportAction"));
}

void CardholderImportAction::run()
{
    if (m_running)
        return;
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::CardholderImport);
    if (!run)
        return;
    AppContext& context = m_host.context();
    Dialogs& dialogs = context.dialogs();
    const QString file = dialogs.openFile(m_page, context.message(Msg::ImportCardholdersTitle),
                                          WorkbookReader::fileFilter(), Dialogs::FileKind::Workbook);
    if (file.isEmpty())
        return;
    m_reader.setColumnsKept(CardholderImport::MinimumColumns);
    m_reader.setPump(&WorkbookReader::letWindowsDraw);
    const WorkbookReader::Result sheet = m_reader.read(file);
    if (!sheet.ok()) {
        dialogs.message(m_page, context.message(WorkbookReader::messageFor(sheet.status)), Dialogs::Icon::Error);
        return;
    }
    if (sheet.workbook.columns < CardholderImport::MinimumColumns) {
        dialogs.message(m_page, context.message(Msg::TooFewColumns), Dialogs::Icon::Error);
        return;
    }
    // The runs' connection: the import's open transaction must not take in what the window
    // saves while the import lets events through.
    Database* db = context.databases().runs();
    if (!db)
        return;
    m_running = true;
    CardholderImport import(*db, context.language);
    const std::unique_ptr<ImportProgress> progress = m_host.progress(m_page, context.message(Msg::Importing));
    import.setAsk(m_host.duplicateQuestion());
    import.setProgress(progress.get());
    const CardholderImport::Result result = import.run(sheet.workbook);
    m_running = false;
    m_host.loadCardholders();
    dialogs.message(m_page, importSummary(context.language, result.imported, result.skipped, result.writeFailed,
                                                  sheet.workbook.formulasWithoutValue, result.stopped),
                    result.writeFailed ? Dialogs::Icon::Warning : Dialogs::Icon::None);
    if (m_showList)
        m_showList();
}

} // namespace k27
