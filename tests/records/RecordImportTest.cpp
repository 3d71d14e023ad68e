#include "RecordFixture.h"
#include "records/EntryTime.h"
#include "records/RecordImport.h"
#include "records/RecordRows.h"
#include "startup/LanguageTable.h"

#include <QFileInfo>
#include <QStringEncoder>
#include <QtTest>

using namespace k27;
using test::RecordDatabase;
using test::RecordingProgress;

namespace {

QStringList row(const RecordRows& rows, int r)
{
    QStringList out;
    for (int c = 1; c <= RecordRows::Columns; ++c)
        out << rows.text(r, c);
    return out;
}

QByteArray lines(int count, int firstCard = 0)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += QStringLiteral("1,%1,2024-05-01,08:00:00,星期三\r\n").arg(firstCard + i).toUtf8();
    return out;
}

} // namespace

class RecordImportTest : public QObject
{
    Q_OBJECT

private slots:
    void storesLinesAndShowsThemWithHolderAndTerminal()
    {
        RecordDatabase d;
        d.holder(QStringLiteral("00012345"), QStringLiteral("张三"), QStringLiteral("财务部"),
                 QStringLiteral("一号楼"));
        d.terminal(3, QStringLiteral("东门"));
        RecordRows rows;
        rows.append({QStringLiteral("an earlier query's row")});
        const QString file = d.file(QStringLiteral("in.txt"),
                                    QByteArray("0003,00012345,2011-03-15,08:30:05,星期二\r\n"
                                               "  12 , 777 ,2011/3/5,8:3:5\n" // four fields, loose spelling
                                               "5,888")
                                        + '\0' + "junk,2011-03-15,08:30:05,星期二,extra\n");
        RecordingProgress progress;
        const auto result = RecordImport::run(d.db, file, rows, &progress);
        QVERIFY(result.readable);
        QCOMPARE(result.total, 3);
        QCOMPARE(result.read, 3);
        QCOMPARE(result.added, 3);
        QCOMPARE(result.skipped, 0);

        QCOMPARE(rows.rowCount(), 3);
        QCOMPARE(row(rows, 1), (QStringList{"2011-03-15 08:30:05", "星期二", "张三", "财务部", "一号楼", "0003", "东门",
                                            "00012345"}));
        // Unknown card, unregistered terminal: empty cells. The time as stored.
        QCOMPARE(row(rows, 2), (QStringList{"2011-03-05 08:03:05", "", "", "", "", "12", "", "777"}));
        QCOMPARE(rows.text(3, RecordRows::Card), QStringLiteral("888"));

        QVariantList stored;
        d.db.query(QStringLiteral("SELECT 卡号, 终端机号, 进出时间, 星期 FROM 进出记录 ORDER BY ID"), {},
                   [&](const Row& r) {
                       for (int c = 0; c < 4; ++c)
                           stored << r.value(c);
                       return true;
                   });
        QCOMPARE(stored, (QVariantList{"00012345", 3, "2011-03-15 08:30:05", "星期二", "777", 12, "2011-03-05 08:03:05",
                                       "", "888", 5, "2011-03-15 08:30:05", "星期二"}));
        QCOMPARE(progress.maximum, 3);
        QCOMPARE(progress.values, (QList<int>{0, 3}));
    }

    void sameFileTwiceAddsNothingTheSecondTime()
    {
        RecordDatabase d;
        const QString file = d.file(QStringLiteral("in.csv"),
                                    "1,A,2024-05-01,08:00:00,x\n"
                                    "1,A,2024-5-1,8:00:00,x\n" // the same moment spelt otherwise
                                    "2,B,2024-05-01,08:00:00,x\n"
                                    "2,B,2024-02-30,08:00:00,x\n");
        RecordRows rows;
        auto first = RecordImport::run(d.db, file, rows, nullptr);
        QCOMPARE(first.added, 2);
        QCOMPARE(first.skipped, 2);
        auto second = RecordImport::run(d.db, file, rows, nullptr);
        QCOMPARE(second.added, 0);
        QCOMPARE(second.skipped, 4);
        QCOMPARE(rows.rowCount(), 0);
        QCOMPARE(d.count(), 2);
    }

