#include "SettingsPage.h"

#include "audit/AuditBackup.h"
#include "audit/AuditTrail.h"
#include "db/Backup.h"
#include "db/FileModes.h"
#include "db/ServerRestore.h"
#include "db/DatabaseSession.h"
#include "pagehost/PageHost.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "platform/ImportProgress.h"
#include "platform/SerialPort.h"
#include "signin/OperatorAccounts.h"
#include "startup/AppContext.h"
#include "startup/Captions.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStandardPaths>

namespace k27 {

SettingsPage::SettingsPage(PageHost& host, QWidget* parent)
    : QWidget(parent), m_host(host), m_context(host.context()),
      m_accounts(new OperatorAccounts(m_context.databases(), m_context.language))
{
    buildLayout();
    setupGridColumns();
    m_cmdUpU->setEnabled(false);

    connect(m_btnbak, &QPushButton::clicked, this, &SettingsPage::backUp);
    connect(m_dcButton2, &QPushButton::clicked, this, &SettingsPage::restore);
    connect(m_cmdAddU, &QPushButton::clicked, this, &SettingsPage::addOperator);
    connect(m_cmdUpU, &QPushButton::clicked, this, &SettingsPage::changeOperator);
    connect(m_cmdDelU, &QPushButton::clicked, this, &SettingsPage::deleteOperators);
    connect(m_gridP, &Grid::doubleClicked, this, &SettingsPage::loadForChange);
    connect(m_gridP, &Grid::clicked, this, &SettingsPage::gridClicked);
    connect(m_cmdApply, &QPushButton::clicked, this, &SettingsPage::applySerialSettings);
    connect(m_btnlag, &QPushButton::clicked, this, &SettingsPage::applyLanguage);
    showRegisterChoice();
    connect(m_optReg1, &QRadioButton::toggled, this, &SettingsPage::enableRegisterFields);
    connect(m_cmbTls, &QComboBox::currentIndexChanged, this, &SettingsPage::enableRegisterFields);
    connect(m_btnCa, &QPushButton::clicked, this, &SettingsPage::chooseCaFile);
    connect(m_btnTest, &QPushButton::clicked, this, &SettingsPage::testRegister);
    connect(m_btnReg, &QPushButton::clicked, this, &SettingsPage::applyRegisterChoice);
}

SettingsPage::~SettingsPage()
{
    delete m_accounts;
}

bool SettingsPage::isAdministrator() const
{
    return m_context.signedIn.isAdministrator;
}

QString SettingsPage::backupFolder() const
{
    if (!m_context.userDataFolder.isEmpty())
        return m_context.userDataFolder;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/K27Center");
}

void SettingsPage::setupGridColumns()
{
    m_gridP->setRedraw(false);
    if (m_gridP->cols() != int(OperatorColumns.size()))
        m_gridP->setCols(int(OperatorColumns.size()));
    if (m_gridP->rows() < 1)
        m_gridP->setRows(1);
    for (int col = 0; col < int(OperatorColumns.size()); ++col) {
        m_gridP->setHeaderText(col, m_context.message(OperatorColumns[size_t(col)].first));
        m_gridP->setColumnWidth(col, OperatorColumns[size_t(col)].second);
    }
    m_gridP->setRedraw(true);
}

void SettingsPage::applyRights()
{
    if (isAdministrator())
        return;
    for (QPushButton* button : {m_cmdAddU, m_cmdUpU, m_cmdDelU, m_cmdApply, m_btnReg})
        button->setEnabled(false);
}

static_assert(NamedDevicePort == SerialPort::NamedDevicePort);

void SettingsPage::listSerialDevices()
{
    constexpr int comPorts = SerialPort::LastPort;
    const QString chosen = m_cmbC->currentIndex() >= comPorts ? m_cmbC->currentText() : QString();
    QStringList devices = SerialPort::availableDevices();
    for (const QString& keep : {m_context.deviceName, chosen})
        if (!keep.isEmpty() && !devices.contains(keep))
            devices << keep;
    const QSignalBlocker block(m_cmbC);
    while (m_cmbC->count() > comPorts)
        m_cmbC->removeItem(comPorts);
    m_cmbC->addItems(devices);
    if (!chosen.isEmpty())
        m_cmbC->setCurrentIndex(m_cmbC->findText(chosen));
}

void SettingsPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    listSerialDevices();
}

