#pragma once

#include "platform/DuplicateAnswer.h"
#include "platform/RunGuard.h"
#include "startup/Messages.h"
#include "startup/WorkbookImportAction.h"
#include "terminals/TerminalImport.h"

#include <QWidget>
#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace k27 {

class AppContext;
class Database;
class Grid;
class ImportProgress;
class TerminalTable;

// What the terminal page uses of the main window that hosts it.
struct TerminalPageHost
{
    AppContext* context = nullptr;
    TerminalTable* terminals = nullptr;      // TerminalRows, drawn by GridM
    std::function<void()> fillTerminalGrid;  // the issuing page's terminal grid, current range
    std::function<bool()> loadTerminalList;
    DuplicateAnswer::Ask askDuplicate;       // the window's duplicate-row question
    RunGuard* runs = nullptr;                // the window's one long run
    std::shared_ptr<ImportProgress> progress;  // the progress panel over this page
};

// Page 1 of the main window: the terminal entry frame Frame3 and the list GridM. The
// buttons add, change and delete terminals, print, export and import the list.
class TerminalPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int AddressMaxLength = 100;

    explicit TerminalPage(QWidget* parent = nullptr);
    ~TerminalPage() override;

    // Connects the buttons and the grid; until then they do nothing.
    void attach(TerminalPageHost host);

    // The button and grid handlers.
    void addTerminal();        // cmdAdd
    void changeTerminal();     // cmdUp
    void deleteTerminals();    // cmdD
    void printTerminals();     // cmdPrint
    void exportTerminals();    // cmdEx
    void importTerminals();    // cmdIn
    void selectForChange();    // GridM double-click
    void gridClicked();        // GridM click

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
    bool isAdministrator() const;
    QString message(int number) const;
    Database* windowDatabase();
    // The window's connection for an add or change of the number typed; null (the operator
    // told why) while a run is busy, without a number, or without a database.
    Database* entryDatabase(int noNumberMessage);
    void showRowCount();
    bool busy() const { return m_busy || m_import.isRunning(); }

    TerminalPageHost m_host;
    WorkbookImportAction m_import{
        WorkbookImportAction::forRegister<TerminalImport>(RunGuard::Run::TerminalImport, Msg::ImportTerminalsTitle)};
    // A delete lets window events run; a second click meanwhile is ignored.
    bool m_busy = false;
};

} // namespace k27
