#include "RecordFixture.h"
#include "db/RecordDayCounts.h"
#include "db/RecordNewest.h"
#include "records/EntryTime.h"
#include "records/RecordCounts.h"
#include "records/RecordLastSeen.h"
#include "records/RecordRows.h"

#include <QMap>
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>

using namespace k27;
using test::RecordDatabase;

Q_DECLARE_METATYPE(k27::RecordFilter)

namespace {

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), QLatin1String(EntryTimeFormat));
}

// A register of random records over three months: 40 holders (two sharing no card), cards
// nobody holds, records without a card or a time, and five terminals (one unlisted).
// `ordered`: the records stored in the order of their times (as a site's desk stores them).
void fillRandom(RecordDatabase& r, quint32 seed, bool ordered = false)
{
    QRandomGenerator random(seed);
    r.db.beginTransaction();
    for (int i = 1; i <= 40; ++i)
        r.holder(QStringLiteral("%1").arg(1000 + i * 7), QStringLiteral("职员%1").arg(i),
                 QStringLiteral("部门%1").arg(i % 4));
    r.holder({}, QStringLiteral("无卡"));
    for (int t = 1; t <= 4; ++t)
        r.terminal(t, QStringLiteral("门%1").arg(t));
    const QDateTime first = at("2024-01-01 00:00:00");
    struct Record
    {
        QString card, time;
        int terminal;
    };
    QList<Record> records;
    for (int i = 0; i < 1500; ++i) {
        const QDateTime t = first.addSecs(qint64(random.bounded(90 * 86400)));
        const int c = int(random.bounded(50)); // 41..49: nobody's card
        const QString card = c == 0 ? QString() : QStringLiteral("%1").arg(1000 + c * 7);
        const QString time = random.bounded(100) == 0 ? QString() : t.toString(QLatin1String(EntryTimeFormat));
        records.append({card, time, 1 + int(random.bounded(5))});
    }
    if (ordered)
        std::stable_sort(records.begin(), records.end(),
                         [](const Record& a, const Record& b) { return a.time < b.time; });
    for (const Record& record : records)
        r.record(record.card, record.time, record.terminal);
    r.db.commit();
}

// What an import and a deletion do to a register, and records edited by another program:
// times that name no hour among them.
void changeRandom(RecordDatabase& r)
{
    for (const char* time :
         {"2024-01-15", "2024-01-15T08:00:00", "2024-01-10T23:00:00", "2024-01-10 08:40:00", "2024-02-03 17:00:00"})
        r.record(QStringLiteral("1007"), QString::fromLatin1(time), 2);
    r.record(QStringLiteral("1014"), QStringLiteral("2024-02-03 17:10:00"), 1);
    QVERIFY(r.db.exec(QStringLiteral("DELETE FROM 进出记录 WHERE ID % 7 = 0")));
    QVERIFY(r.db.exec(QStringLiteral("UPDATE 进出记录 SET 终端机号 = 3, 进出时间 = '2024-02-10 09:15:00'"
                                     " WHERE ID % 11 = 0")));
    QVERIFY(r.db.exec(QStringLiteral("UPDATE 进出记录 SET 卡号 = NULL WHERE ID % 13 = 0")));
}

RecordFilter span(const char* start, const char* end)
{
    RecordFilter f;
    f.timeSpan = true;
    f.start = at(start);
    f.end = at(end);
    return f;
}

} // namespace

