#pragma once

#include "cardholders/CardholderTable.h"
#include "issuing/CommandBuffer.h"
#include "platform/RunGuard.h"
#include "records/RecordRows.h"
#include "terminals/TerminalTable.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QStackedWidget;
class QTimer;

namespace k27 {

class AppContext;
class CardholderPage;
class DeviceReplyHandler;
class DuplicatePrompt;
class Grid;
class IssuingController;
class IssuingPage;
class PageWiring;
class ProgressPanel;
class RecordPage;
class SerialPort;
class SettingsPage;
class AuditPage; // operator log page
class TerminalPage;
class VelRibbon;
class WindowEdgeGrip;

// The main window: the ribbon bar over the five pages (Picture1 0..4), the shared
// state of the pages (in-memory tables, the card command buffer, the serial port, the
// database connection) and the window-level events: load, tab selection, activation,
// resize and the close request.
class Frmmain : public QWidget
{
    Q_OBJECT
public:
    static constexpr int PageCount = 5;
    // The size the window opens at on a screen large enough, the smallest it can be made
    // (the pages scroll below their own size), and the border that resizes it.
    static constexpr QSize PreferredSize{1280, 800};
    static constexpr QSize MinimumSize{800, 560};
    static constexpr int ResizeBorder = 5;

    explicit Frmmain(AppContext& context, QWidget* parent = nullptr);
    ~Frmmain() override;

    // The fifteen buttons an ordinary operator may not use.
    static const QStringList& administratorButtons();

    // Ribbon tab "1".."5".
    void TabClick(const QString& key);
    // Ctrl+Tab and Ctrl+Shift+Tab: the next or previous tab, as if it were clicked.
    void stepTab(int delta);
    int currentPage() const;
    QWidget* page(int index) const;

    // Opens the serial port when it is closed; a failure warns and names the device. The
    // window's activations warn once per start (a warning at every return to the window
    // only gets in the way); applying the settings warns every time.
    void OpenDevicePort(bool activation = false);
    // Why the port did not open and which device was meant.
    QString portFailureText() const;
    // Captions, gender list, title, range texts, then the grid headers (closing the port).
    void applyMainLanguage();

    bool LoadCardholders();
    void FilterCardholders(int firstField, bool cardOnly);
    bool LoadTerminalList();
    void FillTerminalGrid(int range);
    // The stop action of the issuing page: stop command to the device, buttons idle.
    void stopIssuing();

    // The administrator's automatic backup at the close request; the settings page's
    // backup by default.
    void setAutomaticBackup(std::function<void()> backup) { m_automaticBackup = std::move(backup); }

    bool isInitialised() const { return m_initialised; }
    const CommandBuffer& commandBuffer() const { return m_commandBuffer; }
    bool issuingActive() const;
    IssuingController* issuing() const { return m_issuing; }
    DeviceReplyHandler* deviceReplies() const { return m_replies; }
    SerialPort& serialPort() const { return *m_port; }
    CardholderTable& cardholders() { return m_cardholders; }
    TerminalTable& terminals() { return m_terminals; }
    RecordRows& records() { return m_records; }
    CardholderPage* cardholderPage() const { return m_cardholderPage; }
    TerminalPage* terminalPage() const { return m_terminalPage; }
    IssuingPage* issuingPage() const { return m_issuingPage; }
    RecordPage* recordPage() const { return m_recordPage; }
    SettingsPage* settingsPage() const { return m_settingsPage; }
    VelRibbon* ribbon() const { return m_ribbon; }
    DuplicatePrompt* duplicatePrompt() const { return m_picTip; }
    ProgressPanel* progressPanel() const { return m_picPrg; }
    QTimer* timer1() const { return m_timer1; }
    // The one long run (import, deletion, issuing, backup, restore) that may be active.
    RunGuard& runs() { return m_runs; }

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class PageWiring;

    void buildWindow();
    void buildFrame();
    // Opens where the operator left the window, within the screen.
    void placeOnScreen();
    void saveWindowPlace() const;
    // The resize border and its grips, which a maximised window does without.
    void layOutFrame();
    void load();
    void applyRights();
    void showSettings();
    void setupGridColumns();
    void onTimer1();
    // Filters one cardholder list with its page's search texts and sets its grid's rows.
    void showCardholders(CardholderTable::View view, bool cardOnly);
    void onLanguageApplied();
    void onSerialSettingsApplied(bool written);
    // A close request during a long run: asks to stop it; Yes closes once it has ended.
    void closeDuringRun();

    AppContext& m_context;
    std::unique_ptr<PageWiring> m_wiring; // the pages' host
    CardholderTable m_cardholders;
    TerminalTable m_terminals;
    RecordRows m_records;
    CommandBuffer m_commandBuffer;
    RunGuard m_runs;
    bool m_initialised = false;
    bool m_skipNextActivation = false;
    bool m_portWarned = false;    // an activation has warned about the port
    QElapsedTimer m_systemResize; // since the window system began resizing the window
    std::function<void()> m_automaticBackup;
    bool m_closeAfterRun = false; // the operator chose to stop the run and close
    bool m_closing = false;       // closing without asking again

    VelRibbon* m_ribbon = nullptr;
    QStackedWidget* m_pages = nullptr;
    std::array<QWidget*, PageCount> m_picture{};
    QList<WindowEdgeGrip*> m_grips;
    CardholderPage* m_cardholderPage = nullptr;
    TerminalPage* m_terminalPage = nullptr;
    IssuingPage* m_issuingPage = nullptr;
    RecordPage* m_recordPage = nullptr;
    SettingsPage* m_settingsPage = nullptr;
    AuditPage* m_auditPage = nullptr; // operator log page: administrators only
    DuplicatePrompt* m_picTip = nullptr;
    ProgressPanel* m_picPrg = nullptr;
    SerialPort* m_port = nullptr;
    IssuingController* m_issuing = nullptr;
    DeviceReplyHandler* m_replies = nullptr;
    QTimer* m_timer1 = nullptr;
    QTimer* m_settleTimer = nullptr;
    static constexpr int SettleIntervalMs = 2000;
};

} // namespace k27
