// The terminal import without a window: keys, duplicate answers, counters and progress.

#include "ProgramFolder.h"
#include "RecordingProgress.h"

#include "db/Database.h"
#include "platform/WorkbookReader.h"
#include "startup/LanguageTable.h"
#include "terminals/TerminalImport.h"
#include "terminals/TerminalRegister.h"

#include <QtTest>

using namespace k27;
using namespace k27::test;

namespace {

Workbook sheet(const QList<QStringList>& rows, int columns = 2)
{
    return Workbook{columns, rows};
}

// Answers the duplicate question from a list and keeps the questions asked.
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

QMap<qint64, QString> register_(Database& db)
{
    QMap<qint64, QString> out;
    db.query(QStringLiteral("select 终端机号, 地址 from 终端机"), {}, [&](const Row& r) {
        out.insert(r.integer(0), r.text(1));
        return true;
    });
    return out;
}

// Keeps what an import tells its observer, and whether an overwrite was heard inside the step.
struct RecordingObserver : ImportObserver
{
    Database* db = nullptr;
    bool accept = true;
    QStringList heard;
    bool overwritten(const QString& table, const QStringList& key, const QList<FieldChange>& changes) override
    {
        QString line = table + u' ' + key.join(u',') + (db->inTransaction() ? " in step:" : " outside:");
        for (const FieldChange& c : changes)
            line += u' ' + c.caption + u'=' + c.stored + u'>' + c.incoming;
        heard << line;
        return accept;
    }
    void finished(const QString& table, const ImportCounts& c) override
    {
        heard << QStringLiteral("%1 added %2 overwritten %3 skipped %4 refused %5")
                     .arg(table)
                     .arg(c.added)
                     .arg(c.overwritten)
                     .arg(c.skipped)
                     .arg(c.refused);
    }
};

} // namespace

class TerminalImportTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void numberOfTakesTheLeadingNumber();
    void newTerminalsAreInsertedEveryRowShowsProgress();
    void skipAllAsksOnceAndKeepsTheRegister();
    void overwriteAsksAgainAtTheNextDuplicate();
    void overwriteAllHoldsForTheRunOnly();
    void keyIsTheNumberButTheQuestionShowsTheCell();
    void tooFewColumnsWritesNothing();
    void observerHearsOverwritesInTheStepAndTheCounts_data();
    void observerHearsOverwritesInTheStepAndTheCounts();

private:
    std::unique_ptr<ProgramFolder> m_folder;
    Database m_db;
    LanguageTable m_language;
};

void TerminalImportTest::init()
{
    m_db.close();
    m_folder = std::make_unique<ProgramFolder>();
    QVERIFY(m_db.open(m_folder->databasePath()));
    m_language.setMessage(122, QStringLiteral("T\""));
    m_language.setMessage(124, QStringLiteral("\" exists"));
}

void TerminalImportTest::numberOfTakesTheLeadingNumber()
{
    QCOMPARE(TerminalRegister::numberOf("0012"), 12);
    QCOMPARE(TerminalRegister::numberOf("  7b"), 7);
    QCOMPARE(TerminalRegister::numberOf("abc"), 0);
    QCOMPARE(TerminalRegister::numberOf(""), 0);
    QCOMPARE(TerminalRegister::numberOf("12.9"), 12);
    QCOMPARE(TerminalRegister::numberOf("-5"), -5);
    QCOMPARE(TerminalRegister::numberOf(QString(20, '9')), qint64(9007199254740992));
}

void TerminalImportTest::newTerminalsAreInsertedEveryRowShowsProgress()
{
    ScriptedAnswers answers;
    RecordingProgress progress;
    TerminalImport import(m_db, m_language);
    import.setAsk(answers.ask());
    import.setProgress(&progress);
    // Apostrophes and blanks stand as they are; an empty number cell is skipped.
    const auto result = import.run(
        sheet({{"1", "O'Brien gate "}, {"2", ""}, {"", "no number"}, {"3", "x", "extra"}}, 3));
    QCOMPARE(result.read, 4);
    QCOMPARE(result.imported(), 3);
    QCOMPARE(result.skipped(), 1);
    QVERIFY(answers.questions.isEmpty());
    QCOMPARE(progress.log, QStringList({"begin 4", "1/4", "2/4", "3/4", "4/4", "end 4/4"}));
    const auto stored = register_(m_db);
    QCOMPARE(stored.size(), 3);
    QCOMPARE(stored.value(1), QStringLiteral("O'Brien gate "));
    QCOMPARE(stored.value(2), QString());
}

void TerminalImportTest::skipAllAsksOnceAndKeepsTheRegister()
{
    TerminalImport import(m_db, m_language);
    const Workbook two = sheet({{"1", "A"}, {"2", "B"}});
    QCOMPARE(import.run(two).imported(), 2);

    ScriptedAnswers answers{{DuplicateAnswer::SkipAll}, {}};
    import.setAsk(answers.ask());
    const auto result = import.run(sheet({{"1", "A2"}, {"5", "new"}, {"2", "B2"}}));
    QCOMPARE(result.imported(), 1);
    QCOMPARE(result.skipped(), 2);
    QCOMPARE(answers.questions.size(), 1);
    QCOMPARE(register_(m_db), (QMap<qint64, QString>{{1, "A"}, {2, "B"}, {5, "new"}}));
}

