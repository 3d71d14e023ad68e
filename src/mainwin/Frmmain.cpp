#include "Frmmain.h"

#include "audit/AuditBackup.h"
#include "auditpage/AuditPage.h"
#include "audit/AuditTrail.h"
#include "cardholders/CardholderPage.h"
#include "db/Backup.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"
#include "issuing/DeviceReplyHandler.h"
#include "issuing/IssuingController.h"
#include "issuing/IssuingPage.h"
#include "mainwin/ApplyMainLanguage.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/PageWiring.h"
#include "mainwin/SetupGridColumns.h"
#include "pagehost/ProgressPanel.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "platform/SerialPort.h"
#include "records/RecordPage.h"
#include "settings/SettingsPage.h"
#include "ribbon/ImageList.h"
#include "ribbon/VelRibbon.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"
#include "terminals/TerminalPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace k27 {

namespace {
constexpr int Timer1Interval = 100; // ms after a list load
} // namespace

const QStringList& Frmmain::administratorButtons()
{
    static const QStringList names = {
        QStringLiteral("cmdAdd"),  QStringLiteral("btnInsert"), QStringLiteral("cmdAddU"),  QStringLiteral("cmdUpU"),
        QStringLiteral("cmdDelU"), QStringLiteral("cmdApply"),  QStringLiteral("btnStart"), QStringLiteral("btnEx"),
        QStringLiteral("cmdEx"),   QStringLiteral("btnInput"),  QStringLiteral("cmdIn"),    QStringLiteral("btndel"),
        QStringLiteral("cmdD"),    QStringLiteral("BtnUpdate"), QStringLiteral("BtnDelD"),
    };
    return names;
}