class RecordCountsTest : public QObject
{
    Q_OBJECT

private slots:
    // The chart's numbers are the grid's rows counted: in total, per bar, per hour of the day
    // and per terminal; and a click on a bar gives a query of as many rows as the bar showed.
    void countsAgreeWithTheGridRows_data()
    {
        QTest::addColumn<RecordFilter>("filter");
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("changed");
        RecordFilter f;
        QTest::newRow("everything, undated included") << f << int(RecordCounts::Step::Week) << false;
        QTest::newRow("empty span") << span("2030-01-01 00:00:00", "2030-02-01 00:00:00") << -1 << false;
        QTest::newRow("one day") << span("2024-01-15 00:00:00", "2024-01-15 23:59:59") << int(RecordCounts::Step::Hour)
                                 << false;
        QTest::newRow("a month") << span("2024-02-01 00:00:00", "2024-02-29 23:59:59") << int(RecordCounts::Step::Day)
                                 << false;
        QTest::newRow("long span") << span("2023-06-01 00:00:00", "2025-06-01 00:00:00")
                                   << int(RecordCounts::Step::Month) << false;
        f = RecordFilter();
        f.terminal = QStringLiteral("003");
        QTest::newRow("one terminal") << f << int(RecordCounts::Step::Week) << false;
        f.terminal = QStringLiteral("5");
        QTest::newRow("unlisted terminal") << f << int(RecordCounts::Step::Week) << false;
        f = span("2024-01-01 00:00:00", "2024-01-31 23:59:59");
        f.card = QStringLiteral("10");
        QTest::newRow("card contains, a month") << f << int(RecordCounts::Step::Day) << false;
        f = RecordFilter();
        f.name = QStringLiteral("职员1");
        f.department = QStringLiteral("部门1");
        QTest::newRow("name and department") << f << int(RecordCounts::Step::Week) << false;
        f = RecordFilter();
        f.recent = true;
        f.recentText = QStringLiteral("300");
        QTest::newRow("newest 300") << f << int(RecordCounts::Step::Day) << false;
        QTest::newRow("changed: everything") << RecordFilter() << int(RecordCounts::Step::Week) << true;
        f = span("2024-01-10 08:30:15", "2024-02-03 17:05:00");
        QTest::newRow("changed: from and to the middle of an hour") << f << int(RecordCounts::Step::Day) << true;
        f.terminal = QStringLiteral("2");
        QTest::newRow("changed: the same, one terminal") << f << int(RecordCounts::Step::Day) << true;
        QTest::newRow("changed: within one hour")
            << span("2024-01-15 08:10:00", "2024-01-15 08:50:00") << int(RecordCounts::Step::Hour) << true;
        QTest::newRow("changed: reversed span") << span("2024-02-01 00:00:00", "2024-01-01 00:00:00") << -1 << true;
    }
    void countsAgreeWithTheGridRows()
    {
        QFETCH(RecordFilter, filter);
        QFETCH(int, step);
        QFETCH(bool, changed);
        RecordDatabase r;
        fillRandom(r, 22);
        if (changed)
            changeRandom(r);
        RecordRows rows;
        QCOMPARE(RecordQuery::run(r.db, filter, rows).outcome, RecordQuery::Outcome::Done);
        RecordCounts counts;
        int slices = 0;
        QCOMPARE(RecordCounts::count(r.db, filter, counts, [&](int) { return ++slices > 0; }),
                 RecordCounts::Outcome::Done);
        QVERIFY(slices >= 1);

        QCOMPARE(counts.total, qint64(rows.rowCount()));
        std::array<qint64, 24> hours{};
        QMap<qint64, qint64> terminals;
        qint64 undated = 0;
        for (int i = 1; i <= rows.rowCount(); ++i) {
            const QDateTime t = at(rows.text(i, RecordRows::Time).toLatin1().constData());
            if (t.isValid())
                ++hours[t.time().hour()];
            else
                ++undated;
            terminals[rows.text(i, RecordRows::Terminal).toLongLong()]++;
        }
        QCOMPARE(counts.undated, undated);
        QCOMPARE(counts.hours, hours);
        if (step < 0) {
            QVERIFY(counts.timeline.isEmpty());
        } else {
            QCOMPARE(int(counts.step), step);
            qint64 inBars = 0;
            for (const RecordCounts::Bar& bar : counts.timeline) {
                qint64 expected = 0;
                for (int i = 1; i <= rows.rowCount(); ++i) {
                    const QDateTime t = at(rows.text(i, RecordRows::Time).toLatin1().constData());
                    expected += t.isValid() && QDateTime(t.date(), t.time(), Qt::UTC) >= bar.start
                                && QDateTime(t.date(), t.time(), Qt::UTC) <= bar.end;
                }
                QCOMPARE(bar.count, expected);
                inBars += bar.count;
            }
            QCOMPARE(inBars, counts.total - undated);
        }
        QVERIFY(counts.terminals.size() <= RecordCounts::BusiestTerminals);
        for (int i = 0; i < counts.terminals.size(); ++i) {
            const RecordCounts::Terminal& t = counts.terminals[i];
            QCOMPARE(t.count, terminals.value(t.number));
            QCOMPARE(t.address, t.number <= 4 ? QStringLiteral("门%1").arg(t.number) : QString());
            if (i > 0)
                QVERIFY(counts.terminals[i - 1].count >= t.count);
        }
        QCOMPARE(counts.terminals.size(), qMin<qsizetype>(terminals.size(), RecordCounts::BusiestTerminals));

        // A click on the fullest bar, terminal and (on a single day) hour narrows the query to
        // exactly what the bar counted.
        const auto rowsOf = [&](const RecordFilter& narrowed) {
            RecordRows n;
            RecordQuery::run(r.db, narrowed, n);
            return qint64(n.rowCount());
        };
        if (!counts.timeline.isEmpty() && !filter.recent) {
            const auto fullest = std::max_element(counts.timeline.cbegin(), counts.timeline.cend(),
                                                  [](const auto& a, const auto& b) { return a.count < b.count; });
            QCOMPARE(rowsOf(RecordCounts::narrowedToTime(filter, fullest->start, fullest->end)), fullest->count);
            if (counts.step == RecordCounts::Step::Hour) {
                const int hour = int(std::max_element(hours.cbegin(), hours.cend()) - hours.cbegin());
                QCOMPARE(rowsOf(counts.narrowedToHourOfDay(filter, hour)), hours[hour]);
            }
        }
        if (!counts.terminals.isEmpty() && !filter.recent)
            QCOMPARE(rowsOf(RecordCounts::narrowedToTerminal(filter, counts.terminals[0].number)),
                     counts.terminals[0].count);
    }