void SettingsPage::showSettings()
{
    listSerialDevices();
    if (m_context.settings.port == NamedDevicePort && !m_context.deviceName.isEmpty())
        m_cmbC->setCurrentIndex(m_cmbC->findText(m_context.deviceName));
    else
        m_cmbC->setCurrentIndex(m_context.portNumber - 1);
    m_cmbS->setEditText(m_context.baudText);
    m_cmbLag->setCurrentIndex(m_context.settings.language);
}

// ---- Backup and restore -------------------------------------------------------------

void SettingsPage::backUp()
{
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::Backup);
    if (!run)
        return;
    m_lblinfo->setText(m_context.message(Msg::BackingUp));
    m_lblinfo->repaint();
    PathRefusal refused;
    // A register on a server is copied as one snapshot, which takes a while: shown table by table.
    std::unique_ptr<ImportProgress> shown;
    BackupWriter write;
    if (m_context.onServer()) {
        shown = m_host.progress(this, m_context.message(Msg::BackingUp));
        write = audit::serverBackup(m_context.registerLocation(), tableProgress(*shown));
    }
    const bool ok = manualBackup(m_context.databasePath(), backupFolder(), &refused, write);
    if (shown)
        shown->end(0, 0);
    if (ok) // operator log: the head code beside the copy, and the backup's row
        audit::noteBackup(m_context.databases().window(), manualBackupPath(backupFolder()), QStringLiteral("manual"));
    m_lblinfo->clear();
    if (refused.problem != PathProblem::None) {
        showRefusal(Msg::BackupUnsafe, refused);
        return;
    }
    // A copy that was not made must not be reported as made.
    if (ok)
        m_context.dialogs().message(this, m_context.message(Msg::BackedUp), Dialogs::Icon::Information);
    else
        m_context.dialogs().message(this, m_context.message(Msg::BackupFailed), Dialogs::Icon::Error);
}

void SettingsPage::showRefusal(int message, const PathRefusal& refused)
{
    m_context.dialogs().message(this,
                                m_context.message(message) + u'\n' + QDir::toNativeSeparators(refused.path) + u'\n'
                                    + m_context.message(messageFor(refused.problem)),
                                Dialogs::Icon::Error);
}

void SettingsPage::restore()
{
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::Restore);
    if (!run)
        return;
    const QString folder = backupFolder();
    if (!QDir(folder).exists(QStringLiteral("Data"))) {
        m_context.dialogs().message(this, m_context.message(Msg::NoBackupFound), Dialogs::Icon::Error);
        return;
    }
    if (m_context.onServer()) {
        restoreShared(folder);
        return;
    }
    m_lblinfo->setText(m_context.message(Msg::Restoring));
    m_lblinfo->repaint();
    // The run's connections let go of the file; the next use opens what was restored.
    m_context.databases().close();
    PathRefusal refused;
    // Operator log: the restored register keeps the rows written since the backup, and the restore's row.
    const RestoreResult result = restoreBackup(
        m_context.databasePath(), folder, nullptr, &refused,
        [&](Database& live, Database& restored) { return audit::carryLog(live, restored, manualBackupPath(folder)); });
    m_lblinfo->clear();
    if (result == RestoreResult::Unsafe) {
        showRefusal(Msg::RestoreUnsafe, refused);
        return;
    }
    if (result == RestoreResult::NoBackupFolder) {
        m_context.dialogs().message(this, m_context.message(Msg::NoBackupFound), Dialogs::Icon::Error);
        return;
    }
    if (result != RestoreResult::Restored) {
        m_context.dialogs().message(this, m_context.message(Msg::CannotRestore), Dialogs::Icon::Error);
        return;
    }
    emit databaseRestored();
    // The operators came back with the rest of the database.
    OperatorList();
    m_context.dialogs().message(this, m_context.message(Msg::Restored), Dialogs::Icon::Information);
}

