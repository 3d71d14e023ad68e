#include "RecordFixture.h"
#include "records/RecordDeletion.h"
#include "records/RecordList.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"

#include <QtTest>

using namespace k27;
using test::RecordDatabase;
using test::RecordingProgress;

namespace {

QStringList cards(const RecordRows& rows)
{
    QStringList out;
    for (int r = 1; r <= rows.rowCount(); ++r)
        out << rows.text(r, RecordRows::Card);
    return out;
}

} // namespace

class RecordDeletionTest : public QObject
{
    Q_OBJECT

private slots:
    void selectionChecks()
    {
        int first = 3, last = 1;
        QCOMPARE(RecordDeletion::check(5, first, last), RecordDeletion::Check::Ok);
        QCOMPARE(first, 1);
        QCOMPARE(last, 3);
        first = 0, last = 0;
        QCOMPARE(RecordDeletion::check(0, first, last), RecordDeletion::Check::NoRows);
        first = 2, last = 0;
        QCOMPARE(RecordDeletion::check(5, first, last), RecordDeletion::Check::HeaderRow);
        QCOMPARE(first, 0);
    }

    void deletesTheSelectedBlockFromTableAndRows()
    {
        RecordDatabase d;
        for (int i = 1; i <= 5; ++i)
            d.record(QString::number(i), QStringLiteral("2024-05-01 08:00:0%1").arg(i));
        RecordRows rows;
        QCOMPARE(RecordQuery::run(d.db, {}, rows).rows, 5);
        QCOMPARE(cards(rows), (QStringList{"5", "4", "3", "2", "1"}));

        // Dragged upwards: rows 3..1.
        QCOMPARE(RecordDeletion::run(d.db, rows, 3, 1, nullptr), 3);
        QCOMPARE(cards(rows), (QStringList{"2", "1"}));
        QCOMPARE(d.count(), 2);
        QCOMPARE(d.count(QStringLiteral("卡号 IN ('1', '2')")), 2);
    }

    void sameCardAndTimeGoTogetherFromTheTable()
    {
        RecordDatabase d;
        d.record(QStringLiteral("O'1%"), QStringLiteral("2024-05-01 08:00:00"), 1);
        d.record(QStringLiteral("O'1%"), QStringLiteral("2024-05-01 08:00:00"), 2);
        d.record(QStringLiteral("O'1"), QStringLiteral("2024-05-01 08:00:00"), 3); // like-lookalike stays
        d.record(QStringLiteral("O'1%"), QStringLiteral("2024-05-01 08:00:01"), 4);
        RecordRows rows;
        RecordFilter f;
        f.card = QStringLiteral("O'1%");
        QCOMPARE(RecordQuery::run(d.db, f, rows).rows, 3);
        QCOMPARE(rows.text(3, RecordRows::Terminal), QStringLiteral("0001"));

        QCOMPARE(RecordDeletion::run(d.db, rows, 3, 3, nullptr), 2); // records, not rows
        QCOMPARE(rows.rowCount(), 1);                                // the twin leaves the grid with the selected row
        QCOMPARE(d.count(), 2); // both stored records of that card and time are gone
        QCOMPARE(d.count(QStringLiteral("卡号 = ?"), {QStringLiteral("O'1")}), 1);
    }

