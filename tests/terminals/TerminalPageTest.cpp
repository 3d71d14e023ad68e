// The terminal page in the main window: add, change, delete, rights, print, export and the
// workbook import with the duplicate-row question.

#include "MainWindowFixture.h"
#include "Workbooks.h"

#include "db/Database.h"
#include "issuing/IssuingPage.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "pagehost/ProgressPanel.h"
#include "platform/Grid.h"
#include "terminals/TerminalPage.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace k27;
using namespace k27::test;

namespace {

void seedTerminals(const QString& dbPath, const QList<std::pair<int, QString>>& terminals)
{
    Database db;
    QVERIFY(db.open(dbPath));
    for (const auto& [number, address] : terminals)
        QVERIFY(db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (?, ?)"), {number, address}));
}

QMap<qint64, QString> stored(const QString& dbPath)
{
    Database db;
    QMap<qint64, QString> out;
    if (!db.open(dbPath))
        return out;
    db.query(QStringLiteral("select 终端机号, 地址 from 终端机"), {}, [&](const Row& r) {
        out.insert(r.integer(0), r.text(1));
        return true;
    });
    return out;
}

QStringList column(Grid* grid, int col)
{
    QStringList out;
    for (int r = 1; r < grid->rows(); ++r)
        out << grid->cellText(r, col);
    return out;
}

// As a drag from row `from` to row `to`: the current cell ends on `to`.
void selectRows(Grid* grid, int from, int to)
{
    QTableView* view = grid->view();
    QAbstractItemModel* model = view->model();
    view->selectionModel()->setCurrentIndex(model->index(to - 1, 0), QItemSelectionModel::NoUpdate);
    view->selectionModel()->select(
        QItemSelection(model->index(qMin(from, to) - 1, 0), model->index(qMax(from, to) - 1, 1)),
        QItemSelectionModel::ClearAndSelect);
}

// Clicks the duplicate question's buttons in the given order while the import waits.
struct PromptClicker
{
    DuplicatePrompt* prompt;
    QList<int> answers;
    QStringList questions;
    QTimer timer;
    PromptClicker(DuplicatePrompt* p, QList<int> a) : prompt(p), answers(std::move(a))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (prompt->isVisible() && !answers.isEmpty()) {
                questions << prompt->Lblmsg->text();
                prompt->CmdTip[size_t(answers.takeFirst())]->click();
            }
        });
        timer.start(5);
    }
};

} // namespace

class TerminalPageTest : public QObject
{
    Q_OBJECT

private slots:
    void addAppendsUnsortedAndAdvancesTheNumber();
    void addChecksTheNumber();
    void doubleClickThenChangeUpdatesTheTerminal();
    void rightsOfAnOrdinaryOperator();
    void deleteRemovesTheSelectedRows();
    void deleteChecks();
    void printGivesPortraitPagesWithTheTitle();
    void exportWritesTheListAndReportsIt();
    void importIntoAnEmptyRegisterThenSkipAll();
    void importOverwriteThenSkip();
    void importProblems();
};

void TerminalPageTest::addAppendsUnsortedAndAdvancesTheNumber()
{
    MainWindowFixture fx;
    seedTerminals(fx.databasePath(), {{3, "north"}, {20, "south"}});
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    page->TxtNo->setText(QStringLiteral("12"));
    page->TxtAdd->setPlainText(QStringLiteral("  east gate "));
    page->cmdAdd->click();
    QCOMPARE(column(page->GridM, 1), QStringList({"0003", "0020", "0012"}));
    QCOMPARE(page->GridM->cellText(3, 2), QStringLiteral("east gate"));
    QCOMPARE(page->TxtNo->text(), QStringLiteral("13"));
    QCOMPARE(stored(fx.databasePath()).value(12), QStringLiteral("east gate"));
    QVERIFY(fx.dialogs.calls.isEmpty());
    // The issuing page's terminal grid shows the new address at once (range 1..46).
    QCOMPARE(w.issuingPage()->GridZ->cellText(12, 3), QStringLiteral("east gate"));
    // A reload sorts.
    w.LoadTerminalList();
    QCOMPARE(column(page->GridM, 1), QStringList({"0003", "0012", "0020"}));
}

