#pragma once

#include "platform/SerialPort.h"

#include <QObject>
#include <QString>
#include <functional>

namespace k27 {

class AppContext;
class CommandBuffer;
class IssuingPage;
class PageHost;

// Answers the card-issuing device: every notification of the port is handled here. The
// reply is read 100 ms after the notification (events run meanwhile), told apart by its
// length and shown in the issuing page's status line; a written card is recorded for the
// cardholder selected in GridU2, a read card is looked up in both pages' search fields. A
// reply during a run that writes waits in the port until the run has ended.
class DeviceReplyHandler : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReplyWaitMs = 100;
    static constexpr int MaxReplyWaits = 10;

    // `searchCardholderPage` puts a read card into the cardholder page's search: name,
    // department and address emptied, the card number into the card-number field.
    DeviceReplyHandler(PageHost& host, IssuingPage& page, CommandBuffer& buffer, SerialPort& port,
                       std::function<void(const QString& cardNumberText)> searchCardholderPage,
                       QObject* parent = nullptr);

    // Gives the stored row (ID) of a GridU2 row, so that a written card finds its holder
    // however the holder is named now; 0 when unknown.
    void setHolderIds(std::function<qint64(int row)> holderIdAt) { m_holderIdAt = std::move(holderIdAt); }

    // Runs for every notification of the port.
    void HandleDeviceReply(SerialPort::Event event);

    // The window's run has ended: a reply that waited for it is read now.
    void runEnded();

    // True while the mismatch box is open: notifications then leave their bytes waiting.
    bool commBusy() const { return m_commBusy; }

private:
    void cardWritten(const QString& cardNumberText);
    void cardRead(const QString& cardNumberText);
    void refreshList();

    IssuingPage& m_page;
    CommandBuffer& m_buffer;
    SerialPort& m_port;
    PageHost& m_host;
    AppContext& m_context;
    std::function<void(const QString&)> m_searchCardholderPage;
    std::function<qint64(int row)> m_holderIdAt;
    bool m_commBusy = false;    // CommBusy
    bool m_deferred = false;    // a notification came while busy
    bool m_waiting = false;     // a reply is being gathered
    bool m_moreArrived = false; // bytes came during the current wait
};

} // namespace k27