    void editedCellsAndProgress()
    {
        RecordDatabase d;
        QVERIFY(d.db.beginTransaction());
        const QDateTime first(QDate(2024, 1, 1), QTime(0, 0));
        for (int i = 0; i < 130; ++i)
            d.record(QString::number(i), first.addSecs(i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QVERIFY(d.db.commit());
        RecordRows rows;
        QCOMPARE(RecordQuery::run(d.db, {}, rows).rows, 130);
        // An edited card number finds nothing; another spelling of the same time still finds it.
        rows.setText(1, RecordRows::Card, QStringLiteral("edited"));
        rows.setText(2, RecordRows::Time, QStringLiteral(" 2024/1/1 0:2:8 ")); // card 128

        RecordingProgress progress;
        QCOMPARE(RecordDeletion::run(d.db, rows, 1, 120, &progress), 119);
        QCOMPARE(progress.maximum, 120);
        QCOMPARE(progress.values, (QList<int>{0, 50, 100, 120}));
        QCOMPARE(progress.pumps, 2);
        QCOMPARE(rows.rowCount(), 11); // the row whose card was edited stays with its record
        QCOMPARE(rows.text(1, RecordRows::Card), QStringLiteral("edited"));
        QCOMPARE(d.count(), 11); // 129 (edited card) is still stored
        QCOMPARE(d.count(QStringLiteral("卡号 = '129'")), 1);
        QCOMPARE(d.count(QStringLiteral("卡号 = '128'")), 0);
    }

    // A result larger than the list's cache: each deletion's keys come block by block, the
    // rows after it move up, and edits outside it stay on their rows.
    void deletionThroughTheListSpansBlocksAndKeepsEdits()
    {
        RecordDatabase d;
        QVERIFY(d.db.beginTransaction());
        QStringList model; // the cards the list should show, newest first
        for (int i = 0; i < 40; ++i) {
            d.record(QString::number(i), QStringLiteral("2024-05-01 08:%1:00").arg(i, 2, 10, QLatin1Char('0')));
            model.prepend(QString::number(i));
        }
        QVERIFY(d.db.commit());
        RecordList list(4, 2);
        list.setReader([&] { return &d.db; });
        RecordRows table;
        QCOMPARE(list.start(d.db, {}, table).rows, 4);
        while (list.isCounting())
            QVERIFY(list.countPortion(d.db, 0));
        // Records collected after the query stay out of it, though its first block is read again.
        d.record(QStringLiteral("new1"), QStringLiteral("2024-06-01 00:00:00"));
        d.record(QStringLiteral("new2"), QStringLiteral("2024-05-01 08:39:00"));
        QHash<QString, QString> edits{{"38", "above"}, {"20", "inside"}, {"5", "below"}}; // card -> name
        for (auto e = edits.cbegin(); e != edits.cend(); ++e)
            list.setText(model.indexOf(e.key()) + 1, RecordRows::Name, e.value());

        // Across blocks, within one block with rows left on both sides, the first and last rows.
        const struct
        {
            int first, last;
        } deletions[] = {{7, 25}, {10, 9}, {1, 1}, {17, 18}};
        for (const auto& del : deletions) {
            const int first = qMin(del.first, del.last), last = qMax(del.first, del.last);
            QCOMPARE(RecordDeletion::run(d.db, list, del.first, del.last, nullptr), last - first + 1);
            for (int r = first; r <= last; ++r)
                edits.remove(model.takeAt(first - 1));
            QCOMPARE(d.count(QStringLiteral("卡号 NOT LIKE 'new%'")), qint64(model.size()));
            QCOMPARE(list.rowCount(), int(model.size()));
            for (int r = 1; r <= list.rowCount(); ++r) {
                QCOMPARE(list.text(r, RecordRows::Card), model[r - 1]);
                QCOMPARE(list.text(r, RecordRows::Name), edits.value(model[r - 1]));
            }
            QVERIFY(list.cachedBlocks() <= 2);
        }
    }

    // A record that shares card and time with one of an earlier block goes with it; the rows
    // behind it must not move up into a selection that ends there, nor bring in rows of the
    // next block.
    void twinsInALaterBlockLeaveTheRowsBehindThem_data()
    {
        QTest::addColumn<QStringList>("oldestFirst"); // card@minute, in the order stored
        QTest::addColumn<int>("last");                // rows 1..last are deleted
        QTest::addColumn<QStringList>("left");        // the cards left, newest first
        // Newest first: c1 c2 c3 X | c5 X c7 c8 | c9; the selection ends in the twin's block.
        QTest::newRow("selection ends in the twin's block")
            << QStringList{"c9@01", "c8@02", "c7@03", "X@04", "c5@04", "X@04", "c3@05", "c2@06", "c1@07"} << 6
            << QStringList{"c7", "c8", "c9"};
        // Newest first: c1 X Y c4 | X Y c7 c8 | c9 c10 c11; the selection ends in the block after.
        QTest::newRow("two twins, selection ends a block later")
            << QStringList{"c11@01", "c10@02", "c9@03", "c8@04", "c7@05", "Y@06",
                           "X@06",   "c4@06",  "Y@06",  "X@06",  "c1@07"}
            << 9 << QStringList{"c10", "c11"};
    }
    void twinsInALaterBlockLeaveTheRowsBehindThem()
    {
        QFETCH(QStringList, oldestFirst);
        QFETCH(int, last);
        QFETCH(QStringList, left);
        RecordDatabase d;
        QVERIFY(d.db.beginTransaction());
        for (const QString& record : oldestFirst)
            d.record(record.section(u'@', 0, 0), QStringLiteral("2024-05-01 08:%1:00").arg(record.section(u'@', 1)));
        QVERIFY(d.db.commit());
        RecordList list(4, 1);
        list.setReader([&] { return &d.db; });
        RecordRows table;
        list.start(d.db, {}, table);
        while (list.isCounting())
            QVERIFY(list.countPortion(d.db, 0));
        QCOMPARE(RecordDeletion::run(d.db, list, 1, last, nullptr), last);
        QStringList stored;
        d.db.query(QStringLiteral("SELECT 卡号 FROM 进出记录 ORDER BY 进出时间 DESC, ID DESC"), {},
                   [&](const Row& row) {
                       stored << row.text(0);
                       return true;
                   });
        QCOMPARE(stored, left);
        QCOMPARE(listed(list), queried(d.db));
    }

    // Whatever the selection holds, the list afterwards is what a query returns: a twin of a
    // deleted record leaves with it, a record that a deletion missed (an edited time) stays,
    // and no row is empty or lost, in a table held whole, one block or many.
    void listFollowsTheDatabase_data()
    {
        QTest::addColumn<int>("blockRows"); // 0: a table held whole
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("twin");   // the record given a twin (same card and time), or -1
        QTest::addColumn<int>("edited"); // the record whose time is edited in the list, or -1
        QTest::addColumn<int>("before"); // the selection: rows around the twin's or edited row
        QTest::addColumn<int>("after");
        QTest::newRow("table: one of twins") << 0 << 30 << 20 << -1 << 2 << 0;
        QTest::newRow("table: edited time") << 0 << 30 << -1 << 15 << 2 << 2;
        QTest::newRow("one block: one of twins") << 1024 << 30 << 20 << -1 << 0 << 0;
        QTest::newRow("one block: edited time") << 1024 << 30 << -1 << 15 << 0 << 3;
        QTest::newRow("5000 rows: one of twins in the middle") << 64 << 5000 << 2500 << -1 << 100 << 0;
        QTest::newRow("5000 rows: twins across blocks") << 64 << 5000 << 4936 << -1 << 10 << 0;
        QTest::newRow("5000 rows: edited time in the middle") << 64 << 5000 << -1 << 2500 << 30 << 30;
    }
    void listFollowsTheDatabase()
    {
        QFETCH(int, blockRows);
        QFETCH(int, records);
        QFETCH(int, twin);
        QFETCH(int, edited);
        QFETCH(int, before);
        QFETCH(int, after);
        RecordDatabase d;
        QVERIFY(d.db.beginTransaction());
        const QDateTime start(QDate(2024, 1, 1), QTime(0, 0));
        const auto timeOf = [&](int i) { return start.addSecs(i).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); };
        for (int i = 0; i < records; ++i)
            d.record(QStringLiteral("c%1").arg(i), timeOf(i), 1 + i % 3);
        if (twin >= 0)
            d.record(QStringLiteral("c%1").arg(twin), timeOf(twin), 9);
        QVERIFY(d.db.commit());
        RecordRows table;
        RecordList list(qMax(1, blockRows), 4);
        list.setReader([&] { return &d.db; });
        if (blockRows == 0) {
            QCOMPARE(RecordQuery::run(d.db, {}, table).outcome, RecordQuery::Outcome::Done);
            list.showTable(&table);
        } else {
            list.start(d.db, {}, table);
            while (list.isCounting())
                QVERIFY(list.countPortion(d.db, 0));
        }
        const QString anchorCard = QStringLiteral("c%1").arg(twin >= 0 ? twin : edited);
        int anchor = 1;
        while (list.text(anchor, RecordRows::Card) != anchorCard)
            ++anchor;
        if (edited >= 0)
            list.setText(anchor, RecordRows::Time, QStringLiteral("2099-01-01 00:00:00"));

        const qint64 stored = d.count();
        const int deleted = RecordDeletion::run(d.db, list, anchor - before, anchor + after, nullptr);
        QCOMPARE(deleted, int(stored - d.count()));
        QCOMPARE(deleted, before + after + 1 + (twin >= 0 ? 1 : 0) - (edited >= 0 ? 1 : 0));
        QStringList expected = queried(d.db);
        QStringList shown = listed(list);
        if (edited >= 0) { // the edit stays on its record's row
            const int row = int(shown.indexOf(QRegularExpression(QStringLiteral("^2099.*\\|") + anchorCard + u'$')));
            QVERIFY(row >= 0);
            shown[row] = expected.value(row);
            QVERIFY(expected[row].endsWith(u'|' + anchorCard));
        }
        QCOMPARE(shown, expected);
        QVERIFY(!shown.contains(QStringLiteral("|||||||")));
    }

private:
    // Every row of the list and of a fresh query, its eight texts joined.
    static QStringList listed(RecordList& list)
    {
        QStringList out;
        for (int r = 1; r <= list.rowCount(); ++r) {
            QStringList texts;
            for (int c = 1; c <= RecordRows::Columns; ++c)
                texts << list.text(r, c);
            out << texts.join(u'|');
        }
        return out;
    }
    static QStringList queried(Database& db)
    {
        RecordRows rows;
        RecordQuery::run(db, {}, rows);
        RecordList all;
        all.showTable(&rows);
        return listed(all);
    }
};

QTEST_GUILESS_MAIN(RecordDeletionTest)
#include "RecordDeletionTest.moc"