void TerminalPageTest::addChecksTheNumber()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    page->TxtNo->clear();
    page->cmdAdd->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(56)});
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::Warning);

    // Letters only: terminal 0, then 57 the second time.
    page->TxtNo->setText(QStringLiteral("abc"));
    page->cmdAdd->click();
    QCOMPARE(column(page->GridM, 1), QStringList{"0000"});
    QCOMPARE(page->TxtNo->text(), QStringLiteral("1"));
    page->TxtNo->setText(QStringLiteral("x"));
    page->cmdAdd->click();
    QCOMPARE(fx.dialogs.messageTexts().last(), fx.context->message(57));
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::Error);
    QCOMPARE(page->GridM->rows(), 2);
    // An apostrophe is just text.
    page->TxtNo->setText(QStringLiteral("7"));
    page->TxtAdd->setPlainText(QStringLiteral("O'Brien'); drop table 终端机; --"));
    page->cmdAdd->click();
    QCOMPARE(stored(fx.databasePath()).value(7), QStringLiteral("O'Brien'); drop table 终端机; --"));
}

void TerminalPageTest::doubleClickThenChangeUpdatesTheTerminal()
{
    MainWindowFixture fx;
    seedTerminals(fx.databasePath(), {{3, "north"}, {12, "old"}, {20, "south"}});
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    QVERIFY(!page->cmdUp->isEnabled());
    page->GridM->selectRow(2);
    emit page->GridM->doubleClicked();
    QCOMPARE(page->TxtNo->text(), QStringLiteral("0012"));
    QCOMPARE(page->TxtAdd->toPlainText(), QStringLiteral("old"));
    QVERIFY(page->cmdUp->isEnabled());
    QVERIFY(!page->cmdAdd->isEnabled());

    page->TxtAdd->setPlainText(QStringLiteral(" new "));
    page->cmdUp->click();
    QCOMPARE(stored(fx.databasePath()).value(12), QStringLiteral("new"));
    QCOMPARE(page->GridM->cellText(2, 2), QStringLiteral("new"));
    QCOMPARE(w.issuingPage()->GridZ->cellText(12, 3), QStringLiteral("new"));
    QVERIFY(!page->cmdUp->isEnabled());
    QVERIFY(page->cmdAdd->isEnabled());

    // An unknown number: 59; an empty one: 58.
    page->TxtNo->setText(QStringLiteral("99"));
    page->changeTerminal();
    page->TxtNo->clear();
    page->changeTerminal();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList({fx.context->message(59), fx.context->message(58)}));
    QCOMPARE(stored(fx.databasePath()).size(), 3);

    // Double-click without a data row does nothing.
    page->GridM->view()->selectionModel()->clear();
    page->TxtNo->setText(QStringLiteral("5"));
    emit page->GridM->doubleClicked();
    QCOMPARE(page->TxtNo->text(), QStringLiteral("5"));
}

void TerminalPageTest::rightsOfAnOrdinaryOperator()
{
    MainWindowFixture fx(0, false);
    seedTerminals(fx.databasePath(), {{1, "a"}, {2, "b"}});
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    for (QPushButton* b : {page->cmdAdd, page->cmdIn, page->cmdD, page->cmdEx})
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    QVERIFY(page->cmdPrint->isEnabled());
    page->GridM->selectRow(1);
    emit page->GridM->doubleClicked();
    QCOMPARE(page->TxtNo->text(), QStringLiteral("0001"));
    QVERIFY(!page->cmdUp->isEnabled());
    emit page->GridM->clicked();
    QVERIFY(!page->cmdAdd->isEnabled());

    // An administrator gets them back by the same steps.
    MainWindowFixture admin;
    seedTerminals(admin.databasePath(), {{1, "a"}});
    Frmmain aw(*admin.context);
    aw.terminalPage()->GridM->selectRow(1);
    emit aw.terminalPage()->GridM->doubleClicked();
    QVERIFY(!aw.terminalPage()->cmdAdd->isEnabled());
    emit aw.terminalPage()->GridM->clicked();
    QVERIFY(aw.terminalPage()->cmdAdd->isEnabled());
}

