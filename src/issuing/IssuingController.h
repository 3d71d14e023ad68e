#pragma once

#include "issuing/CardFrame.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace k27 {

class AppContext;
class CommandBuffer;
class Database;
class IssuingPage;
class PageHost;
class SerialPort;

// What the issuing page does: command type, range, target cardholder, the ticks of his
// terminals, the start of an issuing run with its checks and questions, and the stop.
// The main window owns the buffer, the port and the lists; the lists are reloaded through
// the page host.
class IssuingController : public QObject
{
    Q_OBJECT
public:
    // The issuing run is one of the window's long runs: it holds the host's guard from a start
    // that reached the device until a stop that did.
    IssuingController(PageHost& host, IssuingPage& page, CommandBuffer& buffer, SerialPort& port,
                      QObject* parent = nullptr);

    // The option click: checks the option, sets the command bytes, refreshes the list.
    void chooseCommandType(CardFrame::CommandType type);
    // A range chosen in CmbNo after the first load.
    void chooseRange(int range);
    // Double-click or row notification of GridU2: the cardholder of `row` becomes the target.
    void selectTarget(int row);
    // Reads the stored permission lists of the cardholder in `row` of GridU2 and ticks his
    // terminals of the shown range.
    void LoadHolderPermissions(int row);
    void MarkHolderTerminals(int range);
    // After GridU2 was refilled by a search.
    void searchFollowUp();
    // After the cardholder table was reloaded under GridU2 (an import, a deletion, a restore):
    // the target stays the same cardholder, and the next card written is recorded for him.
    void keepTargetRow();
    void start();
    void stop();

    bool issuingActive() const { return m_issuingActive; }
    const QStringList& holderTerminals() const { return m_holderTerminals; }
    const QStringList& holderValidity() const { return m_holderValidity; }

private:
    bool selectRememberedTarget();
    void onSearchChanged(int field, bool typed);
    void onGridClicked();
    void onDropDownChosen(int col);
    bool hasTarget() const;
    // Each answers whether the frame reached the device.
    bool startRestore();
    bool startIssue();
    bool send(bool restore);
    // The operator log's row of a frame that reached the device.
    void logSentFrame();

    IssuingPage& m_page;
    CommandBuffer& m_buffer;
    SerialPort& m_port;
    PageHost& m_host;
    AppContext& m_context;
    bool m_administrator;

    // The cardholder last chosen as target (trimmed name and phone): a refill of the list
    // keeps him selected when he is still listed, wherever his row moved to.
    QString m_targetName;
    QString m_targetPhone;
    QStringList m_holderTerminals; // HolderTerminals
    QStringList m_holderValidity;  // HolderValidity
    bool m_issuingActive = false;
};

} // namespace k27