    // A few cards (4 of 101 holders) are looked up one by one, many (24) in one walk through
    // the holders: either way
    // each row shows its card's first holder, and a card nobody holds shows none.
    void holdersLookedUpOneByOneOrInOneWalk()
    {
        for (const int cards : {2, 12}) {
            RecordDatabase d;
            QVERIFY(d.db.beginTransaction());
            for (int i = 0; i < 100; ++i)
                d.holder(QStringLiteral("H%1").arg(i), QStringLiteral("名%1").arg(i), QStringLiteral("部%1").arg(i));
            d.holder(QStringLiteral("H1"), QStringLiteral("后来的")); // the card given twice
            QVERIFY(d.db.commit());
            QByteArray file;
            for (int i = 0; i < cards; ++i)
                file += QStringLiteral("1,H%1,2024-05-01,08:00:%2,x\n1,X%1,2024-05-01,08:00:%2,x\n")
                            .arg(cards - 1 - i)
                            .arg(i, 2, 10, QLatin1Char('0'))
                            .toUtf8();
            RecordRows rows;
            QCOMPARE(RecordImport::run(d.db, d.file(QStringLiteral("in.txt"), file), rows, nullptr).added, 2 * cards);
            for (int r = 1; r <= rows.rowCount(); ++r) {
                const QString card = rows.text(r, RecordRows::Card);
                const QString number = card.mid(1);
                QCOMPARE(rows.text(r, RecordRows::Name), card.startsWith(u'H') ? u'名' + number : QString());
                QCOMPARE(rows.text(r, RecordRows::Department), card.startsWith(u'H') ? u'部' + number : QString());
            }
        }
    }

