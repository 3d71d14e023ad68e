#pragma once

#include "issuing/CardFrame.h"
#include "platform/RunGuard.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace k27 {

class CommandBuffer;
class Database;
class DatabaseSession;
class Dialogs;
class IssuingPage;
class LanguageTable;
class SerialPort;

// What the issuing page does: command type, range, target cardholder, the ticks of his
// terminals, the start of an issuing run with its checks and questions, and the stop.
// The main window owns the buffer, the port, the connection and the lists; it hands in
// the few of its own operations the page needs (hooks).
class IssuingController : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        // FilterCardholders(4, cardOnly): refills GridU2 and runs searchFollowUp().
        std::function<void(bool cardOnly)> filterList;
        // FillTerminalGrid(range): numbers, addresses, slots reset.
        std::function<void(int range)> fillTerminalGrid;
    };

    IssuingController(IssuingPage& page, CommandBuffer& buffer, SerialPort& port,
                      DatabaseSession& databases, Dialogs& dialogs, const LanguageTable& language,
                      bool administrator, QObject* parent = nullptr);

    void setHooks(Hooks hooks) { m_hooks = std::move(hooks); }
    // The issuing run is one of the window's long runs: it holds the guard from a start that
    // reached the device until a stop that did.
    void setRunGuard(RunGuard* runs) { m_runs = runs; }

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
    DatabaseSession& m_databases;
    Dialogs& m_dialogs;
    const LanguageTable& m_language;
    bool m_administrator;
    Hooks m_hooks;
    RunGuard* m_runs = nullptr;

    // The cardholder last chosen as target (trimmed name and phone): a refill of the list
    // keeps him selected when he is still listed, wherever his row moved to.
    QString m_targetName;
    QString m_targetPhone;
    QStringList m_holderTerminals;   // HolderTerminals
    QStringList m_holderValidity;    // HolderValidity
    bool m_issuingActive = false;
};

} // namespace k27