void TerminalPageTest::deleteRemovesTheSelectedRows()
{
    MainWindowFixture fx;
    seedTerminals(fx.databasePath(), {{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}, {6, "f"}});
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    selectRows(page->GridM, 4, 2); // dragged upwards
    QCOMPARE(page->GridM->selectionFirstRow(), 4);
    fx.dialogs.questionAnswers << true;
    page->cmdD->click();
    QCOMPARE(fx.dialogs.calls.first().text, deletionQuestion(fx.context->language, 61, 3));
    QVERIFY(fx.dialogs.calls.first().defaultNo);
    QCOMPARE(fx.dialogs.calls.last().text, fx.context->message(117) + "3" + fx.context->message(118));
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::None);
    QCOMPARE(column(page->GridM, 1), QStringList({"0001", "0005", "0006"}));
    QCOMPARE(stored(fx.databasePath()).keys(), QList<qint64>({1, 5, 6}));

    // Answering No deletes nothing.
    fx.dialogs.clear();
    selectRows(page->GridM, 1, 1);
    page->cmdD->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls.first().text, deletionQuestion(fx.context->language, 61, 1, QStringLiteral("0001")));
    QCOMPARE(page->GridM->rows(), 4);
}

void TerminalPageTest::deleteChecks()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    page->cmdD->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(116)});

    seedTerminals(fx.databasePath(), {{1, "a"}});
    w.LoadTerminalList();
    page->GridM->setCurrentCell(0, 0);
    page->GridM->view()->selectionModel()->clearSelection();
    fx.dialogs.clear();
    page->cmdD->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(15)});
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::Warning);
    QCOMPARE(stored(fx.databasePath()).size(), 1);
}

void TerminalPageTest::printGivesPortraitPagesWithTheTitle()
{
    MainWindowFixture fx;
    QList<std::pair<int, QString>> many;
    for (int i = 1; i <= 80; ++i)
        many.append({i, QStringLiteral("门%1").arg(i)});
    seedTerminals(fx.databasePath(), many);
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    const QString pdf = fx.folder.filePath(QStringLiteral("list.pdf"));
    bool printed = false;
    page->printAction = [&](Grid& grid) { printed = grid.printToPdf(pdf); };
    page->cmdPrint->click();
    QVERIFY(printed);
    QCOMPARE(page->GridM->pageSetup().title, QStringLiteral("终端机信息列表"));
    QCOMPARE(page->GridM->pageSetup().orientation, QPageLayout::Portrait);
    QCOMPARE(page->GridM->pageSetup().paper, QPageSize::A4);

    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY(info.waitForFinished());
    const QString meta = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(meta.contains(QRegularExpression(QStringLiteral("Page size: +59[0-9.]+ x 84[0-9.]+ pts \\(A4\\)"))),
             qPrintable(meta));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished());
    const QString content = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY(content.contains(QStringLiteral("终端机信息列表")));
    QVERIFY(content.contains(QStringLiteral("0080")));
}

void TerminalPageTest::exportWritesTheListAndReportsIt()
{
    MainWindowFixture fx;
    seedTerminals(fx.databasePath(), {{7, "gate, \"A\""}, {12, "东门"}});
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    const QString csv = fx.folder.filePath(QStringLiteral("list.csv"));
    fx.dialogs.fileAnswers << csv;
    page->cmdEx->click();
    QCOMPARE(fx.dialogs.calls.last().text, fx.context->message(121));
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::Information);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QString all = QString::fromUtf8(f.readAll());
    if (all.startsWith(QChar(0xFEFF)))
        all.remove(0, 1);
    const QStringList lines = all.split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].contains(fx.context->message(86)));
    QCOMPARE(lines[1], QStringLiteral("0007,\"gate, \"\"A\"\"\""));
    QCOMPARE(lines[2], QStringLiteral("0012,东门"));

    // Cancelled: no message. A folder as target: the failure is said, not success.
    fx.dialogs.clear();
    page->cmdEx->click();
    QCOMPARE(fx.dialogs.messageTexts().size(), 0);
    fx.dialogs.fileAnswers << fx.folder.filePath(QStringLiteral("no-such-folder/list.csv"));
    page->cmdEx->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(137)});
}

