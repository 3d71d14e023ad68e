#pragma once

#include "startup/Messages.h"

#include <QWidget>
#include <array>
#include <utility>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace k27 {
struct AppSettings;
struct RegisterChoice;

class AppContext;
class Grid;
class PageHost;
struct PathRefusal;
class OperatorAccounts;

// The system settings page of the main window: database backup and restore, operator
// accounts, serial settings, language and where the register is. The main window hosts it as its fifth page and
// reacts to its signals (port, language, restored database).
class SettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsPage(PageHost& host, QWidget* parent = nullptr);
    ~SettingsPage() override;

    // Fills GridP from the operator table.
    void OperatorList();
    // CmbC, CmbS and CmbLag show the current settings.
    void showSettings();
    // CmbC offers COM1..COM8, then the serial devices found by name (and the chosen one,
    // also while it is unplugged). Runs again whenever the page is shown.
    void listSerialDevices();
    // The columns of GridP: header message and width (the window's grid set-up takes them too).
    static constexpr std::array<std::pair<int, int>, 4> OperatorColumns = {
        {{Msg::HeaderOperatorNo, 50}, {Msg::HeaderOperator, 100}, {Msg::HeaderRights, 100}, {Msg::HeaderRemark, 500}}};
    // Headers and widths of GridP from the language table.
    void setupGridColumns();
    // For an ordinary operator: the operator buttons and cmdApply are disabled.
    void applyRights();
    Grid* gridP() const { return m_gridP; }

    // The frames' folder of the manual backup (the context's user data folder, or the
    // platform's application data folder when none is set).
    QString backupFolder() const;

signals:
    // cmdApply has run. `written`: the settings were written and the serial settings string
    // changed, so an open port must be closed before the activation step reopens it;
    // otherwise only the activation step runs.
    void serialSettingsApplied(bool written);
    // btnlag has written the language, reloaded the language table and applied it to this
    // page; the main window applies it to itself (title, gender list, ranges, grids).
    void languageApplied();
    // The database was restored from the backup: lists that show it must be reloaded.
    void databaseRestored();
    // A row of GridP was loaded for a change.
    void operatorLoadedForChange();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void buildBackupFrame();
    void buildUsersFrame();
    void buildSerialFrame();
    void buildLanguageFrame();
    void buildRegisterFrame();
    // The register frame: the folder's choice shown, kept, tried.
    void showRegisterChoice();
    RegisterChoice registerChoice() const;
    void applyRegisterChoice();
    void testRegister();
    void chooseCaFile();
    void enableRegisterFields();
    void backUp();
    void restore();
    // The restore of a register on a server: the whole installation's, in one function.
    void restoreShared(const QString& folder);
    // The operator log's row of a change of port, speed or language.
    void logSettings(const AppSettings& before);
    // A backup or restore refused for the safety of the register: the folder or file and why.
    void showRefusal(int message, const PathRefusal& refused);
    void addOperator();
    void loadForChange();
    void changeOperator();
    void deleteOperators();
    void gridClicked();
    void applySerialSettings();
    void applyLanguage();
    void appendOperatorRow(const QString& name, const QString& rights, const QString& mark);
    void removeOperatorRow(int row);
    void setAddingMode();
    bool isAdministrator() const;

    // Backup and restore ask the host's run guard first: never under a running import.
    PageHost& m_host;
    AppContext& m_context;
    bool m_deleting = false; // a deletion is running its rows
    OperatorAccounts* m_accounts;
    // The version of the operator loaded for a change, when loaded (-1: none).
    qint64 m_readVersion = -1;

    QGroupBox* m_frameBackup;
    QPushButton* m_btnbak;
    QPushButton* m_dcButton2;
    QLabel* m_lblinfo;

    QGroupBox* m_frameUsers;
    QLineEdit* m_txtN;
    QLineEdit* m_txtP1;
    QLineEdit* m_txtP2;
    QLabel* m_label7;
    QLabel* m_label8;
    QRadioButton* m_optR0;
    QRadioButton* m_optR1;
    QButtonGroup* m_rights;
    QLineEdit* m_txtmark;
    QPushButton* m_cmdAddU;
    QPushButton* m_cmdUpU;
    QPushButton* m_cmdDelU;
    Grid* m_gridP;

    QGroupBox* m_frameSerial;
    QComboBox* m_cmbC;
    QComboBox* m_cmbS;
    QPushButton* m_cmdApply;

    QGroupBox* m_frameLanguage;
    QComboBox* m_cmbLag;
    QPushButton* m_btnlag;

    QGroupBox* m_frameRegister;
    QRadioButton* m_optReg0;
    QRadioButton* m_optReg1;
    QLineEdit* m_txtHost;
    QLineEdit* m_txtPort;
    QLineEdit* m_txtDb;
    QLineEdit* m_txtUser;
    QComboBox* m_cmbTls;
    QLineEdit* m_txtCa;
    QPushButton* m_btnCa;
    QPushButton* m_btnTest;
    QPushButton* m_btnReg;
    QLabel* m_lblReg;
};

} // namespace k27
