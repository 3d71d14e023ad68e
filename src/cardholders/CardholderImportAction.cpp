#include "CardholderImportAction.h"

#include "audit/AuditTrail.h"
#include "cardholders/CardholderImport.h"
#include "pagehost/PageHost.h"
#include "platform/ImportProgress.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"

namespace k27 {

CardholderImportAction::CardholderImportAction(PageHost& host, QWidget* page, std::function<void()> showList,
                                               QObject* parent)
    : QObject(parent), m_host(host), m_page(page), m_showList(std::move(showList)),
      m_action(WorkbookImportAction::forRegister<CardholderImport>(
          RunGuard::Run::CardholderImport, Msg::ImportCardholdersTitle, audit::Action::HolderImport,
          audit::Action::HolderOverwrite))
{
    setObjectName(QStringLiteral("CardholderImportAction"));
}

void CardholderImportAction::run()
{
    const std::unique_ptr<ImportProgress> progress = m_host.progress(m_page, m_host.context().message(Msg::Importing));
    m_action.run({&m_host.context(), m_page, &m_host.runs(), m_host.duplicateQuestion(), progress.get(),
                  [this] { m_host.loadCardholders(); }, m_showList});
}

} // namespace k27