    // A record already stored is skipped whether the line is newer than every stored record,
    // repeats one of the file, comes out of time order, or was stored by another connection
    // while the run went on.
    void recordsStoredAlreadyAreSkippedInAnyOrder()
    {
        RecordDatabase d;
        d.record(QStringLiteral("S"), QStringLiteral("2024-05-01 07:00:00"));
        QByteArray file = "1,S,2024-05-01,07:00:00,x\n" // stored before the run
                          "1,A,2024-05-01,09:00:00,x\n"
                          "1,B,2024-05-01,09:00:00,x\n" // same time, other card: new
                          "1,A,2024-05-01,09:00:00,x\n" // repeats a line of the run
                          "1,C,2024-05-01,10:00:00,x\n"
                          "1,A,2024-05-01,09:00:00,x\n"  // out of order, repeated
                          "1,D,2024-05-01,08:00:00,x\n"; // out of order, new
        // Then 600 lines in order; another connection stores the record of the last one after
        // the first commit.
        for (int i = 0; i < 600; ++i)
            file += QStringLiteral("1,E%1,2024-05-02,08:%2:%3,x\n")
                        .arg(i)
                        .arg(i / 60, 2, 10, QLatin1Char('0'))
                        .arg(i % 60, 2, 10, QLatin1Char('0'))
                        .toUtf8();
        RecordingProgress progress;
        bool storedByOther = false;
        progress.onPump = [&] {
            if (std::exchange(storedByOther, true))
                return;
            Database other;
            QVERIFY(other.open(d.folder.databasePath()));
            QVERIFY(other.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES"
                                              " ('E599', '2024-05-02 08:09:59', 1, 'x')")));
        };
        RecordRows rows;
        const auto r = RecordImport::run(d.db, d.file(QStringLiteral("in.txt"), file), rows, &progress);
        QVERIFY(storedByOther);
        QCOMPARE(r.added, 4 + 599);
        QCOMPARE(r.skipped, 4);
        QCOMPARE(rows.rowCount(), r.added);
        QCOMPARE(d.count(), 1 + 4 + 600);
        QCOMPARE(d.db.scalar(QStringLiteral("SELECT count(*) FROM (SELECT DISTINCT 卡号, 进出时间 FROM 进出记录) AS d"))
                     .toLongLong(),
                 d.count());
    }

    // The run off the window's thread: the same counts, the progress told on this thread, the
    // rows replaced only at the end, a stop asked for before its start seen at its first commit,
    // and the file alone holding the run once it is over.
    void runInBackground()
    {
        for (const bool stop : {false, true}) {
            RecordDatabase d;
            const QString file = d.file(QStringLiteral("many.txt"), lines(2520));
            RecordRows rows;
            rows.append({QStringLiteral("an earlier query's row")});
            RecordingProgress progress;
            progress.stop = stop;
            const auto r = RecordImport::runInBackground(d.db, file, rows, &progress);
            QCOMPARE(r.stopped, stop);
            QCOMPARE(r.added, stop ? 500 : 2520);
            QCOMPARE(r.read, r.added);
            QCOMPARE(rows.rowCount(), r.added);
            QCOMPARE(d.count(), r.added);
            QCOMPARE(progress.maximum, 2520);
            QCOMPARE(progress.values.last(), r.added);
            QCOMPARE(QFileInfo(d.folder.databasePath() + QStringLiteral("-wal")).size(), 0);
        }
        // An unreadable file leaves the rows as they were.
        RecordDatabase d;
        RecordRows rows;
        rows.append({QStringLiteral("kept")});
        RecordingProgress progress;
        QVERIFY(!RecordImport::runInBackground(d.db, d.folder.path(QStringLiteral("missing.txt")), rows, &progress)
                     .readable);
        QCOMPARE(rows.text(1, 1), QStringLiteral("kept"));
    }

    void readingRulesOfTheLines()
    {
        RecordDatabase d;
        RecordRows rows;
        // A line without a comma is read but neither added nor skipped; reading stops at the
        // first empty line.
        auto r = RecordImport::run(d.db,
                                   d.file(QStringLiteral("a.txt"), "no comma here\r\n1,A,2024-05-01,08:00:00\r\n\r\n"
                                                                   "1,B,2024-05-01,08:00:00\r\n"),
                                   rows, nullptr);
        QCOMPARE(r.total, 4);
        QCOMPARE(r.read, 2);
        QCOMPARE(r.added, 1);
        QCOMPARE(r.skipped, 0);

        // Without a final line break the total is one less than the lines; a line of blanks is
        // not empty.
        RecordingProgress progress;
        r = RecordImport::run(d.db,
                              d.file(QStringLiteral("b.txt"), "1,C,2024-05-01,08:00:00\n   \n1,D,2024-05-01,08:00:00"),
                              rows, &progress);
        QCOMPARE(r.total, 2);
        QCOMPARE(r.read, 3);
        QCOMPARE(r.added, 2);
        QCOMPARE(progress.maximum, 2);
        QCOMPARE(progress.values.last(), 3);

        // Empty file: nothing read, still a readable file.
        r = RecordImport::run(d.db, d.file(QStringLiteral("c.txt"), QByteArray()), rows, nullptr);
        QVERIFY(r.readable);
        QCOMPARE(r.read, 0);
    }

    void badLinesAreSkippedAndNotStored()
    {
        RecordDatabase d;
        RecordRows rows;
        const auto r = RecordImport::run(d.db,
                                         d.file(QStringLiteral("bad.txt"),
                                                "1,A,2011-02-30,08:00:00\n" // no such day
                                                "1,B,2011-03-15,24:00:00\n" // no such hour
                                                "1,C,15.03.2011,08:00:00\n"
                                                "1,D,2011-03-15\n"                         // no time
                                                "1,1234567890123456,2011-03-15,08:00:00\n" // card too wide
                                                "1,E,2011-03-15,08:00:00,12345678901\n"    // weekday too wide
                                                "99999999999,F,2011-03-15,08:00:00\n"      // terminal too big
                                                "1,123456789012345,2011-03-15,08:00:00,1234567890\n"),
                                         rows, nullptr);
        QCOMPARE(r.read, 8);
        QCOMPARE(r.skipped, 7);
        QCOMPARE(r.added, 1);
        QCOMPARE(d.count(), 1);
        QCOMPARE(rows.rowCount(), 1);
        QCOMPARE(rows.text(1, RecordRows::Card), QStringLiteral("123456789012345"));
    }

    void textsAreStoredAsTheyStand()
    {
        RecordDatabase d;
        RecordRows rows;
        // Apostrophes, percent signs and SQL-like texts are plain data.
        const QByteArray data = "1,O'1%,2011-03-15,08:00:00,it's\n"
                                "1,x');--,2011-03-15,08:00:00,#1#\n"
                                "1,{a\"b\\ NULL},2011-03-15,08:00:00,{}\n";
        const auto r = RecordImport::run(d.db, d.file(QStringLiteral("q.txt"), data), rows, nullptr);
        QCOMPARE(r.added, 3);
        QCOMPARE(d.count(QStringLiteral("卡号 = ? AND 星期 = ?"), {QStringLiteral("O'1%"), QStringLiteral("it's")}), 1);
        QCOMPARE(d.count(QStringLiteral("卡号 = ?"), {QStringLiteral("x');--")}), 1);
        QCOMPARE(
            d.count(QStringLiteral("卡号 = ? AND 星期 = ?"), {QStringLiteral("{a\"b\\ NULL}"), QStringLiteral("{}")}),
            1);
    }

    // A line the table refuses stays out alone; the lines around it go in.
    void refusedLineStaysOutAlone()
    {
        RecordDatabase d;
        QVERIFY(d.db.isServer()
                    ? d.db.execNative(QStringLiteral("ALTER TABLE 进出记录 ADD CONSTRAINT 非坏 CHECK (卡号 <> 'bad')"))
                    : d.db.exec(QStringLiteral("CREATE TRIGGER 非坏 BEFORE INSERT ON 进出记录 WHEN NEW.卡号 = 'bad'"
                                               " BEGIN SELECT RAISE(ABORT, 'bad'); END")));
        RecordRows rows;
        const auto r = RecordImport::run(
            d.db, d.file(QStringLiteral("r.txt"), lines(3) + "1,bad,2024-05-01,08:00:00,x\n" + lines(2, 3)), rows,
            nullptr);
        QCOMPARE(r.added, 5);
        QCOMPARE(r.skipped, 1);
        QVERIFY(!r.writeFailed);
        QCOMPARE(d.count(), 5);
    }

    void fileEncodings()
    {
        RecordDatabase d;
        RecordRows rows;
        const QString line = QStringLiteral("1,A,2011-03-15,08:00:00,星期二\r\n");
        QStringEncoder gb("GB18030");
        QVERIFY(gb.isValid());
        const QByteArray gbBytes = gb.encode(line);
        QVERIFY(gbBytes != line.toUtf8());
        auto r = RecordImport::run(d.db, d.file(QStringLiteral("gb.txt"), gbBytes), rows, nullptr);
        QCOMPARE(r.added, 1);
        QCOMPARE(rows.text(1, RecordRows::Weekday), QStringLiteral("星期二"));
        r = RecordImport::run(d.db, d.file(QStringLiteral("u8.txt"), "\xEF\xBB\xBF" + line.toUtf8().replace('A', 'B')),
                              rows, nullptr);
        QCOMPARE(r.added, 1);
        QCOMPARE(rows.text(1, RecordRows::Terminal), QStringLiteral("1")); // the BOM is not part of field 1
        QCOMPARE(rows.text(1, RecordRows::Weekday), QStringLiteral("星期二"));
    }

    void unreadableFileChangesNothing()
    {
        RecordDatabase d;
        RecordRows rows;
        rows.append({QStringLiteral("kept")});
        for (const QString& path :
             {d.folder.path(QStringLiteral("missing.txt")), d.folder.path(QStringLiteral("Data"))}) {
            const auto r = RecordImport::run(d.db, path, rows, nullptr);
            QVERIFY(!r.readable);
            QCOMPARE(rows.rowCount(), 1);
        }
    }

    void progressEveryFiftyLinesAndCommittedChunks()
    {
        RecordDatabase d;
        RecordRows rows;
        RecordingProgress progress;
        // Window events run with at least every line shown committed: another connection sees them.
        qint64 seenAt1050 = -1;
        progress.onPump = [&] {
            if (progress.values.last() == 1050) {
                Database other;
                QVERIFY(other.open(d.folder.databasePath(), true));
                seenAt1050 = other.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toLongLong();
            }
        };
        const auto r = RecordImport::run(d.db, d.file(QStringLiteral("many.txt"), lines(2520)), rows, &progress);
        QCOMPARE(r.added, 2520);
        QCOMPARE(progress.maximum, 2520);
        QCOMPARE(progress.values.size(), 2 + 2520 / 50);
        QCOMPARE(progress.values.mid(0, 4), (QList<int>{0, 50, 100, 150}));
        QCOMPARE(progress.values.last(), 2520);
        QCOMPARE(progress.pumps, 2520 / 50);
        QVERIFY(seenAt1050 >= 1050);
        // The run leaves no transaction open.
        QVERIFY(d.db.beginTransaction());
        QVERIFY(d.db.rollback());
    }

    // The file is read in chunks: a line break or a line may straddle them.
    void linesAcrossReadChunks_data()
    {
        QTest::addColumn<int>("lineBytes"); // the first line's length before its CR LF
        QTest::newRow("CR ends a chunk") << 65535;
        QTest::newRow("LF ends a chunk") << 65534;
        QTest::newRow("line over several chunks") << 200000;
        QTest::newRow("line cut at its limit") << RecordImport::MaxLineBytes + 100;
    }
    void linesAcrossReadChunks()
    {
        QFETCH(int, lineBytes);
        RecordDatabase d;
        RecordRows rows;
        QByteArray first = "1,A,2024-05-01,08:00:00,x,"; // fields after the fifth are ignored
        first += QByteArray(lineBytes - first.size(), 'p');
        const auto r = RecordImport::run(
            d.db, d.file(QStringLiteral("long.txt"), first + "\r\n2,B,2024-05-01,08:00:00\r\n"), rows, nullptr);
        QCOMPARE(r.total, 2);
        QCOMPARE(r.read, 2);
        QCOMPARE(r.added, 2);
        QCOMPARE(rows.text(2, RecordRows::Card), QStringLiteral("B"));
    }

    void entryTimeSpellings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::newRow("stored form") << "2011-03-15 08:30:05"
                                     << "2011-03-15 08:30:05";
        QTest::newRow("slashes") << "2011/3/15 8:30:05"
                                 << "2011-03-15 08:30:05";
        QTest::newRow("single digits") << "2011-3-5 8:3:5"
                                       << "2011-03-05 08:03:05";
        QTest::newRow("no seconds") << "2011-03-15 08:30"
                                    << "2011-03-15 08:30:00";
        QTest::newRow("leap day") << "2012-02-29 00:00:00"
                                  << "2012-02-29 00:00:00";
        QTest::newRow("no leap day") << "2011-02-29 00:00:00"
                                     << "";
        QTest::newRow("mixed separators") << "2011-03/15 08:30:05"
                                          << "";
        QTest::newRow("minute 60") << "2011-03-15 08:60:00"
                                   << "";
        QTest::newRow("two-digit year") << "11-03-15 08:30:05"
                                        << "";
        QTest::newRow("date only") << "2011-03-15"
                                   << "";
        QTest::newRow("blanks between date and time") << "2011-3-5   8:3:5"
                                                      << "2011-03-05 08:03:05";
        QTest::newRow("colon without seconds") << "2011-03-15 08:30:"
                                               << "";
        QTest::newRow("blank after the time") << "2011-03-15 08:30:05 "
                                              << "";
        QTest::newRow("three-digit day") << "2011-03-150 08:30:05"
                                         << "";
        QTest::newRow("year 0") << "0000-01-01 00:00:00"
                                << "";
    }
    void entryTimeSpellings()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QCOMPARE(normaliseEntryTime(text), stored);
    }
};

QTEST_GUILESS_MAIN(RecordImportTest)
#include "RecordImportTest.moc"