void SettingsPage::restoreShared(const QString& folder)
{
    if (!isAdministrator()) {
        m_context.dialogs().message(this, m_context.message(Msg::RestoreAdministratorsOnly), Dialogs::Icon::Error);
        return;
    }
    // A register brought back from a folder another user could write would let him in.
    if (const PathRefusal unsafe = unsafeBackupPlace(folder, false, true); unsafe.problem != PathProblem::None) {
        showRefusal(Msg::RestoreUnsafe, unsafe);
        return;
    }
    ServerRestore restore;
    restore.url = m_context.registerLocation();
    restore.backupFile = manualBackupPath(folder);
    restore.operatorName = m_context.signedIn.name;
    // The register's own log stays, and says what came back.
    restore.finish = [&](Database& server) {
        return audit::record(server, audit::Action::Restore, restore.backupFile,
                             audit::Digest::ofFile(restore.backupFile));
    };
    const std::unique_ptr<ImportProgress> shown = m_host.progress(this, m_context.message(Msg::Restoring));
    restore.progress = tableProgress(*shown);
    // This desk's own connections are not another desk; the next use opens them again.
    m_context.databases().close();
    const RestoreResult result = restore.run();
    shown->end(0, 0);
    switch (result) {
    case RestoreResult::Restored:
        emit databaseRestored();
        OperatorList(); // the operators came back with the rest of the register
        m_context.dialogs().message(this, m_context.message(Msg::Restored), Dialogs::Icon::Information);
        return;
    case RestoreResult::NotAdministrator:
        m_context.dialogs().message(this, m_context.message(Msg::RestoreAdministratorsOnly), Dialogs::Icon::Error);
        return;
    case RestoreResult::DesksConnected:
        m_context.dialogs().message(this,
                                    m_context.message(Msg::RestoreDesksConnected) + u'\n' + restore.desks.join(u'\n'),
                                    Dialogs::Icon::Error);
        return;
    default: m_context.dialogs().message(this, m_context.message(Msg::CannotRestore), Dialogs::Icon::Error);
    }
}

void SettingsPage::logSettings(const AppSettings& before)
{
    const AppSettings& now = m_context.settings;
    const QString changed = audit::changes(
        {QStringLiteral("port"), QStringLiteral("speed"), QStringLiteral("language")},
        {QString::number(before.port), QString::number(before.baudRate), QString::number(before.language)},
        {QString::number(now.port), QString::number(now.baudRate), QString::number(now.language)});
    if (Database* db = m_context.databases().window(); db && !changed.isEmpty())
        audit::record(*db, audit::Action::Settings, m_context.settingsPath(), changed);
}

// ---- Operators ----------------------------------------------------------------------

void SettingsPage::OperatorList()
{
    const QList<OperatorListRow> rows = m_accounts->list();
    m_gridP->setRedraw(false);
    m_gridP->setRows(1);
    m_gridP->setRows(int(rows.size()) + 1);
    for (int i = 0; i < rows.size(); ++i) {
        m_gridP->setCellText(i + 1, 1, rows[i].name);
        m_gridP->setCellText(i + 1, 2, rows[i].rights);
        m_gridP->setCellText(i + 1, 3, rows[i].mark);
    }
    m_gridP->setRedraw(true);
    m_gridP->refresh();
}

void SettingsPage::appendOperatorRow(const QString& name, const QString& rights, const QString& mark)
{
    const int row = m_gridP->rows();
    m_gridP->setRows(row + 1);
    m_gridP->setCellText(row, 1, name);
    m_gridP->setCellText(row, 2, rights);
    m_gridP->setCellText(row, 3, mark);
}

void SettingsPage::removeOperatorRow(int row)
{
    const int last = m_gridP->rows() - 1;
    if (row < 1 || row > last)
        return;
    for (int r = row; r < last; ++r)
        for (int c = 1; c < m_gridP->cols(); ++c)
            m_gridP->setCellText(r, c, m_gridP->cellText(r + 1, c));
    m_gridP->setRows(last);
}

