#pragma once

#include "platform/DuplicateAnswer.h"
#include "platform/RunGuard.h"
#include "startup/Messages.h"
#include "audit/AuditTrail.h"
#include "startup/WorkbookImportAction.h"
#include "terminals/TerminalImport.h"

#include <QWidget>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace k27 {

class Database;
class TerminalRegister;
class Grid;
class PageHost;
class TerminalTable;

// Page 1 of the main window: the terminal entry frame Frame3 and the list GridM. The
// buttons add, change and delete terminals, print, export and import the list.
class TerminalPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int AddressMaxLength = 100;

    // `terminals` is the window's terminal register (TerminalRows), drawn by GridM.
    TerminalPage(PageHost& host, TerminalTable& terminals, QWidget* parent = nullptr);
    ~TerminalPage() override;

    // The button and grid handlers.
    void addTerminal();     // cmdAdd
    void changeTerminal();  // cmdUp
    void deleteTerminals(); // cmdD
    void printTerminals();  // cmdPrint
    void exportTerminals(); // cmdEx
    void importTerminals(); // cmdIn
    void selectForChange(); // GridM double-click
    void gridClicked();     // GridM click

    // How cmdPrint prints the prepared grid: the print preview by default.
    std::function<void(Grid&)> printAction;
    WorkbookReader& workbookReader() { return m_import.workbookReader(); }

    QGroupBox* Frame3 = nullptr;
    QLabel* Label30 = nullptr;
    QLineEdit* TxtNo = nullptr;
    QLabel* Label31 = nullptr;
    QPlainTextEdit* TxtAdd = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdUp = nullptr;
    QPushButton* cmdD = nullptr;
    QPushButton* cmdIn = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdEx = nullptr;
    QLabel* lblNote = nullptr;
    Grid* GridM = nullptr;

private:
    void buildEntryFrame();
    void connectHandlers();
    bool isAdministrator() const;
    QString message(int number) const;
    Database* windowDatabase();
    // The window's connection for an add or change of the number typed; null (the operator
    // told why) while a run is busy, without a number, or without a database.
    Database* entryDatabase(int noNumberMessage);
    void showRowCount();
    // Shows a terminal's stored address in the fields and the list, and keeps its version.
    void readForChange(TerminalRegister& terminals, qint64 number);
    bool busy() const { return m_busy || m_import.isRunning(); }

    PageHost& m_host;
    TerminalTable& m_terminals;
    WorkbookImportAction m_import{WorkbookImportAction::forRegister<TerminalImport>(
        RunGuard::Run::TerminalImport, Msg::ImportTerminalsTitle, audit::Action::TerminalImport,
        audit::Action::TerminalOverwrite)};
    // A delete lets window events run; a second click meanwhile is ignored.
    bool m_busy = false;
    // The terminal chosen for a change and the version of its row then (-1: none).
    qint64 m_readNumber = 0;
    qint64 m_readVersion = -1;
};

} // namespace k27
