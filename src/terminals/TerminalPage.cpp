#include "TerminalPage.h"

#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "pagehost/PageHost.h"
#include "platform/FormControls.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "platform/ImportProgress.h"
#include "platform/WorkbookReader.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"
#include "terminals/TerminalImport.h"
#include "terminals/TerminalRegister.h"
#include "terminals/TerminalTable.h"

#include <QCoreApplication>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace k27 {

using namespace form;

TerminalPage::TerminalPage(PageHost& host, TerminalTable& terminals, QWidget* parent)
    : QWidget(parent), m_host(host), m_terminals(terminals)
{
    setObjectName(QStringLiteral("TerminalPage"));
    buildEntryFrame();

    GridM = named(new Grid(this), QStringLiteral("GridM"));
    GridM->setEnterOpensRow(true);

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 10);
    page->setSpacing(10);
    page->addWidget(Frame3);
    page->addWidget(GridM, 1);

    printAction = [this](Grid& grid) { grid.print(this); };
    connectHandlers();
}

// Frame3: the number and address of one terminal, the buttons, the note.
void TerminalPage::buildEntryFrame()
{
    Frame3 = frame(this, QStringLiteral("Frame3"), QStringLiteral("终端机信息"));
    Frame3->setFixedWidth(300);
    Label30 = named(new QLabel(QStringLiteral("终端机号："), Frame3), QStringLiteral("Label30"));
    TxtNo = lineEdit(Frame3, QStringLiteral("TxtNo"), 10);
    Label31 = named(new QLabel(QStringLiteral("终端机安装地址："), Frame3), QStringLiteral("Label31"));
    TxtAdd = named(new QPlainTextEdit(Frame3), QStringLiteral("TxtAdd"));
    TxtAdd->setFixedHeight(110);
    // An address holds no tab: Tab goes on to the next control.
    TxtAdd->setTabChangesFocus(true);
    // The address column holds 100 characters: longer input is cut as it is typed.
    connect(TxtAdd, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = TxtAdd->toPlainText();
        if (text.size() > AddressMaxLength) {
            const QSignalBlocker block(TxtAdd);
            TxtAdd->setPlainText(text.left(AddressMaxLength));
            TxtAdd->moveCursor(QTextCursor::End);
        }
    });

    cmdAdd = button(Frame3, QStringLiteral("cmdAdd"), QStringLiteral("添加"));
    cmdUp = button(Frame3, QStringLiteral("cmdUp"), QStringLiteral("修改"));
    cmdUp->setEnabled(false);
    cmdD = button(Frame3, QStringLiteral("cmdD"), QStringLiteral("删除"));
    cmdIn = button(Frame3, QStringLiteral("cmdIn"), QStringLiteral("导入"));
    cmdPrint = button(Frame3, QStringLiteral("cmdPrint"), QStringLiteral("打印"));
    cmdEx = button(Frame3, QStringLiteral("cmdEx"), QStringLiteral("导出"));
    lblNote = named(new QLabel(QStringLiteral("提示:双击序号,选择数据进行修改。"), Frame3), QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->setStyleSheet(QStringLiteral("color: #5a6b80;"));

    auto* buttons = new QGridLayout;
    buttons->setSpacing(8);
    const QPushButton* order[] = {cmdAdd, cmdUp, cmdD, cmdIn, cmdPrint, cmdEx};
    for (int i = 0; i < 6; ++i)
        buttons->addWidget(const_cast<QPushButton*>(order[i]), i / 2, i % 2);

    auto* entry = new QVBoxLayout(Frame3);
    entry->setSpacing(6);
    entry->addWidget(Label30);
    entry->addWidget(TxtNo);
    entry->addSpacing(4);
    entry->addWidget(Label31);
    entry->addWidget(TxtAdd);
    entry->addSpacing(10);
    entry->addLayout(buttons);
    entry->addSpacing(10);
    entry->addWidget(lblNote);
    entry->addStretch();
}

TerminalPage::~TerminalPage() = default;