void SettingsPage::addOperator()
{
    OperatorListRow row;
    const int outcome = m_accounts->add(
        {m_txtN->text(), m_txtP1->text(), m_txtP2->text(), m_optR0->isChecked(), m_txtmark->text()}, &row);
    Dialogs& dialogs = m_context.dialogs();
    switch (outcome) {
    case OperatorAccounts::Done:
        // The list shows what was stored (trimmed), so later look-ups by name find the row.
        appendOperatorRow(row.name, row.rights, row.mark);
        m_txtN->setFocus();
        break;
    case OperatorAccounts::AddEmptyName:
        dialogs.message(this, m_context.message(outcome), Dialogs::Icon::Warning);
        m_txtN->setFocus();
        break;
    case OperatorAccounts::PasswordsDiffer:
        dialogs.message(this, m_context.message(outcome), Dialogs::Icon::Warning);
        m_txtP2->setFocus();
        break;
    case OperatorAccounts::NameExists:
        dialogs.message(this, m_context.message(outcome), Dialogs::Icon::Error);
        m_txtN->setFocus();
        break;
    default:
        // Nothing was added (the file read-only, gone, or the disk full); the fields stay.
        dialogs.message(this, m_context.message(Msg::NotSaved), Dialogs::Icon::Error);
        break;
    }
}

void SettingsPage::loadForChange()
{
    const int row = m_gridP->selectionFirstRow();
    if (row != 0) {
        m_txtN->setText(m_gridP->cellText(row, 1));
        m_txtmark->setText(m_gridP->cellText(row, 3));
    }
    if (m_accounts->isAdministratorText(m_gridP->cellText(row, 2)))
        m_optR0->setChecked(true);
    else
        m_optR1->setChecked(true);
    // A change is made to the row as read now (its version kept).
    m_readVersion = m_accounts->version(m_txtN->text());
    m_cmdUpU->setEnabled(isAdministrator());
    // The password is not changed here: each operator changes his own at sign-in.
    for (QWidget* w : std::initializer_list<QWidget*>{m_txtN, m_txtP1, m_txtP2, m_label7, m_label8, m_cmdAddU})
        w->setEnabled(false);
    emit operatorLoadedForChange();
}

void SettingsPage::setAddingMode()
{
    m_readVersion = -1;
    for (QWidget* w : std::initializer_list<QWidget*>{m_txtN, m_txtP1, m_txtP2, m_label7, m_label8})
        w->setEnabled(true);
    m_cmdUpU->setEnabled(false);
    m_cmdAddU->setEnabled(isAdministrator());
}

void SettingsPage::changeOperator()
{
    OperatorListRow changed;
    const int outcome = m_accounts->change(m_txtN->text(), m_optR0->isChecked(), m_txtmark->text(), &changed,
                                           m_readVersion);
    if (outcome == OperatorAccounts::ChangeEmptyName) {
        m_context.dialogs().message(this, m_context.message(outcome), Dialogs::Icon::Warning);
        m_txtN->setFocus();
        return;
    }
    if (outcome == OperatorAccounts::ChangeUnknownName) {
        m_context.dialogs().message(this, m_context.message(outcome), Dialogs::Icon::Warning);
        return;
    }
    if (outcome == OperatorAccounts::ChangedElsewhere) {
        m_context.dialogs().message(this, m_context.message(outcome), Dialogs::Icon::Warning);
        // The row as it is now, in the fields and the list; the next save changes that.
        m_readVersion = m_accounts->version(changed.name);
        m_txtmark->setText(changed.mark);
        (m_accounts->isAdministratorText(changed.rights) ? m_optR0 : m_optR1)->setChecked(true);
    }
    if (outcome == OperatorAccounts::Done || outcome == OperatorAccounts::ChangedElsewhere) {
        for (int r = 1; r < m_gridP->rows(); ++r) {
            if (m_gridP->cellText(r, 1) == changed.name) {
                m_gridP->setCellText(r, 2, changed.rights);
                m_gridP->setCellText(r, 3, changed.mark);
                break;
            }
        }
        m_gridP->refresh();
        if (outcome == OperatorAccounts::ChangedElsewhere)
            return;
    } else {
        // Not stored: said so, and the operator stays loaded for another try.
        m_context.dialogs().message(this, m_context.message(Msg::NotSaved), Dialogs::Icon::Error);
        return;
    }
    setAddingMode();
}

void SettingsPage::gridClicked()
{
    m_cmdAddU->setEnabled(isAdministrator());
    m_cmdDelU->setEnabled(isAdministrator() && !m_deleting);
}

