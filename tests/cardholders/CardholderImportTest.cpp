// Cardholder import: the engine without a window (keys, stored values, answers, progress
// every 50 rows) and btnInput in the main window (file choice, messages, list reload).

#include "MainWindowFixture.h"
#include "ProgramFolder.h"
#include "RecordingProgress.h"
#include "Workbooks.h"

#include "cardholders/CardholderImport.h"
#include "cardholders/CardholderImportAction.h"
#include "cardholders/CardholderPage.h"
#include "db/Database.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "pagehost/ProgressPanel.h"
#include "platform/Grid.h"
#include "platform/WorkbookReader.h"
#include "startup/LanguageTable.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace k27;
using namespace k27::test;

namespace {

QStringList person(const QString& name, const QString& phone, const QString& card = {})
{
    return {name, "男", "IT", "dev", "addr", phone, card, "5、", "永久有效、"};
}

struct ScriptedAnswers
{
    QList<int> answers;
    QStringList questions;
    DuplicateAnswer::Ask ask()
    {
        return [this](const QString& q) {
            questions << q;
            return answers.isEmpty() ? DuplicateAnswer::Skip : answers.takeFirst();
        };
    }
};

// name -> (stored name, department, card) of every row.
QList<QStringList> stored(Database& db)
{
    QList<QStringList> out;
    db.query(QStringLiteral("select 姓名, 部门, 卡号, 电话 from 用户信息 order by ID"), {}, [&](const Row& r) {
        out << QStringList{r.text(0), r.text(1), r.text(2), r.text(3)};
        return true;
    });
    return out;
}

QJsonArray json(const QStringList& row)
{
    QJsonArray a;
    for (const QString& cell : row)
        a.append(cell);
    return a;
}

const QJsonArray Headings{"姓名", "性别", "部门", "职位", "住址", "电话", "卡号", "权限终端机", "时间期限"};

} // namespace

class CardholderImportTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void hundredTwentyRowsShowProgressEveryFifty();
    void rowsWithoutNameOrPhoneAreSkipped();
    void namesAreStoredWithOneBlankAndFoundWithout();
    void overwriteAllThenNextImportAsksAgain();
    void tooFewColumns();
    void aRefusedRowStaysOutAlone();
    void btnInputImportsAndReloadsTheList();
    void btnInputAsksThroughThePrompt();
    void btnInputWithDamagedOrWrongWorkbooks();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    Database m_db;
    LanguageTable m_language;
};

void CardholderImportTest::init()
{
    m_db.close();
    m_folder = std::make_unique<ProgramFolder>();
    QVERIFY(m_db.open(m_folder->databasePath()));
    m_language.setMessage(123, QStringLiteral("C\""));
    m_language.setMessage(124, QStringLiteral("\" exists"));
    const std::pair<int, const char*> texts[] = {{82, "Card"}, {83, "Terminals"}, {200, "Changes:"}, {201, "-"}};
    for (const auto& [number, text] : texts)
        m_language.setMessage(number, QString::fromLatin1(text));
}

void CardholderImportTest::hundredTwentyRowsShowProgressEveryFifty()
{
    Workbook sheet{9, {}};
    for (int i = 1; i <= 120; ++i)
        sheet.rows << person(QStringLiteral("P%1").arg(i, 3, 10, QLatin1Char('0')), QString::number(1000 + i));
    RecordingProgress progress;
    CardholderImport import(m_db, m_language);
    import.setProgress(&progress);
    const auto result = import.run(sheet);
    QCOMPARE(result.read, 120);
    QCOMPARE(result.imported(), 120);
    QCOMPARE(result.skipped(), 0);
    QCOMPARE(progress.log, QStringList({"begin 120", "50/120", "100/120", "end 120/120"}));
    QCOMPARE(stored(m_db).size(), 120);
}

void CardholderImportTest::rowsWithoutNameOrPhoneAreSkipped()
{
    CardholderImport import(m_db, m_language);
    QStringList noPhone = person("A", "");
    QStringList blankName = person("  ", "1");
    QStringList nulPhone = person("B", QString(QChar(0)) + "123"); // cut at the NUL: empty
    QStringList shortRow = {"C", "女", "", "", "", "7"};           // missing cells are empty
    const auto result = import.run(Workbook{9, {noPhone, blankName, nulPhone, shortRow}});
    QCOMPARE(result.read, 4);
    QCOMPARE(result.imported(), 1);
    QCOMPARE(result.skipped(), 3);
    QCOMPARE(stored(m_db), (QList<QStringList>{{"C ", "", "", "7"}}));
}