void TerminalImportTest::overwriteAsksAgainAtTheNextDuplicate()
{
    TerminalImport import(m_db, m_language);
    import.run(sheet({{"1", "A"}, { "2", "B" }}));
    ScriptedAnswers answers{{DuplicateAnswer::Overwrite, DuplicateAnswer::Skip}, {}};
    import.setAsk(answers.ask());
    const auto result = import.run(sheet({{"1", "A2"}, {"2", "B2"}}));
    QCOMPARE(result.imported(), 1);
    QCOMPARE(result.skipped(), 1);
    QCOMPARE(answers.questions.size(), 2);
    QCOMPARE(register_(m_db), (QMap<qint64, QString>{{1, "A2"}, {2, "B"}}));

    // A question closed without an answer skips the row.
    ScriptedAnswers gone{{-1}, {}};
    import.setAsk(gone.ask());
    QCOMPARE(import.run(sheet({{"1", "A3"}})).skipped(), 1);
    QCOMPARE(register_(m_db).value(1), QStringLiteral("A2"));
}

void TerminalImportTest::overwriteAllHoldsForTheRunOnly()
{
    TerminalImport import(m_db, m_language);
    import.run(sheet({{"1", "A"}, { "2", "B" }}));
    ScriptedAnswers answers{{DuplicateAnswer::OverwriteAll, DuplicateAnswer::Skip}, {}};
    import.setAsk(answers.ask());
    auto result = import.run(sheet({{"1", "A2"}, {"2", "B2"}}));
    QCOMPARE(result.imported(), 2);
    QCOMPARE(answers.questions.size(), 1);
    QVERIFY(import.answer().flag(DuplicateAnswer::OverwriteAll));
    // The next run starts without an answer and asks again.
    result = import.run(sheet({{"2", "B3"}}));
    QCOMPARE(answers.questions.size(), 2);
    QCOMPARE(result.skipped(), 1);
    QCOMPARE(register_(m_db).value(2), QStringLiteral("B2"));
}

void TerminalImportTest::keyIsTheNumberButTheQuestionShowsTheCell()
{
    TerminalImport import(m_db, m_language);
    QCOMPARE(import.run(sheet({{"0012", "east"}})).imported(), 1);
    QCOMPARE(register_(m_db).keys(), QList<qint64>{12});
    ScriptedAnswers answers{{DuplicateAnswer::Overwrite}, {}};
    import.setAsk(answers.ask());
    import.run(sheet({{ "0012", "west" }}));
    QCOMPARE(answers.questions.size(), 1);
    QVERIFY(answers.questions[0].startsWith(QStringLiteral("T\"0012\" exists\n\n")));
    QCOMPARE(register_(m_db).value(12), QStringLiteral("west"));
}

void TerminalImportTest::tooFewColumnsWritesNothing()
{
    RecordingProgress progress;
    TerminalImport import(m_db, m_language);
    import.setProgress(&progress);
    const auto result = import.run(sheet({{"1"}, {"2"}}, 1));
    QVERIFY(result.tooFewColumns);
    QCOMPARE(result.read, 0);
    QVERIFY(progress.log.isEmpty());
    QVERIFY(register_(m_db).isEmpty());
}

void TerminalImportTest::observerHearsOverwritesInTheStepAndTheCounts_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QStringList>("heard");
    QTest::addColumn<QString>("terminal1");
    QTest::newRow("accepted") << true
                              << QStringList{"终端机 1 in step: 地址=A>A2",
                                             "终端机 2 in step:", "终端机 added 1 overwritten 2 skipped 1 refused 0"}
                              << "A2";
    // An observer that cannot keep its record fails the run: the overwrite is rolled back.
    QTest::newRow("refused by the observer")
        << false << QStringList{"终端机 1 in step: 地址=A>A2", "终端机 added 0 overwritten 0 skipped 0 refused 0"}
        << "A";
}

void TerminalImportTest::observerHearsOverwritesInTheStepAndTheCounts()
{
    QFETCH(bool, accept);
    QFETCH(QStringList, heard);
    QFETCH(QString, terminal1);
    TerminalImport import(m_db, m_language);
    import.run(sheet({{"1", "A"}, { "2", "B" }}));
    RecordingObserver observer;
    observer.db = &m_db;
    observer.accept = accept;
    import.setObserver(&observer);
    ScriptedAnswers answers{{DuplicateAnswer::OverwriteAll}, {}};
    import.setAsk(answers.ask());
    const auto result = import.run(sheet({{"0001", "A2"}, {"", "none"}, {"2", "B"}, {"3", "C"}}));
    QCOMPARE(observer.heard, heard);
    QCOMPARE(result.writeFailed, !accept);
    QCOMPARE(register_(m_db).value(1), terminal1);
}

QTEST_GUILESS_MAIN(TerminalImportTest)
#include "TerminalImportTest.moc"