void SettingsPage::deleteOperators()
{
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::OperatorDeletion);
    if (!run || m_deleting)
        return;
    int first = m_gridP->selectionFirstRow();
    int last = m_gridP->selectionLastRow();
    if (last < first)
        std::swap(first, last);
    Dialogs& dialogs = m_context.dialogs();
    if (m_gridP->rows() <= 1) {
        dialogs.message(this, m_context.message(Msg::NothingToDelete), Dialogs::Icon::Warning);
        return;
    }
    if (first == 0 || last == 0) {
        dialogs.message(this, m_context.message(Msg::SelectOperatorsToDelete), Dialogs::Icon::Warning);
        return;
    }
    const int count = qMin(last, m_gridP->rows() - 1) - first + 1;
    if (!dialogs.question(
            this,
            deletionQuestion(m_context.language, Msg::DeleteSelectedOperators, count, m_gridP->cellText(first, 1)), {},
            Dialogs::DefaultAnswer::No))
        return;

    // Events run between the rows: no second deletion may start meanwhile.
    m_deleting = true;
    m_cmdDelU->setEnabled(false);
    QStringList names;
    for (int r = first; r <= last && r < m_gridP->rows(); ++r)
        names << m_gridP->cellText(r, 1);
    // Rows below a removed one move up; a row whose statement failed stays where it is.
    int row = first;
    const auto result = m_accounts->remove(names, m_context.signedIn.name, [&](int, bool deleted) {
        if (deleted)
            removeOperatorRow(row);
        else
            ++row;
    });
    m_deleting = false;
    // Operators sharing a deleted name are gone from the table too: drop their rows.
    const QSet<QString> gone(result.deletedNames.cbegin(), result.deletedNames.cend());
    for (int r = m_gridP->rows() - 1; r >= 1; --r)
        if (gone.contains(trimSpaces(m_gridP->cellText(r, 1))))
            removeOperatorRow(r);
    m_gridP->refresh();
    if (result.message == OperatorAccounts::DeleteSignedIn)
        dialogs.message(this, m_context.message(result.message), Dialogs::Icon::Error);
    m_cmdDelU->setEnabled(false);
}

// ---- Serial settings and language ----------------------------------------------------

void SettingsPage::applySerialSettings()
{
    const AppSettings before = m_context.settings; // for the operator log
    // Entries after COM8 are devices by name, kept in AppSet.dev.
    const bool named = m_cmbC->currentIndex() >= SerialPort::LastPort;
    const int port = named ? NamedDevicePort : m_cmbC->currentIndex() + 1;
    m_context.settings.port = quint8(port);
    if (named)
        m_context.deviceName = m_cmbC->currentText();
    if (port >= 1 && port <= 8)
        m_context.portNumber = port;
    const QString speed = trimSpaces(m_cmbS->currentText());
    qint32 baudRate = 0;
    if (!parseBaudRate(speed, &baudRate)) {
        // No number: the file and the line settings stay; the port is only reopened if closed.
        emit serialSettingsApplied(false);
        return;
    }
    m_context.settings.baudRate = baudRate;
    writeSettingsFile(m_context.settingsPath(), m_context.settings);
    logSettings(before);
    if (named)
        writeDeviceName(m_context.deviceNamePath(), m_context.deviceName);
    m_context.serialSettings = serialSettingsString(speed);
    m_context.baudText = speed;
    emit serialSettingsApplied(true);
}

void SettingsPage::applyLanguage()
{
    const int language = m_cmbLag->currentIndex();
    const quint8 previous = m_context.settings.language;
    if (language >= 0)
        m_context.settings.language = quint8(language);
    // A language whose file cannot be read is neither applied nor kept for the next start.
    if (!m_context.loadLanguage()) {
        m_context.settings.language = previous;
        return;
    }
    writeSettingsFile(m_context.settingsPath(), m_context.settings);
    AppSettings before = m_context.settings;
    before.language = previous;
    logSettings(before);
    ApplyCaptions(this, m_context.language);
    setupGridColumns();
    // The rights column is read back by its text: it must be in the new language too.
    OperatorList();
    emit languageApplied();
}

} // namespace k27