void CardholderImportTest::namesAreStoredWithOneBlankAndFoundWithout()
{
    // A cardholder changed through the edit fields is stored without the blank.
    QVERIFY(m_db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话, 部门) values ('张三', '1', 'old')")));
    ScriptedAnswers answers{{DuplicateAnswer::Overwrite, DuplicateAnswer::Overwrite}, {}};
    CardholderImport import(m_db, m_language);
    import.setAsk(answers.ask());
    const auto result = import.run(Workbook{
        9, {person("  张三 ", "1", "0000012345"), person("李四", "2"), person("O'Neil", "3"), person("李四", "2")}});
    QCOMPARE(result.imported(), 4);
    QCOMPARE(answers.questions.size(), 2);
    QVERIFY(answers.questions[0].startsWith("C\"张三\" exists\n\n"));
    QVERIFY(answers.questions[1].startsWith("C\"李四\" exists\n\n"));
    QCOMPARE(
        stored(m_db),
        (QList<QStringList>{{"张三", "IT", "0000012345", "1"}, {"李四 ", "IT", "", "2"}, {"O'Neil ", "IT", "", "3"}}));
}

void CardholderImportTest::overwriteAllThenNextImportAsksAgain()
{
    CardholderImport import(m_db, m_language);
    import.run(Workbook{9, { person("A", "1"), person("B", "2") }});
    ScriptedAnswers answers{{DuplicateAnswer::OverwriteAll, DuplicateAnswer::Skip}, {}};
    import.setAsk(answers.ask());
    QStringList a = person("A", "1", "111");
    QStringList b = person("B", "2", "222");
    b[2] = QString(); // an empty cell overwrites too
    auto result = import.run(Workbook{9, {a, b}});
    QCOMPARE(result.imported(), 2);
    QCOMPARE(answers.questions.size(), 1);
    // The question names each field the overwrite changes, with the stored and the new value.
    QCOMPARE(answers.questions[0], QStringLiteral("C\"A\" exists\n\nChanges:\nCard: - → 111"));
    QCOMPARE(stored(m_db), (QList<QStringList>{{"A ", "IT", "111", "1"}, {"B ", "", "222", "2"}}));

    QStringList cleared = person("A", "1");
    cleared[7] = QString();
    result = import.run(Workbook{9, {cleared}});
    QCOMPARE(answers.questions.size(), 2);
    QCOMPARE(answers.questions[1], QStringLiteral("C\"A\" exists\n\nChanges:\nCard: 111 → -\nTerminals: 5、 → -"));
    QCOMPARE(result.skipped(), 1);
    QCOMPARE(stored(m_db).first().at(2), QStringLiteral("111"));
}