void TerminalPageTest::importIntoAnEmptyRegisterThenSkipAll()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    w.show();
    TerminalPage* page = w.terminalPage();
    page->workbookReader().setToolPath(workbookTool());
    const QString file = fx.folder.filePath(QStringLiteral("two.xls"));
    QVERIFY(makeSheet1(file, {"终端机号", "地址"}, {QJsonArray{1, "一号门"}, QJsonArray{"0002", "二号门"}}));

    fx.dialogs.fileAnswers << file;
    page->cmdIn->click();
    QCOMPARE(fx.dialogs.calls.first().text, QStringLiteral("Excel(*.xls *.xlsx *.xlsm)"));
    QCOMPARE(fx.dialogs.calls.last().text,
             fx.context->message(113) + "2" + fx.context->message(114) + "0" + fx.context->message(115));
    QCOMPARE(column(page->GridM, 1), QStringList({"0001", "0002"}));
    QCOMPARE(column(page->GridM, 2), QStringList({"一号门", "二号门"}));
    QVERIFY(!w.progressPanel()->isVisible());
    QCOMPARE(w.progressPanel()->LblCount->text(), QStringLiteral("2/2"));

    PromptClicker clicker(w.duplicatePrompt(), {DuplicatePrompt::SkipAll});
    fx.dialogs.fileAnswers << file;
    page->cmdIn->click();
    // The sheet's row equals the stored one: the question says so.
    QCOMPARE(clicker.questions, QStringList{fx.context->message(122) + "1" + fx.context->message(124) + "\n\n"
                                            + fx.context->message(202)});
    QCOMPARE(fx.dialogs.calls.last().text,
             fx.context->message(113) + "0" + fx.context->message(114) + "2" + fx.context->message(115));
    QVERIFY(!w.duplicatePrompt()->isVisible());
}

void TerminalPageTest::importOverwriteThenSkip()
{
    MainWindowFixture fx;
    seedTerminals(fx.databasePath(), {{12, "old"}, {20, "twenty"}});
    Frmmain w(*fx.context);
    w.show();
    TerminalPage* page = w.terminalPage();
    page->workbookReader().setToolPath(workbookTool());
    const QString file = fx.folder.filePath(QStringLiteral("dups.xls"));
    QVERIFY(makeSheet1(file, {"no", "address"}, {QJsonArray{"0012", "new12"}, QJsonArray{20, "new20"}}));
    PromptClicker clicker(w.duplicatePrompt(), {DuplicatePrompt::Overwrite, DuplicatePrompt::Skip});
    fx.dialogs.fileAnswers << file;
    page->cmdIn->click();
    // Each question shows what its overwrite would change.
    const auto change = [&](const QString& from, const QString& to) {
        return "\n\n" + fx.context->message(200) + "\n" + fx.context->message(87) + ": " + from + " → " + to;
    };
    QCOMPARE(clicker.questions,
             QStringList({fx.context->message(122) + "0012" + fx.context->message(124) + change("old", "new12"),
                          fx.context->message(122) + "20" + fx.context->message(124) + change("twenty", "new20")}));
    QCOMPARE(fx.dialogs.calls.last().text,
             fx.context->message(113) + "1" + fx.context->message(114) + "1" + fx.context->message(115));
    QCOMPARE(stored(fx.databasePath()), (QMap<qint64, QString>{{12, "new12"}, {20, "twenty"}}));
    QCOMPARE(page->GridM->cellText(1, 2), QStringLiteral("new12"));
}

void TerminalPageTest::importProblems()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    TerminalPage* page = w.terminalPage();
    page->workbookReader().setToolPath(workbookTool());

    const QString narrow = fx.folder.filePath(QStringLiteral("narrow.xls"));
    QVERIFY(makeSheet1(narrow, {"no"}, {QJsonArray{1}}));
    const QString corrupted = fx.folder.filePath(QStringLiteral("corrupted.xls"));
    {
        QFile good(narrow);
        QVERIFY(good.open(QIODevice::ReadOnly));
        QFile bad(corrupted);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(good.read(1200)); // cut off inside the workbook stream
    }
    const QString noSheet = fx.folder.filePath(QStringLiteral("nosheet.xls"));
    QJsonArray rows;
    rows.append(QJsonArray{"no", "a"});
    rows.append(QJsonArray{1, "x"});
    QVERIFY(makeWorkbook(noSheet, {{"Terminals", rows}}));

    fx.dialogs.fileAnswers << narrow << corrupted << noSheet << QString();
    for (int i = 0; i < 4; ++i)
        page->cmdIn->click();
    QCOMPARE(fx.dialogs.messageTexts(),
             QStringList({fx.context->message(125), fx.context->message(155), fx.context->message(157)}));
    for (const auto& call : fx.dialogs.calls)
        if (call.kind == ScriptedDialogs::Kind::Message)
            QCOMPARE(call.icon, Dialogs::Icon::Error);
    QVERIFY(stored(fx.databasePath()).isEmpty());
    QVERIFY(!w.progressPanel()->isVisible());
}

QTEST_MAIN(TerminalPageTest)
#include "TerminalPageTest.moc"
