#pragma once

#include "platform/SerialPort.h"

#include <QObject>
#include <QString>
#include <functional>

namespace k27 {

class CommandBuffer;
class Database;
class DatabaseSession;
class Dialogs;
class IssuingPage;
class LanguageTable;

// Answers the card-issuing device: every notification of the port is handled here. The
// reply is read 100 ms after the notification (events run meanwhile), told apart by its
// length and shown in the issuing page's status line; a written card is recorded for the
// cardholder selected in GridU2, a read card is looked up in both pages' search fields.
class DeviceReplyHandler : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReplyWaitMs = 100;
    static constexpr int MaxReplyWaits = 10;

    struct Hooks
    {
        // LoadCardholders: the in-memory table from the database.
        std::function<void()> loadCardholders;
        // FilterCardholders(4, cardOnly): the issuing page's list with its search texts.
        std::function<void(bool cardOnly)> filterList;
        // The cardholder page's search fields: name, department and address emptied, the
        // card number into the card-number field, each change searching as typing does.
        std::function<void(const QString& cardNumberText)> searchCardholderPage;
    };

    DeviceReplyHandler(IssuingPage& page, CommandBuffer& buffer, SerialPort& port,
                       DatabaseSession& databases, Dialogs& dialogs, const LanguageTable& language,
                       QObject* parent = nullptr);

    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    // Runs for every notification of the port.
    void HandleDeviceReply(SerialPort::Event event);

    // True while the mismatch box is open: notifications then leave their bytes waiting.
    bool commBusy() const { return m_commBusy; }

private:
    void cardWritten(const QString& cardNumberText);
    void cardRead(const QString& cardNumberText);
    void refreshList();

    IssuingPage& m_page;
    CommandBuffer& m_buffer;
    SerialPort& m_port;
    DatabaseSession& m_databases;
    Dialogs& m_dialogs;
    const LanguageTable& m_language;
    Hooks m_hooks;
    bool m_commBusy = false;      // CommBusy
    bool m_deferred = false;      // a notification came while busy
    bool m_waiting = false;       // a reply is being gathered
    bool m_moreArrived = false;   // bytes came during the current wait
};

} // namespace k27