    // The day counts kept by the register through inserts, edits and deletions are the records
    // counted afresh: in a new file, and in an older one that gets them (in portions of a few
    // records, the first fill stopped half way) before or after the changes.
    void dayCountsAreKept_data()
    {
        QTest::addColumn<bool>("older");
        QTest::addColumn<bool>("changedBefore");
        QTest::newRow("new file") << false << false;
        QTest::newRow("older file, changed after") << true << false;
        QTest::newRow("older file, changed before") << true << true;
    }
    void dayCountsAreKept()
    {
        if (test::onServer())
            QSKIP("the server's counts are made from the records");
        QFETCH(bool, older);
        QFETCH(bool, changedBefore);
        RecordDatabase r;
        if (older)
            QVERIFY(r.db.execScript(QStringLiteral("DROP TRIGGER 进出记录_日计数_加; DROP TRIGGER 进出记录_日计数_删;"
                                                   " DROP TRIGGER 进出记录_日计数_改; DROP TABLE 进出记录_日计数;")));
        fillRandom(r, 9);
        if (changedBefore)
            changeRandom(r);
        if (older) {
            QVERIFY(!dayCounts::ensure(
                r.db, [](int permille) { return permille < 500; }, 100));
            QVERIFY(!r.db.hasTable(QString::fromUtf8(dayCounts::Table)));
            QVERIFY(dayCounts::ensure(r.db, {}, 100));
        }
        if (!changedBefore)
            changeRandom(r);
        QMap<std::pair<QString, qint64>, std::array<qint64, 25>> expected, kept;
        r.db.query(QStringLiteral("SELECT 进出时间, ifnull(终端机号, -1) FROM 进出记录 WHERE 卡号 IS NOT NULL"), {},
                   [&](const Row& row) {
                       const QString t = row.text(0);
                       const int hour = t.mid(11, 2).toInt();
                       const bool named = t.size() >= 13 && t[10] == u' ' && t[11].isDigit() && t[12].isDigit()
                                          && hour < 24;
                       ++expected[{t.left(10), row.integer(1)}][named ? hour : 24];
                       return true;
                   });
        r.db.query(QStringLiteral("SELECT * FROM 进出记录_日计数"), {}, [&](const Row& row) {
            std::array<qint64, 25> hours{};
            for (int h = 0; h < 25; ++h)
                hours[h] = row.integer(2 + h);
            if (hours != std::array<qint64, 25>{})
                kept[{row.text(0), row.isNull(1) || row.text(1).isEmpty() ? -1 : row.integer(1)}] = hours;
            return true;
        });
        QVERIFY(expected.size() > 100);
        QCOMPARE(kept, expected);
    }

    void stepFollowsTheSpan()
    {
        const QDate d(2024, 3, 30); // a clock change in some zones: the chart keeps 24 hours a day
        const struct
        {
            int days;
            RecordCounts::Step step;
        } cases[] = {{0, RecordCounts::Step::Hour},   {1, RecordCounts::Step::Hour},  {2, RecordCounts::Step::Day},
                     {61, RecordCounts::Step::Day},   {62, RecordCounts::Step::Week}, {370, RecordCounts::Step::Week},
                     {371, RecordCounts::Step::Month}};
        for (const auto& c : cases)
            QCOMPARE(RecordCounts::stepFor(d, d.addDays(c.days)), c.step);
    }

    void countStopsWhenCancelled()
    {
        RecordDatabase r;
        fillRandom(r, 5);
        RecordCounts counts;
        QCOMPARE(RecordCounts::count(r.db, {}, counts, [](int) { return false; }), RecordCounts::Outcome::Cancelled);
    }