Frmmain::Frmmain(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_context(context)
{
    setObjectName(QStringLiteral("Frmmain"));
    // Every grid's print asks through the window's dialogs before a print of many pages.
    Grid::setPrintPagesQuestion([this](QWidget* parent, int pages) {
        return m_context.dialogs().input(
            parent, m_context.message(Msg::PagesToPrint).replace(QStringLiteral("%1"), QString::number(pages)), {});
    });
    m_port = new SerialPort(this);
    m_port->setObjectName(QStringLiteral("MSComm1"));
    m_port->setProgramFolder(m_context.programFolder());
    // The port's initial settings, so that a stop command can open it even before the
    // first activation.
    m_port->setPortNumber(m_context.settings.port);
    m_port->setDeviceName(m_context.deviceName);
    m_port->setSettings(m_context.serialSettings);
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer1->setInterval(Timer1Interval);
    connect(m_timer1, &QTimer::timeout, this, &Frmmain::onTimer1);
    // The rotating copy beside the database; a failed copy shows nothing and the close
    // request goes on.
    m_automaticBackup = [this] {
        // A register on a server is copied as one snapshot: the panel shows it table by table,
        // painted only (no click reaches the closing window meanwhile).
        BackupWriter write;
        if (m_context.onServer())
            write = audit::serverBackup(
                m_context.registerLocation(),
                [this, table = QString()](const QString& name, qint64 done, qint64 total) mutable {
                    if (name != table) {
                        table = name;
                        m_picPrg->start(this, m_context.message(Msg::BackingUp), int(total));
                    }
                    m_picPrg->setValue(int(done));
                    m_picPrg->repaint();
                });
        const QString copy = automaticBackup(m_context.databasePath(), write);
        if (write)
            m_picPrg->finish();
        // Operator log: the head code beside the copy, and the backup's row.
        if (!copy.isEmpty())
            audit::noteBackup(m_context.databases().window(), copy, QStringLiteral("automatic"));
    };
    m_runs.refused = [this] {
        m_context.dialogs().message(this, m_context.message(Msg::RunInProgress), Dialogs::Icon::Warning);
    };
    // After each import, deletion, backup or restore the database file alone holds all of it
    // (a copy of the file taken while the program runs misses nothing); what could not be
    // settled then (a reader in the way) is settled once the window is idle. A close that
    // waited for the run (its summary has been shown) goes on then.
    m_runs.ended = [this] {
        m_context.databases().settle();
        if (m_replies)
            m_replies->runEnded();
        if (m_closeAfterRun)
            QTimer::singleShot(0, this, [this] {
                m_closing = true;
                close();
            });
    };
    m_settleTimer = new QTimer(this);
    m_settleTimer->setInterval(SettleIntervalMs);
    connect(m_settleTimer, &QTimer::timeout, this, [this] {
        if (!m_runs.active())
            m_context.databases().settle();
    });
    m_settleTimer->start();

    buildWindow();
    buildFrame();
    placeOnScreen();
    load();
}

// The pages go first: they hold the host.
Frmmain::~Frmmain()
{
    delete m_pages;
    m_pages = nullptr;
    Grid::setPrintPagesQuestion({});
}

void Frmmain::buildWindow()
{
    m_ribbon = new VelRibbon(this);
    m_ribbon->setObjectName(QStringLiteral("VelRibbon1"));
    m_ribbon->setFixedHeight(VelRibbon::BarHeightPixels);
    connect(m_ribbon, &VelRibbon::TabClick, this, [this](const QString& key, const QString&) { TabClick(key); });

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("Pages"));
    m_wiring = std::make_unique<PageWiring>(*this);
    m_cardholderPage = new CardholderPage(*m_wiring, m_cardholders, m_pages);
    m_terminalPage = new TerminalPage(*m_wiring, m_terminals, m_pages);
    m_issuingPage = new IssuingPage(m_pages);
    m_recordPage = new RecordPage(*m_wiring, m_records, m_pages);
    m_settingsPage = new SettingsPage(*m_wiring, m_pages);
    m_picture = {m_cardholderPage, m_terminalPage, m_issuingPage, m_recordPage, m_settingsPage};
    // Enter presses the focused button of a page, as in the dialogs (not only Space).
    for (QWidget* page : m_picture)
        for (QPushButton* button : page->findChildren<QPushButton*>())
            button->setAutoDefault(true);
    for (int i = 0; i < PageCount; ++i) {
        m_picture[size_t(i)]->setObjectName(QStringLiteral("Picture1"));
        m_picture[size_t(i)]->setProperty("index", i);
        // A window smaller than a page scrolls it, so every control stays within reach.
        auto* scroll = new QScrollArea(m_pages);
        scroll->setObjectName(QStringLiteral("PageScroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        // No Tab stop of its own (it would show nothing); it still follows the focus.
        scroll->setFocusPolicy(Qt::NoFocus);
        scroll->setWidget(m_picture[size_t(i)]);
        m_pages->addWidget(scroll);
    }

    // --- operator log page: the sixth tab, for administrators only ---
    if (m_context.signedIn.isAdministrator) {
        m_auditPage = new AuditPage(*m_wiring, m_pages);
        m_pages->addWidget(m_auditPage);
        connect(m_ribbon, &VelRibbon::TabClick, this, [this](const QString& key, const QString&) {
            if (key == QStringLiteral("6"))
                m_pages->setCurrentWidget(m_auditPage);
        });
    }
    // --- end of the operator log page ---

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(ResizeBorder, ResizeBorder, ResizeBorder, ResizeBorder);
    layout->setSpacing(0);
    layout->addWidget(m_ribbon);
    layout->addWidget(m_pages, 1);

    // Panels that lie over the pages while an import or deletion runs.
    m_picTip = new DuplicatePrompt(this);
    m_picPrg = new ProgressPanel(this);
    m_wiring->wire();
}

void Frmmain::load()
{
    applyMainLanguage();

    m_ribbon->setTheme(1);
    m_ribbon->setImageList(ImageList::withProgramLogo());
    m_ribbon->setIcon(ImageList::ProgramLogoIndex);
    m_ribbon->setCaption(windowTitle());
    m_ribbon->setShowCustomMenu(false);
    m_ribbon->AddTab(QStringLiteral("1"), m_context.message(Msg::CardholdersTab));
    m_ribbon->AddTab(QStringLiteral("2"), m_context.message(Msg::TerminalsTab));
    m_ribbon->AddTab(QStringLiteral("3"), m_context.message(Msg::CardIssuingTab));
    m_ribbon->AddTab(QStringLiteral("4"), m_context.message(Msg::AccessRecordsTab));
    m_ribbon->AddTab(QStringLiteral("5"), m_context.message(Msg::SystemSettingsTab));
    if (m_auditPage) // operator log page
        m_ribbon->AddTab(QStringLiteral("6"), m_context.message(Msg::AuditLogTab));
    m_cardholderPage->Combo1->setCurrentIndex(0);
    m_ribbon->Refresh();

    m_commandBuffer.prefill();

    showSettings();
    applyRights();
    m_issuingPage->CmbNo->setCurrentIndex(0);

    if (!m_initialised) {
        LoadTerminalList();
        LoadCardholders();
        m_settingsPage->OperatorList();
        if (Database* db = m_context.databases().window()) {
            EnsureRecordTable(*db);
            ensureLookupIndexes(*db);
        }
        m_pages->setCurrentIndex(0);
        m_issuingPage->CmbNo->setCurrentIndex(0);
        m_commandBuffer.setRange(0);
        FillTerminalGrid(0);
        m_initialised = true;
        // A frame for a new card stands ready; both lists show every cardholder.
        m_issuing->chooseCommandType(CardFrame::CommandType::NewCard);
        FilterCardholders(0, false);
        m_issuingPage->DT1->setDate(QDate::currentDate());
        m_recordPage->DT[0]->setDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
    }
}

void Frmmain::applyMainLanguage()
{
    ApplyMainLanguage(this, m_cardholderPage->Combo1, m_issuingPage->CmbNo, m_context);
    setupGridColumns();
    if (m_auditPage) // operator log page
        m_auditPage->applyLanguage();
}

void Frmmain::setupGridColumns()
{
    if (m_port->isOpen())
        m_port->close();
    MainGrids grids;
    grids.GridU = m_cardholderPage->GridU;
    grids.GridU2 = m_issuingPage->GridU2;
    grids.GridM = m_terminalPage->GridM;
    grids.GridZ = m_issuingPage->GridZ;
    grids.GridP = findChild<Grid*>(QStringLiteral("GridP"));
    grids.GridIO = m_recordPage->GridIO;
    SetupGridColumns(grids, m_context.language);
    m_issuingPage->fitLists();
}

void Frmmain::showSettings()
{
    m_settingsPage->showSettings();
}

void Frmmain::onSerialSettingsApplied(bool written)
{
    if (written && m_port->isOpen())
        m_port->close();
    OpenDevicePort();
}

void Frmmain::onLanguageApplied()
{
    applyMainLanguage();
    // The language switch fills the gender list once more and selects its first item;
    // in English it also gives the window its short title.
    QComboBox* gender = m_cardholderPage->Combo1;
    gender->clear();
    if (m_context.settings.language == 2) {
        gender->addItems({QStringLiteral("man"), QStringLiteral("woman")});
        setWindowTitle(QStringLiteral("Entrance Guard Management System"));
    } else {
        gender->addItems({QStringLiteral("男"), QStringLiteral("女")});
    }
    gender->setCurrentIndex(0);
    // The bar is this frameless window's title bar: it shows the new title (its tabs keep
    // the captions they were given at load).
    m_ribbon->setCaption(windowTitle());
}

void Frmmain::applyRights()
{
    if (m_context.signedIn.isAdministrator)
        return;
    for (const QString& name : administratorButtons())
        for (QWidget* button : findChildren<QWidget*>(name))
            button->setEnabled(false);
    m_settingsPage->applyRights();
}

bool Frmmain::LoadTerminalList()
{
    Database* db = m_context.databases().window();
    const bool ok = db && m_terminals.load(*db);
    Grid* grid = m_terminalPage->GridM;
    grid->setRedraw(false);
    grid->setRows(m_terminals.rowCount() + 1);
    grid->setRedraw(true);
    grid->refresh();
    return ok;
}

bool Frmmain::LoadCardholders()
{
    Database* db = m_context.databases().window();
    const bool ok = db && m_cardholders.load(*db);
    // Both lists show the new table at once: a list left with its old row count would show
    // blank rows, and the issuing list's selected row receives the next card written.
    showCardholders(CardholderTable::CardholderPageView, false);
    showCardholders(CardholderTable::IssuingPageView, m_issuingPage->cardOnly());
    if (m_issuing)
        m_issuing->keepTargetRow();
    return ok;
}

void Frmmain::FilterCardholders(int firstField, bool cardOnly)
{
    const bool issuing = firstField == 4;
    showCardholders(issuing ? CardholderTable::IssuingPageView : CardholderTable::CardholderPageView, cardOnly);
    if (issuing)
        m_issuing->searchFollowUp();
    m_timer1->start();
}

void Frmmain::showCardholders(CardholderTable::View view, bool cardOnly)
{
    const bool issuing = view == CardholderTable::IssuingPageView;
    m_cardholders.filter(view, issuing ? m_issuingPage->searchTexts() : m_cardholderPage->searchTexts(), cardOnly);
    Grid* grid = issuing ? m_issuingPage->GridU2 : m_cardholderPage->GridU;
    grid->setRedraw(false);
    grid->setRows(m_cardholders.viewCount(view) + 1);
    grid->setRedraw(true);
    grid->refresh();
}

void Frmmain::FillTerminalGrid(int range)
{
    m_issuingPage->fillTerminalGrid(range, [this](int number) { return m_terminals.addressOf(number); });
    m_commandBuffer.resetSlots();
}

void Frmmain::onTimer1()
{
    for (Grid* grid : {m_cardholderPage->GridU, m_issuingPage->GridU2, m_terminalPage->GridM, m_issuingPage->GridZ})
        grid->refresh();
    m_timer1->stop();
}

int Frmmain::currentPage() const
{
    return m_pages->currentIndex();
}

QWidget* Frmmain::page(int index) const
{
    return index >= 0 && index < PageCount ? m_picture[size_t(index)] : nullptr;
}

void Frmmain::TabClick(const QString& key)
{
    bool isNumber = false;
    const int index = key.toInt(&isNumber) - 1;
    if (!isNumber || index < 0 || index >= PageCount)
        return;
    m_pages->setCurrentIndex(index);
    QWidget* page = m_picture[size_t(index)];
    page->show();
    page->raise();
    // The keyboard goes on in the new page (a page chosen by Ctrl+1..5 would leave it
    // on a hidden control).
    if (!page->isAncestorOf(QApplication::focusWidget())) {
        for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
            if (page->isAncestorOf(w) && w->isVisibleTo(page) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
                w->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    }

    if (key == QLatin1String("1")) {
        m_cardholderPage->clearSearch();
        FilterCardholders(0, false);
    } else if (key == QLatin1String("3")) {
        m_issuingPage->clearSearch();
        m_issuingPage->txtUser->clear();
        m_issuing->chooseCommandType(CardFrame::CommandType::NewCard);
        m_issuingPage->clearTicks();
        m_issuingPage->btnStart->setEnabled(m_context.signedIn.isAdministrator);
    }
}

void Frmmain::OpenDevicePort(bool activation)
{
    if (m_port->isOpen())
        return;
    m_port->setDeviceName(m_context.deviceName);
    if (openDevicePort(*m_port, m_context.settings.port, m_context.serialSettings))
        return;
    if (activation && m_portWarned)
        return;
    m_portWarned = m_portWarned || activation;
    m_context.dialogs().message(this, portFailureText(), Dialogs::Icon::Warning);
}

QString Frmmain::portFailureText() const
{
    const SerialPort::OpenProblem problem = m_port->openProblem();
    QString why = problem == SerialPort::OpenProblem::StaleLock
                      ? m_context.message(Msg::StaleLock).replace(QStringLiteral("%1"), m_port->lockFile())
                      : m_context.message(openFailureMessage(problem));
    const int port = m_context.settings.port;
    const QString path = m_port->targetPath();
    QString device;
    if (port == SerialPort::NamedDevicePort)
        device = path;
    else if (port >= SerialPort::FirstPort && port <= SerialPort::LastPort)
        device = QStringLiteral("COM%1 (%2)").arg(port).arg(path);
    else
        device = m_context.message(Msg::NoPortApplied);
    return why + u'\n' + m_context.message(Msg::PortDevice).replace(QStringLiteral("%1"), device);
}

void Frmmain::stopIssuing()
{
    m_issuing->stop();
}

bool Frmmain::issuingActive() const
{
    return m_issuing->issuingActive();
}

void Frmmain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        layOutFrame();
    if (event->type() != QEvent::ActivationChange)
        return;
    if (!isActiveWindow()) {
        // Coming back from one of our own modal boxes (a message, a file dialog) is no
        // new activation: otherwise a failed open would warn again as soon as its own
        // message box closes, for ever.
        // Nor is the return from a resize by the window system, which may hold the focus
        // while the operator drags an edge.
        const bool resizing = m_systemResize.isValid() && m_systemResize.elapsed() < 1000;
        m_systemResize.invalidate();
        m_skipNextActivation = QApplication::activeModalWidget() != nullptr || resizing;
        return;
    }
    if (m_skipNextActivation) {
        m_skipNextActivation = false;
        return;
    }
    OpenDevicePort(true);
}

void Frmmain::closeDuringRun()
{
    if (m_closeAfterRun)
        return; // asked already: the run is stopping
    if (!m_context.dialogs().question(this, m_context.message(Msg::StopRunAndExit)))
        return; // the window and the run go on
    m_closeAfterRun = true;
    m_runs.requestStop();
    // A duplicate question waits no longer: its row is skipped, and the run stops at its
    // next commit.
    if (m_picTip->isVisible())
        m_picTip->CmdTip[DuplicatePrompt::Skip]->click();
}

void Frmmain::closeEvent(QCloseEvent* event)
{
    // The window stays while a run that lets events through works on: hidden, it would go
    // on invisibly to its end. The issuing run is no such run: it waits for cards.
    if (m_runs.active() && m_runs.current() != RunGuard::Run::Issuing) {
        event->ignore();
        closeDuringRun();
        return;
    }
    saveWindowPlace();
    // After a stopped run the operator has answered already.
    const bool quit = m_closing || m_context.dialogs().question(this, m_context.message(Msg::ExitProgram));
    m_closing = false;
    if (m_context.signedIn.isAdministrator && m_automaticBackup)
        m_automaticBackup();
    stopIssuing();
    if (!quit) {
        event->ignore();
        return;
    }
    // Operator log: the window closed is the operator's sign-out.
    if (Database* db = m_context.databases().window())
        audit::record(*db, audit::Action::SignOut, m_context.signedIn.name);
    event->accept();
    QCoreApplication::quit();
}

} // namespace k27