void CardholderImportTest::aRefusedRowStaysOutAlone()
{
    // A server refuses a whole batch for one row; the rows around it still go in.
    QVERIFY(m_db.exec(onServer() ? QStringLiteral("ALTER TABLE 用户信息 ADD CHECK (部门 <> 'refused')")
                                 : QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON 用户信息 WHEN NEW.部门 = "
                                                  "'refused' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    QStringList refused = person("B", "2");
    refused[2] = QStringLiteral("refused");
    CardholderImport import(m_db, m_language);
    const auto result = import.run(Workbook{9, {person("A", "1"), refused, person("C", "3")}});
    QCOMPARE(result.counts, (ImportCounts{2, 0, 0, 1}));
    QVERIFY(!result.writeFailed);
    QCOMPARE(stored(m_db), (QList<QStringList>{{"A ", "IT", "", "1"}, {"C ", "IT", "", "3"}}));
}

void CardholderImportTest::tooFewColumns()
{
    CardholderImport import(m_db, m_language);
    const auto result = import.run(Workbook{8, {person("A", "1").mid(0, 8)}});
    QVERIFY(result.tooFewColumns);
    QVERIFY(stored(m_db).isEmpty());
}

void CardholderImportTest::btnInputImportsAndReloadsTheList()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    auto* action = w.findChild<CardholderImportAction*>();
    QVERIFY(action);
    action->workbookReader().setToolPath(workbookTool());
    const QString file = fx.folder.filePath(QStringLiteral("people.xls"));
    QList<QJsonArray> rows;
    for (int i = 1; i <= 120; ++i)
        rows.append(json(person(QStringLiteral("P%1").arg(i, 3, 10, QLatin1Char('0')), QString::number(1000 + i))));
    rows.append(json(person("NoPhone", "")));
    QVERIFY(makeSheet1(file, Headings, rows));

    // The progress panel is over the cardholder page while the rows are read.
    QStringList counts;
    ProgressPanel* panel = w.progressPanel();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!panel->isHidden() && (counts.isEmpty() || counts.last() != panel->LblCount->text()))
            counts << panel->LblCount->text();
    });
    watch.start(0);
    fx.dialogs.fileAnswers << file;
    w.cardholderPage()->btnInput->click();
    watch.stop();

    QCOMPARE(fx.dialogs.calls.first().kind, ScriptedDialogs::Kind::OpenFile);
    QCOMPARE(fx.dialogs.calls.first().text, QStringLiteral("Excel(*.xls *.xlsx *.xlsm)"));
    QCOMPARE(fx.dialogs.calls.last().text,
             fx.context->message(113) + "120" + fx.context->message(114) + "1" + fx.context->message(115));
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::None);
    QVERIFY(counts.contains(QStringLiteral("50/121")));
    QVERIFY(counts.contains(QStringLiteral("100/121")));
    QVERIFY(panel->isHidden());
    QCOMPARE(panel->LblCount->text(), QStringLiteral("121/121"));
    QCOMPARE(panel->LblPrg->text(), fx.context->message(126));
    // Reloaded and filtered: the grid lists the new cardholders.
    QCOMPARE(w.cardholderPage()->GridU->rows(), 121);
    QCOMPARE(w.cardholderPage()->GridU->cellText(1, 1), QStringLiteral("P001 "));

    // Cancelled file choice: nothing more happens.
    fx.dialogs.clear();
    w.cardholderPage()->btnInput->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
}

void CardholderImportTest::btnInputAsksThroughThePrompt()
{
    MainWindowFixture fx;
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话, 卡号) values ('A ', '1', 'old')")));
        QVERIFY(db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话, 卡号) values ('B ', '2', 'old')")));
    }
    Frmmain w(*fx.context);
    w.show();
    auto* action = w.findChild<CardholderImportAction*>();
    action->workbookReader().setToolPath(workbookTool());
    const QString file = fx.folder.filePath(QStringLiteral("dups.xls"));
    QVERIFY(makeSheet1(file, Headings, {json(person("A", "1", "new")), json(person("B", "2", "new"))}));

    // Overwrite all at the first question: the second duplicate is overwritten unasked.
    DuplicatePrompt* prompt = w.duplicatePrompt();
    QStringList questions;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (prompt->isVisible()) {
            questions << prompt->Lblmsg->text();
            prompt->CmdTip[DuplicatePrompt::OverwriteAll]->click();
        }
    });
    answer.start(5);
    fx.dialogs.fileAnswers << file;
    w.cardholderPage()->btnInput->click();
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions[0].startsWith(fx.context->message(123) + "A" + fx.context->message(124)));
    QVERIFY(questions[0].contains(fx.context->message(82) + ": old → new"));
    QVERIFY(fx.dialogs.calls.last().text.startsWith(fx.context->message(113) + "2"));

    // The next import asks again.
    fx.dialogs.fileAnswers << file;
    w.cardholderPage()->btnInput->click();
    QCOMPARE(questions.size(), 2);
    answer.stop();
}

void CardholderImportTest::btnInputWithDamagedOrWrongWorkbooks()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    auto* action = w.findChild<CardholderImportAction*>();
    action->workbookReader().setToolPath(workbookTool());

    const QString damaged = fx.folder.filePath(QStringLiteral("damaged.xls"));
    {
        QFile f(damaged);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(3000, '\x5A'));
    }
    const QString narrow = fx.folder.filePath(QStringLiteral("narrow.xls"));
    QVERIFY(makeSheet1(narrow, {"a", "b"}, {QJsonArray{"A", "1"}}));

    fx.dialogs.fileAnswers << damaged << narrow;
    w.cardholderPage()->btnInput->click();
    w.cardholderPage()->btnInput->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList({fx.context->message(155), fx.context->message(125)}));
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::Error);
    QVERIFY(!w.progressPanel()->isVisible());
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from 用户信息")).toInt(), 0);
}

QTEST_MAIN(CardholderImportTest)
#include "CardholderImportTest.moc"
