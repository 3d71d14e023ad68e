#include "CardholderImportAction.h"

#include "cardholders/CardholderImport.h"
#include "startup/Messages.h"

namespace k27 {

CardholderImportAction::CardholderImportAction(CardholderImportHost host, QObject* parent)
    : QObject(parent), m_host(std::move(host)),
      m_action(WorkbookImportAction::forRegister<CardholderImport>(RunGuard::Run::CardholderImport,
                                                                   Msg::ImportCardholdersTitle))
{
    setObjectName(QStringLiteral("CardholderImportAction"));
}

void CardholderImportAction::run()
{
    m_action.run({m_host.context, m_host.page, m_host.runs, m_host.askDuplicate, m_host.progress.get(),
                  m_host.loadCardholders, m_host.showCardholders});
}

} // namespace k27