void TerminalPage::connectHandlers()
{
    connect(cmdAdd, &QPushButton::clicked, this, &TerminalPage::addTerminal);
    connect(cmdUp, &QPushButton::clicked, this, &TerminalPage::changeTerminal);
    connect(cmdD, &QPushButton::clicked, this, &TerminalPage::deleteTerminals);
    connect(cmdPrint, &QPushButton::clicked, this, &TerminalPage::printTerminals);
    connect(cmdEx, &QPushButton::clicked, this, &TerminalPage::exportTerminals);
    connect(cmdIn, &QPushButton::clicked, this, &TerminalPage::importTerminals);
    connect(GridM, &Grid::doubleClicked, this, &TerminalPage::selectForChange);
    connect(GridM, &Grid::clicked, this, &TerminalPage::gridClicked);
}

bool TerminalPage::isAdministrator() const
{
    return m_host.context().signedIn.isAdministrator;
}

QString TerminalPage::message(int number) const
{
    return m_host.context().message(number);
}

Database* TerminalPage::windowDatabase()
{
    return m_host.context().databases().window();
}

void TerminalPage::showRowCount()
{
    GridM->setRedraw(false);
    GridM->setRows(m_terminals.rowCount() + 1);
    GridM->setRedraw(true);
    GridM->refresh();
}

Database* TerminalPage::entryDatabase(int noNumberMessage)
{
    if (busy())
        return nullptr;
    Dialogs& dialogs = m_host.context().dialogs();
    if (TxtNo->text().isEmpty()) {
        dialogs.message(this, message(noNumberMessage), Dialogs::Icon::Warning);
        TxtNo->setFocus();
        return nullptr;
    }
    Database* db = windowDatabase();
    if (!db)
        dialogs.message(this, message(Msg::NotSaved), Dialogs::Icon::Error);
    return db;
}

void TerminalPage::addTerminal()
{
    Database* db = entryDatabase(Msg::EnterTerminalNumber);
    if (!db)
        return;
    Dialogs& dialogs = m_host.context().dialogs();
    const qint64 number = TerminalRegister::numberOf(TxtNo->text());
    TerminalRegister terminals(*db);
    if (terminals.exists(number)) {
        dialogs.message(this, message(Msg::TerminalNumberExists), Dialogs::Icon::Error);
        return;
    }
    const QString address = trimSpaces(TxtAdd->toPlainText());
    // A terminal the database refused is said so and not listed; the fields stay.
    if (!terminals.insert(number, address)) {
        dialogs.message(this, message(terminals.duplicate() ? Msg::TerminalNumberExists : Msg::NotSaved),
                        Dialogs::Icon::Error);
        return;
    }
    // The new row goes to the end; the list is sorted again by its next reload.
    m_terminals.append(number, address);
    m_host.fillTerminalGrid(PageHost::ShownRange);
    showRowCount();
    TxtNo->setText(QString::number(number + 1));
    TxtNo->setFocus();
}

void TerminalPage::changeTerminal()
{
    Database* db = entryDatabase(Msg::EnterTerminalToChange);
    if (!db)
        return;
    Dialogs& dialogs = m_host.context().dialogs();
    const qint64 number = TerminalRegister::numberOf(TxtNo->text());
    TerminalRegister terminals(*db);
    if (!terminals.exists(number)) {
        dialogs.message(this, message(Msg::TerminalNumberMissing), Dialogs::Icon::Warning);
        return;
    }
    const QString address = trimSpaces(TxtAdd->toPlainText());
    if (!terminals.updateAddress(number, address, number == m_readNumber ? m_readVersion : -1)) {
        if (terminals.changedElsewhere()) {
            dialogs.message(this, message(Msg::RowChangedElsewhere), Dialogs::Icon::Warning);
            readForChange(terminals, number);
            return;
        }
        dialogs.message(this, message(Msg::NotSaved), Dialogs::Icon::Error);
        return;
    }
    m_readVersion = -1;
    TerminalTable& rows = m_terminals;
    for (int r = 1; r <= rows.rowCount(); ++r) {
        if (TerminalRegister::numberOf(rows.text(r, 1)) == number) {
            rows.setText(r, 2, address);
            break;
        }
    }
    m_host.fillTerminalGrid(PageHost::ShownRange);
    GridM->refresh();
    cmdUp->setEnabled(false);
    cmdAdd->setEnabled(isAdministrator());
}

