#include "issuing/DeviceReplyHandler.h"

#include "audit/AuditTrail.h"
#include "cardholders/CardholderTable.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "issuing/ApplyIssuedCard.h"
#include "issuing/CommandBuffer.h"
#include "issuing/DeviceReply.h"
#include "issuing/IssuingPage.h"
#include "pagehost/PageHost.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "startup/AppContext.h"
#include "startup/LanguageTable.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"
#include "startup/Utilities.h"

#include <QComboBox>
#include <QRadioButton>
#include <QTimer>

namespace k27 {

DeviceReplyHandler::DeviceReplyHandler(PageHost& host, IssuingPage& page, CommandBuffer& buffer, SerialPort& port,
                                       std::function<void(const QString&)> searchCardholderPage, QObject* parent)
    : QObject(parent), m_page(page), m_buffer(buffer), m_port(port), m_host(host), m_context(host.context()),
      m_searchCardholderPage(std::move(searchCardholderPage))
{
    connect(&port, &SerialPort::commEvent, this, &DeviceReplyHandler::HandleDeviceReply);
}

void DeviceReplyHandler::HandleDeviceReply(SerialPort::Event event)
{
    if (m_commBusy || m_host.runs().writing()) {
        // The bytes stay in the port; they are read once the box is closed or the run has
        // ended: a run that writes holds its transaction open, and a card recorded meanwhile
        // would wait for it and fail.
        m_deferred = m_deferred || event == SerialPort::Event::DataReceived;
        return;
    }
    if (m_waiting) {
        // Bytes arriving during the wait belong to the block being gathered. A nested handler
        // per notification would let a noisy line stack waits without end (and overflow the
        // stack); the waiting handler reads them all instead.
        m_moreArrived = m_moreArrived || event == SerialPort::Event::DataReceived;
        return;
    }
    if (event != SerialPort::Event::DataReceived) {
        return;
    }
    // The rest of the reply arrives meanwhile. Bytes arriving during a wait start another, so
    // that a reply still coming is read whole; a line that never falls silent is read after
    // MaxReplyWaits waits.
    m_waiting = true;
    for (int wait = 0; wait < MaxReplyWaits; ++wait) {
        m_moreArrived = false;
        DelayMs(ReplyWaitMs);
        if (!m_moreArrived)
            break;
    }
    m_waiting = false;
    if (m_host.runs().writing()) {
        m_deferred = true; // a run began during the wait
        return;
    }
    // Everything waiting is taken; bytes arriving after this are the next reply and get their
    // own notification (clearing the input here could drop the start of a card report).
    const QByteArray block = m_port.readAll();

    const DeviceReply reply = decodeReply(block);
    switch (reply.kind) {
    case DeviceReply::Kind::Accepted:
        m_page.showTip(m_context.language.message(Msg::CommandAccepted), IssuingPage::SuccessColour);
        return;
    case DeviceReply::Kind::Refused:
        m_page.showTip(m_context.language.message(Msg::CommandRefused), IssuingPage::FailureColour);
        return;
    case DeviceReply::Kind::UnknownEightByte:
        m_page.showTip(m_context.language.message(Msg::CardIssuingFailed), IssuingPage::FailureColour);
        return;
    case DeviceReply::Kind::CardWritten: cardWritten(reply.cardNumberText); return;
    case DeviceReply::Kind::CardRead: cardRead(reply.cardNumberText); return;
    case DeviceReply::Kind::Other: refreshList(); return;
    }
}

void DeviceReplyHandler::runEnded()
{
    if (!m_deferred || m_commBusy)
        return;
    m_deferred = false;
    QTimer::singleShot(0, this, [this] { HandleDeviceReply(SerialPort::Event::DataReceived); });
}

void DeviceReplyHandler::cardWritten(const QString& cardNumberText)
{
    m_page.showTip(m_context.language.message(Msg::CardIssued) + cardNumberText, IssuingPage::SuccessColour);
    Grid* grid = m_page.GridU2;
    const int row = grid->currentRow();
    const QString name = trimSpaces(grid->cellText(row, CardholderColumn::Name));
    // A card the register does not take (no target, another holder's card) is logged here;
    // one stored on its holder is logged with the change.
    const auto logUnstored = [&](const QString& why) {
        if (Database* db = m_context.databases().window())
            audit::record(*db, audit::Action::CardReply, name,
                          QStringLiteral("card written: %1; not stored: %2").arg(cardNumberText, why));
    };
    if (row <= 0 || name.isEmpty())
        logUnstored(QStringLiteral("no target"));
    if (row > 0 && !name.isEmpty()) {
        if (Database* db = m_context.databases().window()) {
            // Recorded with what the device was told to write, whatever the page shows now.
            const CommandBuffer::SentFrame& sent = m_buffer.sent();
            const ApplyOutcome outcome = ApplyIssuedCard(
                *db, name, trimSpaces(grid->cellText(row, CardholderColumn::Phone)), cardNumberText, sent.restore,
                sent.validityText, sent.restoreList, m_holderIdAt ? m_holderIdAt(row) : 0);
            if (outcome == ApplyOutcome::Failed) {
                // The card exists but is not recorded: say so instead of reporting success.
                m_page.showTip(m_context.language.message(Msg::CardIssuingFailed), IssuingPage::FailureColour);
                refreshList();
                return;
            }
            if (outcome == ApplyOutcome::NotFound)
                logUnstored(QStringLiteral("holder not found"));
            if (outcome == ApplyOutcome::Mismatch) {
                logUnstored(QStringLiteral("holder has another card"));
                m_commBusy = true;
                m_page.showTip(m_context.language.message(Msg::CardNumberMismatch) + cardNumberText,
                               IssuingPage::FailureColour);
                m_context.dialogs().message(&m_page, m_context.language.message(Msg::HolderHasOtherCard),
                                            Dialogs::Icon::None);
                m_commBusy = false;
                m_page.showTip(m_context.language.message(Msg::CardIssuingFailed));
                if (m_deferred) {
                    // A card written while the box was open is not lost with the box.
                    m_deferred = false;
                    QTimer::singleShot(0, this, [this] { HandleDeviceReply(SerialPort::Event::DataReceived); });
                }
                return;
            }
        }
    }
    m_host.loadCardholders();
    refreshList();
}

void DeviceReplyHandler::cardRead(const QString& cardNumberText)
{
    if (Database* db = m_context.databases().window())
        audit::record(*db, audit::Action::CardReply, {}, QStringLiteral("card read: ") + cardNumberText);
    refreshList();
    if (m_searchCardholderPage)
        m_searchCardholderPage(cardNumberText);
    // Emptied first, so that the search of the card number runs with the other fields clear.
    for (int field : {0, 2, 3})
        m_page.CmbF[field]->setEditText(QString());
    m_page.CmbF[1]->setEditText(cardNumberText);
}

void DeviceReplyHandler::refreshList()
{
    m_host.filterCardholders(4, m_page.cardOnly());
}

} // namespace k27