    // "Last seen" beside the plain answer: every record read, each card's newest kept.
    void lastSeenAgreesWithAPlainReading_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<RecordFilter>("filter");
        // Records added, edited and deleted after the register was filled; the register's newest
        // record of each card made from the records an older file holds (then changed).
        QTest::addColumn<bool>("changed");
        QTest::addColumn<bool>("rebuilt");
        // The records stored in the order of their times (changed: then a late import).
        QTest::addColumn<bool>("ordered");
        QTest::newRow("all") << 1u << RecordFilter() << false << false << false;
        QTest::newRow("all, another register") << 2u << RecordFilter() << false << false << false;
        QTest::newRow("all, after changes") << 8u << RecordFilter() << true << false << false;
        QTest::newRow("all, an older file") << 10u << RecordFilter() << false << true << false;
        QTest::newRow("all, an older file changed") << 11u << RecordFilter() << true << true << false;
        QTest::newRow("a month") << 3u << span("2024-02-01 00:00:00", "2024-02-29 23:59:59") << false << false << false;
        QTest::newRow("a month, after changes")
            << 12u << span("2024-02-01 00:00:00", "2024-02-29 23:59:59") << true << false << false;
        QTest::newRow("a day inside") << 14u << span("2024-02-10 00:00:00", "2024-02-10 23:59:59") << true << false
                                      << false;
        QTest::newRow("before most cards' newest")
            << 15u << span("2023-12-01 00:00:00", "2024-01-20 12:00:00") << false << false << false;
        QTest::newRow("before everything")
            << 20u << span("2023-01-01 00:00:00", "2023-12-31 23:59:59") << true << false << false;
        QTest::newRow("after everything")
            << 16u << span("2024-01-01 00:00:00", "2030-01-01 00:00:00") << true << true << false;
        RecordFilter f = span("2024-01-10 08:30:15", "2024-02-20 17:05:00");
        f.terminal = QStringLiteral("3");
        QTest::newRow("span, one terminal") << 17u << f << true << false << false;
        f.card = QStringLiteral("10");
        QTest::newRow("span, one terminal, card contains") << 18u << f << false << false << false;
        f = RecordFilter();
        f.terminal = QStringLiteral("002");
        QTest::newRow("one terminal, after changes") << 21u << f << true << false << false;
        f = span("2024-01-10 08:30:15", "2024-02-20 17:05:00");
        f.name = QStringLiteral("职员1");
        QTest::newRow("span, name contains") << 19u << f << true << false << false;
        f = RecordFilter();
        f.terminal = QStringLiteral("2");
        f.card = QStringLiteral("1_"); // taken literally: no card has an underscore
        QTest::newRow("terminal, literal card text") << 4u << f << false << false << false;
        f = RecordFilter();
        f.card = QStringLiteral("13");
        QTest::newRow("card contains") << 6u << f << false << false << false;
        QTest::newRow("card contains, after changes") << 13u << f << true << false << false;
        f = RecordFilter();
        f.department = QStringLiteral("部门2");
        QTest::newRow("department: no unknown cards") << 7u << f << false << false << false;
        // At a terminal over whole days: read in the order of the IDs where they follow the
        // times, and along the time index where changes have spread them.
        f = span("2024-01-10 00:00:00", "2024-02-20 23:59:59");
        f.terminal = QStringLiteral("3");
        QTest::newRow("whole days, one terminal, in order") << 22u << f << false << false << true;
        QTest::newRow("whole days, one terminal, a late import") << 23u << f << true << false << true;
        f.card = QStringLiteral("10");
        QTest::newRow("whole days, one terminal, card contains") << 24u << f << false << false << true;
    }
    void lastSeenAgreesWithAPlainReading()
    {
        QFETCH(quint32, seed);
        QFETCH(RecordFilter, filter);
        QFETCH(bool, changed);
        QFETCH(bool, rebuilt);
        QFETCH(bool, ordered);
        RecordDatabase r;
        if (rebuilt && !test::onServer())
            QVERIFY(r.db.execScript(QStringLiteral("DROP TRIGGER 进出记录_最近_加; DROP TRIGGER 进出记录_最近_删;"
                                                   " DROP TRIGGER 进出记录_最近_改; DROP TABLE 进出记录_最近;")));
        fillRandom(r, seed, ordered);
        if (rebuilt && !test::onServer()) {
            // In portions of a few cards, stopped once half way: nothing of it stays.
            QVERIFY(!newestRecords::ensure(
                r.db, [](int permille) { return permille < 500; }, 7));
            QVERIFY(!r.db.hasTable(QString::fromUtf8(newestRecords::Table)));
            QVERIFY(newestRecords::ensure(r.db, {}, 7));
        }
        if (changed && ordered) {
            // A late import: older records stored after the newest (a card whose answer is
            // not its newest record).
            r.record(QStringLiteral("9998"), QStringLiteral("2024-02-15 12:00:00"), 3);
            r.record(QStringLiteral("9998"), QStringLiteral("2024-03-01 08:00:00"), 1);
        } else if (changed) {
            changeRandom(r);
        }
        struct Last
        {
            QString time;
            qint64 id = 0;
            qint64 terminal = 0;
        };
        QMap<QString, Last> newest;
        const QString low = filter.timeSpan ? filter.start.toString(QLatin1String(EntryTimeFormat)) : QString();
        const QString high = filter.timeSpan ? filter.end.toString(QLatin1String(EntryTimeFormat)) : QString();
        r.db.query(QStringLiteral("SELECT 卡号, 进出时间, ID, 终端机号 FROM 进出记录"), {}, [&](const Row& row) {
            const QString time = row.text(1);
            if (row.isNull(0) || row.isNull(1) || (filter.timeSpan && (time < low || time > high))
                || (!filter.terminal.isEmpty() && row.integer(3) != filter.terminal.toInt()))
                return true;
            Last& l = newest[row.text(0)];
            if (std::make_pair(time, row.integer(2)) > std::make_pair(l.time, l.id))
                l = {time, row.integer(2), row.integer(3)};
            return true;
        });
        struct Expected
        {
            QString time;
            qint64 id;
            QString name;
            qint64 holder;
            QString card;
            qint64 terminal;
            bool unknown;
        };
        QList<Expected> expected;
        QSet<QString> held;
        r.db.query(QStringLiteral("SELECT ID, 姓名, 部门, 卡号 FROM 用户信息"), {}, [&](const Row& row) {
            held.insert(row.text(3));
            if (!row.text(1).contains(filter.name) || !row.text(2).contains(filter.department)
                || !row.text(3).contains(filter.card))
                return true;
            const Last l = newest.value(row.text(3));
            expected.append({l.time, l.id, row.text(1), row.integer(0), row.text(3), l.terminal, false});
            return true;
        });
        QList<Expected> unknown;
        if (filter.name.isEmpty() && filter.department.isEmpty())
            for (auto n = newest.cbegin(); n != newest.cend(); ++n)
                if (!held.contains(n.key()) && n.key().contains(filter.card))
                    unknown.append({n->time, n->id, {}, 0, n.key(), n->terminal, true});
        const auto order = [](const Expected& a, const Expected& b) {
            if (a.time.isEmpty() != b.time.isEmpty())
                return b.time.isEmpty();
            if (a.time != b.time)
                return a.time > b.time;
            if (a.id != b.id)
                return a.id > b.id;
            return std::make_pair(a.name, a.holder) < std::make_pair(b.name, b.holder);
        };
        std::sort(expected.begin(), expected.end(), order);
        std::sort(unknown.begin(), unknown.end(), order);
        expected += unknown;

        QVERIFY(!unknown.isEmpty() || newest.isEmpty() || !filter.name.isEmpty() || !filter.department.isEmpty()
                || !filter.terminal.isEmpty());
        // A span worked through as planned, a day at a time to its start, a day then look-ups,
        // and look-ups alone.
        for (const RecordLastSeen::Plan plan : {RecordLastSeen::Plan{}, RecordLastSeen::Plan{1, 1e9},
                                                RecordLastSeen::Plan{1, 1}, RecordLastSeen::Plan{20000, 0}}) {
            QList<RecordLastSeen::Row> rows;
            QVERIFY2(RecordLastSeen::run(r.db, filter, rows, plan), qPrintable(r.db.lastError()));
            QCOMPARE(rows.size(), expected.size());
            for (int i = 0; i < rows.size(); ++i) {
                const Expected& e = expected[i];
                const RecordLastSeen::Row& got = rows[i];
                QCOMPARE(got.card, e.card);
                QCOMPARE(got.name, e.name);
                QCOMPARE(got.time, e.time);
                QCOMPARE(got.unknownCard, e.unknown);
                QCOMPARE(got.terminal, e.time.isEmpty() ? QString() : RecordQuery::terminalText(e.terminal));
                QCOMPARE(got.address,
                         e.time.isEmpty() || e.terminal > 4 ? QString() : QStringLiteral("门%1").arg(e.terminal));
            }
        }
    }
};

QTEST_GUILESS_MAIN(RecordCountsTest)
#include "RecordCountsTest.moc"