void TerminalPage::readForChange(TerminalRegister& terminals, qint64 number)
{
    QString address;
    qint64 version = -1;
    if (!terminals.read(number, &address, &version))
        return;
    m_readNumber = number;
    m_readVersion = version;
    // Another desk may have changed the address since the list was read: the row as it is now.
    TxtAdd->setPlainText(address);
    for (int r = 1; r <= m_terminals.rowCount(); ++r) {
        if (TerminalRegister::numberOf(m_terminals.text(r, 1)) == number && m_terminals.text(r, 2) != address) {
            m_terminals.setText(r, 2, address);
            m_host.fillTerminalGrid(PageHost::ShownRange);
            GridM->refresh();
            break;
        }
    }
}

void TerminalPage::selectForChange()
{
    const int r = GridM->selectionFirstRow();
    if (r <= 0 || r >= GridM->rows())
        return;
    TxtNo->setText(GridM->cellText(r, 1));
    TxtAdd->setPlainText(GridM->cellText(r, 2));
    m_readVersion = -1;
    if (Database* db = windowDatabase()) {
        TerminalRegister terminals(*db);
        readForChange(terminals, TerminalRegister::numberOf(GridM->cellText(r, 1)));
    }
    cmdUp->setEnabled(isAdministrator());
    cmdAdd->setEnabled(false);
}

void TerminalPage::gridClicked()
{
    cmdAdd->setEnabled(isAdministrator());
}

void TerminalPage::deleteTerminals()
{
    const RunGuard::Scope run = m_host.runs().start(RunGuard::Run::TerminalDeletion);
    if (!run || busy())
        return;
    Dialogs& dialogs = m_host.context().dialogs();
    int r1 = GridM->selectionFirstRow();
    int r2 = GridM->selectionLastRow();
    if (r2 < r1)
        std::swap(r1, r2);
    if (GridM->rows() <= 1) {
        dialogs.message(this, message(Msg::NothingToDelete), Dialogs::Icon::Warning);
        return;
    }
    if (r1 == 0 || r2 == 0) {
        dialogs.message(this, message(Msg::SelectRowsToDelete), Dialogs::Icon::Warning);
        return;
    }
    const int count = qMin(r2, m_terminals.rowCount()) - r1 + 1;
    if (!dialogs.question(
            this, deletionQuestion(m_host.context().language, Msg::DeleteSelectedRows, count, GridM->cellText(r1, 1)),
            {}, Dialogs::DefaultAnswer::No))
        return;
    // Events run between the rows: the deletion keeps to the runs' connection and takes its
    // numbers before the first statement.
    Database* db = m_host.context().databases().runs();
    if (!db)
        return;
    r2 = qMin(r2, m_terminals.rowCount());
    QList<qint64> numbers;
    for (int r = r1; r <= r2; ++r)
        numbers << TerminalRegister::numberOf(m_terminals.text(r, 1));
    m_busy = true;
    TerminalRegister terminals(*db);
    // Each statement commits on its own; one the file cannot take ends the deletion, and only
    // the rows deleted leave the list.
    int deleted = 0;
    for (qint64 number : std::as_const(numbers)) {
        if (!terminals.remove(number))
            break;
        ++deleted;
        QCoreApplication::processEvents();
    }
    const bool writeFailed = deleted < numbers.size();
    if (deleted > 0)
        m_terminals.removeRows(r1, r1 + deleted - 1);
    showRowCount();
    m_busy = false;
    dialogs.message(this, deletionSummary(m_host.context().language, deleted, writeFailed),
                    writeFailed ? Dialogs::Icon::Warning : Dialogs::Icon::None);
}

void TerminalPage::printTerminals()
{
    SetPrin(1, *GridM, QStringLiteral("终端机信息列表"));
    if (printAction)
        printAction(*GridM);
}

void TerminalPage::exportTerminals()
{
    Dialogs& dialogs = m_host.context().dialogs();
    const GridExportResult result = GridM->exportToFile(dialogs, QString(), true, false,
                                                        message(Msg::ExportTerminalsTitle));
    if (result.ok())
        dialogs.message(this, message(Msg::ExportFinished), Dialogs::Icon::Information);
    else if (result.status == GridExportResult::Status::Failed)
        dialogs.message(this, message(Msg::ExportFailed), Dialogs::Icon::Error);
}

void TerminalPage::importTerminals()
{
    const std::unique_ptr<ImportProgress> progress = m_host.progress(this, message(Msg::Importing));
    m_import.run({&m_host.context(), this, &m_host.runs(), m_host.duplicateQuestion(), progress.get(),
                  [this] { m_host.loadTerminalList(); }, [this] { GridM->raise(); }, m_busy});
}

} // namespace k27
