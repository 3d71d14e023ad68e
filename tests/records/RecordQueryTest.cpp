#include "RecordFixture.h"
#include "records/EntryTime.h"
#include "records/RecordList.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"

#include <QtTest>

using namespace k27;
using test::RecordDatabase;

namespace {

QStringList column(const RecordRows& rows, int col)
{
    QStringList out;
    for (int r = 1; r <= rows.rowCount(); ++r)
        out << rows.text(r, col);
    return out;
}

QStringList row(const RecordRows& rows, int r)
{
    QStringList out;
    for (int c = 1; c <= RecordRows::Columns; ++c)
        out << rows.text(r, c);
    return out;
}

} // namespace

class RecordQueryTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsKeepEveryTextAsSet()
    {
        RecordRows rows;
        rows.append({QStringLiteral("2024-05-01 08:30:05"), QStringLiteral("星期三"), QStringLiteral("张三")});
        rows.append({QStringLiteral("2024/5/1 8:30"),
                     {},
                     QStringLiteral("张三"),
                     {},
                     {},
                     QStringLiteral("0007"),
                     {},
                     QStringLiteral("12"),
                     QStringLiteral("extra")});
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(row(rows, 1), (QStringList{"2024-05-01 08:30:05", "星期三", "张三", "", "", "", "", ""}));
        QCOMPARE(rows.text(2, 1), QStringLiteral("2024/5/1 8:30"));
        QCOMPARE(rows.text(2, 8), QStringLiteral("12"));
        QCOMPARE(rows.text(0, 1), QString());
        QCOMPARE(rows.text(2, 9), QString());

        // An edit of one cell changes that cell only, even where texts were shared.
        rows.setText(1, 3, QStringLiteral("李四"));
        rows.setText(2, 1, QStringLiteral("9999-99-99 99:99:99"));
        rows.setText(3, 1, QStringLiteral("ignored"));
        QCOMPARE(rows.text(1, 3), QStringLiteral("李四"));
        QCOMPARE(rows.text(2, 3), QStringLiteral("张三"));
        QCOMPARE(rows.text(2, 1), QStringLiteral("9999-99-99 99:99:99"));
        rows.setText(1, 1, QString());
        QCOMPARE(rows.text(1, 1), QString());
        // Column by column, in rows that share every text (names, terminals and their
        // addresses are kept in groups).
        const QStringList full{"2024-05-01 08:30:05", "星期三", "张三", "财务部", "住址", "0007", "大门", "12"};
        RecordRows twins;
        twins.append(full);
        twins.append(full);
        QStringList edited = full;
        for (int c = 1; c <= RecordRows::Columns; ++c) {
            edited[c - 1] = QStringLiteral("edit %1").arg(c);
            twins.setText(1, c, edited[c - 1]);
            QCOMPARE(row(twins, 1), edited);
            QCOMPARE(row(twins, 2), full);
        }

        rows.append({QStringLiteral("third")});
        rows.removeRows(1, 2);
        QCOMPARE(rows.rowCount(), 1);
        QCOMPARE(rows.text(1, 1), QStringLiteral("third"));
        rows.removeRows(0, 5);
        QCOMPARE(rows.rowCount(), 0);
        rows.append({QStringLiteral("x")});
        rows.clear();
        QCOMPARE(rows.rowCount(), 0);
    }

    void everyRecordNewestFirstWithHolderAndTerminal()
    {
        RecordDatabase d;
        d.holder(QStringLiteral("00012345"), QStringLiteral("张三"), QStringLiteral("财务部"),
                 QStringLiteral("一号楼"));
        d.terminal(5, QStringLiteral("东门"));
        d.record(QStringLiteral("00012345"), QStringLiteral("2024-05-01 08:00:00"), 5, QStringLiteral("星期三"));
        d.record(QStringLiteral("99999999"), QStringLiteral("2024-05-02 09:00:00"), 12345, QStringLiteral("星期四"));
        QVERIFY(d.db.exec(
            QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间) VALUES ('00012345', '2024-04-30 07:00:00')")));

        RecordRows rows;
        const auto result = RecordQuery::run(d.db, {}, rows);
        QCOMPARE(result.outcome, RecordQuery::Outcome::Done);
        QCOMPARE(result.rows, 3);
        // Unknown card: empty holder cells; unregistered terminal: empty address.
        QCOMPARE(row(rows, 1), (QStringList{"2024-05-02 09:00:00", "星期四", "", "", "", "12345", "", "99999999"}));
        QCOMPARE(row(rows, 2), (QStringList{"2024-05-01 08:00:00", "星期三", "张三", "财务部", "一号楼", "0005", "东门",
                                            "00012345"}));
        // Nulls become empty texts.
        QCOMPARE(row(rows, 3),
                 (QStringList{"2024-04-30 07:00:00", "", "张三", "财务部", "一号楼", "", "", "00012345"}));

        // No match: the rows are emptied and the page reports it.
        RecordFilter none;
        none.card = QStringLiteral("777");
        QCOMPARE(RecordQuery::run(d.db, none, rows).rows, 0);
        QCOMPARE(rows.rowCount(), 0);
    }

    void cardFilterFindsThePartAnywhereLiterally()
    {
        RecordDatabase d;
        for (const char* card : {"1200", "0123", "9912", "1020", "1%2", "1_2", "152", "O'1"})
            d.record(QString::fromUtf8(card), QStringLiteral("2024-05-01 08:00:00"));
        RecordRows rows;
        auto cards = [&](const QString& text) {
            RecordFilter f;
            f.card = text;
            RecordQuery::run(d.db, f, rows);
            QStringList found = column(rows, RecordRows::Card);
            found.sort();
            return found;
        };
        QCOMPARE(cards(QStringLiteral("12")), (QStringList{"0123", "1200", "9912"}));
        QCOMPARE(cards(QStringLiteral("  12\u0000 34")), (QStringList{"0123", "1200", "9912"}));
        // "%" and "_" match themselves, not any text; an apostrophe is just a character.
        QCOMPARE(cards(QStringLiteral("%")), (QStringList{"1%2"}));
        QCOMPARE(cards(QStringLiteral("1_")), (QStringList{"1_2"}));
        QCOMPARE(cards(QStringLiteral("'")), (QStringList{"O'1"}));
        QCOMPARE(cards(QStringLiteral("o'")), (QStringList{"O'1"}));
        QCOMPARE(cards(QString()).size(), 8);
    }

    void timeSpanIncludesBothEndsExactly()
    {
        RecordDatabase d;
        d.record(QStringLiteral("1"), QStringLiteral("2024-04-30 23:59:59"));
        d.record(QStringLiteral("2"), QStringLiteral("2024-05-01 00:00:00"));
        d.record(QStringLiteral("3"), QStringLiteral("2024-05-01 00:00:01"));
        d.record(QStringLiteral("4"), QStringLiteral("2024-05-02 00:00:00"));
        RecordRows rows;
        RecordFilter f;
        f.timeSpan = true;
        const QDateTime midnight(QDate(2024, 5, 1), QTime(0, 0));
        f.start = f.end = midnight;
        RecordQuery::run(d.db, f, rows);
        QCOMPARE(column(rows, RecordRows::Card), QStringList{"2"});

        f.end = QDateTime(QDate(2024, 5, 2), QTime(0, 0));
        RecordQuery::run(d.db, f, rows);
        QCOMPARE(column(rows, RecordRows::Card), (QStringList{"4", "3", "2"}));

        // The span is only applied while its box is ticked.
        f.timeSpan = false;
        QCOMPARE(RecordQuery::run(d.db, f, rows).rows, 4);
    }

    void nameDepartmentAndTerminalFilters()
    {
        RecordDatabase d;
        d.holder(QStringLiteral("100"), QStringLiteral("O'Brien"), QStringLiteral("研发部"));
        d.holder(QStringLiteral("200"), QStringLiteral("王五"), QStringLiteral("100% 销售"));
        d.holder(QStringLiteral("300"), QString(), QString());
        d.record(QStringLiteral("100"), QStringLiteral("2024-05-01 08:00:00"), 7);
        d.record(QStringLiteral("200"), QStringLiteral("2024-05-01 09:00:00"), 7);
        d.record(QStringLiteral("300"), QStringLiteral("2024-05-01 10:00:00"), 7);
        d.record(QStringLiteral("400"), QStringLiteral("2024-05-01 11:00:00"), 8); // no holder

        RecordRows rows;
        auto cards = [&](const RecordFilter& f) {
            RecordQuery::run(d.db, f, rows);
            return column(rows, RecordRows::Card);
        };
        RecordFilter f;
        f.name = QStringLiteral("'bri");
        QCOMPARE(cards(f), QStringList{"100"});
        f = {};
        f.department = QStringLiteral("0%");
        QCOMPARE(cards(f), QStringList{"200"});
        f.department = QStringLiteral("部");
        QCOMPARE(cards(f), QStringList{"100"});
        f.department = QStringLiteral(" "); // blanks only: no filter
        QCOMPARE(cards(f).size(), 4);

        // Terminal compared as a number and shown with four digits.
        f = {};
        f.terminal = QStringLiteral("7");
        QCOMPARE(cards(f), (QStringList{"300", "200", "100"}));
        QCOMPARE(rows.text(1, RecordRows::Terminal), QStringLiteral("0007"));
        f.terminal = QStringLiteral("007");
        QCOMPARE(cards(f).size(), 3);
        f.terminal = QStringLiteral("8");
        QCOMPARE(cards(f), QStringList{"400"});
        f.terminal = QStringLiteral("abc");
        QCOMPARE(cards(f), QStringList{});

        // All tests together.
        f = {};
        f.card = QStringLiteral("0");
        f.name = QStringLiteral("王");
        f.terminal = QStringLiteral("7");
        QCOMPARE(cards(f), QStringList{"200"});
    }

    void recentModeTakesTheNewestIgnoringTheFilters()
    {
        RecordDatabase d;
        QVERIFY(d.db.beginTransaction());
        const QDateTime first(QDate(2024, 1, 1), QTime(0, 0));
        for (int i = 0; i < 120; ++i)
            d.record(QString::number(i), first.addSecs(i * 60).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QVERIFY(d.db.commit());

        RecordRows rows;
        RecordFilter f;
        f.recent = true;
        f.recentText = QStringLiteral("50");
        f.card = QStringLiteral("no such card");
        f.timeSpan = true; // ignored too
        QCOMPARE(RecordQuery::run(d.db, f, rows).rows, 50);
        QCOMPARE(rows.text(1, RecordRows::Card), QStringLiteral("119"));
        QCOMPARE(rows.text(50, RecordRows::Card), QStringLiteral("70"));

        // N = 0: nothing happens, the rows stay as they were.
        for (const char* text : {"", "abc", "0", "0.4", "-0.5"}) {
            f.recentText = QString::fromUtf8(text);
            QCOMPARE(RecordQuery::run(d.db, f, rows).outcome, RecordQuery::Outcome::NotRun);
            QCOMPARE(rows.rowCount(), 50);
        }
        QCOMPARE(RecordQuery::recentCount(QStringLiteral("2.5")), 2);
        QCOMPARE(RecordQuery::recentCount(QStringLiteral("3.5")), 4);
        QCOMPARE(RecordQuery::recentCount(QStringLiteral(" -7条")), 7);
        f.recentText = QStringLiteral("1000");
        QCOMPARE(RecordQuery::run(d.db, f, rows).rows, 120);
    }

    // The card list and the reading in portions are ways of getting the rows faster: every
    // filter must give exactly the rows, in the order, of one plain statement over the records.
    // The cards held twice, kept by triggers, stay what grouping every holder gives, through
    // adds, card changes and deletions (the empty card too).
    void repeatedHolderCardsFollowTheHolders()
    {
        RecordDatabase d;
        d.holder(QStringLiteral("A1"), QStringLiteral("甲"));
        RecordQuery::ensureIndexes(d.db); // an older file: the list is made from what it holds
        const auto kept = [&] {
            QStringList cards;
            d.db.query(QStringLiteral("SELECT 卡号 FROM 用户信息_重复卡号 ORDER BY 卡号"), {}, [&](const Row& r) {
                cards << r.text(0);
                return true;
            });
            return cards;
        };
        const auto grouped = [&] {
            QStringList cards;
            d.db.query(QStringLiteral("SELECT 卡号 FROM 用户信息 WHERE 卡号 IS NOT NULL GROUP BY 卡号"
                                      " HAVING count(*) > 1 ORDER BY 卡号"),
                       {}, [&](const Row& r) {
                           cards << r.text(0);
                           return true;
                       });
            return cards;
        };
        const char* steps[] = {
            "INSERT INTO 用户信息 (卡号, 姓名) VALUES ('A1', '乙')",
            "INSERT INTO 用户信息 (卡号, 姓名) VALUES ('', '丙'), ('', '丁'), (NULL, '戊'), (NULL, '己')",
            "INSERT INTO 用户信息 (卡号, 姓名) VALUES ('B2', '庚')",
            "UPDATE 用户信息 SET 卡号 = 'B2' WHERE 姓名 = '乙'",
            "UPDATE 用户信息 SET 卡号 = NULL WHERE 姓名 = '丙'",
            "DELETE FROM 用户信息 WHERE 姓名 = '庚'",
            "UPDATE 用户信息 SET 卡号 = 'A1' WHERE 卡号 IS NULL",
            "DELETE FROM 用户信息 WHERE 卡号 = 'A1' AND 姓名 <> '甲'",
            "DELETE FROM 用户信息",
        };
        for (const char* sql : steps) {
            QVERIFY2(d.db.exec(QString::fromUtf8(sql)), sql);
            QCOMPARE(kept(), grouped());
        }
    }

    void fastPathsGiveThePlainStatementsRows()
    {
        RecordDatabase d;
        d.holder(QStringLiteral("A12"), QStringLiteral("张三"), QStringLiteral("财务部"));
        d.holder(QStringLiteral("A12"), QStringLiteral("李四"), QStringLiteral("财务部")); // a shared card
        d.holder(QStringLiteral("b7"), QStringLiteral("王五"), QStringLiteral("工程部"));
        d.record(QStringLiteral("gone"), QStringLiteral("2024-05-01 00:00:00"));
        QVERIFY(d.db.exec(QStringLiteral("DELETE FROM 进出记录"))); // its card stays listed
        // The list of an older file is built once, from the records it holds by then (a server's
        // register has had it from the start).
        if (!test::onServer()) {
            QVERIFY(d.db.exec(QStringLiteral("DROP TABLE 进出记录_卡号")));
            QVERIFY(d.db.exec(QStringLiteral("DROP TRIGGER 进出记录_新卡号")));
            QVERIFY(d.db.exec(QStringLiteral("DROP TRIGGER 进出记录_改卡号")));
        }
        const char* cards[] = {"A12", "a12", "b7", "x12", "B77", "A12"};
        for (int i = 0; i < 30; ++i)
            d.record(QString::fromLatin1(cards[i % 6]),
                     QStringLiteral("2024-05-%1 08:00:00").arg(1 + i / 4, 2, 10, QLatin1Char('0')), 1 + i % 3);
        // A busy minute, one record a second: read in windows of a few seconds, whose bounds
        // then fall on records.
        for (int i = 0; i < 40; ++i)
            d.record(QString::fromLatin1(cards[i % 5]),
                     QStringLiteral("2024-05-09 08:00:%1").arg(i, 2, 10, QLatin1Char('0')), 1 + i % 2);
        QVERIFY(
            d.db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 终端机号) VALUES ('A12', 2), ('b7', 1), (NULL, 1)")));
        QVERIFY(
            d.db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间) VALUES (NULL, '2024-05-02 08:00:00')")));
        RecordRows rows;
        QCOMPARE(RecordQuery::run(d.db, {}, rows).outcome, RecordQuery::Outcome::Done);
        // Cards added or changed later reach the list through its triggers.
        d.record(QStringLiteral("new12"), QStringLiteral("2024-05-03 08:00:00"), 3);
        QVERIFY(d.db.exec(QStringLiteral("UPDATE 进出记录 SET 卡号 = 'chg12' WHERE ID = 7")));

        const auto plain = [&](const RecordFilter& f) {
            QString sql = QStringLiteral("SELECT r.进出时间, r.星期, u.姓名, u.部门, r.卡号, r.终端机号 FROM 进出记录 r"
                                         " LEFT JOIN 用户信息 u ON u.卡号 = r.卡号 WHERE r.卡号 LIKE ?");
            QVariantList params{u'%' + f.card + u'%'};
            if (f.timeSpan) {
                sql += QStringLiteral(" AND r.进出时间 BETWEEN ? AND ?");
                params << f.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                       << f.end.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            }
            if (!f.name.isEmpty()) {
                sql += QStringLiteral(" AND u.姓名 LIKE ?");
                params << u'%' + f.name + u'%';
            }
            if (!f.terminal.isEmpty()) {
                sql += QStringLiteral(" AND r.终端机号 = ?");
                params << f.terminal.toInt();
            }
            QStringList out;
            d.db.query(sql + QStringLiteral(" ORDER BY r.进出时间 DESC, r.ID DESC, u.ID"), params, [&](const Row& r) {
                out << QStringList{r.text(0), r.text(2), r.text(4), r.text(5).rightJustified(r.isNull(5) ? 0 : 4, u'0')}
                           .join(u'|');
                return true;
            });
            return out;
        };
        const auto shown = [&] {
            QStringList out;
            for (int r = 1; r <= rows.rowCount(); ++r)
                out << QStringList{rows.text(r, RecordRows::Time), rows.text(r, RecordRows::Name),
                                   rows.text(r, RecordRows::Card), rows.text(r, RecordRows::Terminal)}
                           .join(u'|');
            return out;
        };
        // Spans: none, four days, part of the busy minute.
        const QDateTime from[] = {
            {}, QDateTime(QDate(2024, 5, 2), QTime(8, 0)), QDateTime(QDate(2024, 5, 9), QTime(8, 0, 5))};
        const QDateTime to[] = {
            {}, QDateTime(QDate(2024, 5, 5), QTime(8, 0)), QDateTime(QDate(2024, 5, 9), QTime(8, 0, 30))};
        const struct
        {
            const char* card;
            const char* name;
            const char* terminal;
            int span;
            int expected;
        } cases[] = {
            {"", "", "", 0, 91},   {"12", "", "", 0, 64}, {"A", "", "", 0, 49},  {"b7", "", "", 0, 27},
            {"", "", "", 1, 22},   {"12", "", "2", 1, 3}, {"", "李", "", 0, 18}, {"gone", "", "", 0, 0},
            {"new", "", "", 0, 1}, {"chg", "", "", 0, 1}, {"12", "", "", 2, 22}, {"7", "", "", 2, 10},
        };
        // The list over blocks of three rows and a cache of two, the first block of three or of
        // one: every row in its place, read out of order so blocks are dropped and read again.
        const auto listMatches = [&](const RecordFilter& f, QStringList expected, int firstRows) {
            RecordList list(3, 2, firstRows);
            list.setReader([&] { return &d.db; });
            RecordRows table;
            QCOMPARE(list.start(d.db, f, table).outcome, RecordQuery::Outcome::Done);
            while (list.isCounting())
                QVERIFY(list.countPortion(d.db, 0));
            QCOMPARE(list.rowCount(), int(expected.size()));
            QStringList fromList(expected.size());
            const auto readRow = [&](int i) {
                fromList[i - 1] = QStringList{list.text(i, RecordRows::Time), list.text(i, RecordRows::Name),
                                              list.text(i, RecordRows::Card), list.text(i, RecordRows::Terminal)}
                                      .join(u'|');
            };
            const int n = list.rowCount();
            for (int i = n; i >= 1; i -= 2)
                readRow(i);
            for (int i = n % 2 + 1; i <= n; i += 2)
                readRow(i);
            if (test::onServer()) {
                fromList.sort();
                expected.sort();
            }
            QCOMPARE(fromList, expected);
            QVERIFY(list.cachedBlocks() <= 2);
        };
        const auto filterOf = [&](const auto& c) {
            RecordFilter f;
            f.card = QString::fromUtf8(c.card);
            f.name = QString::fromUtf8(c.name);
            f.terminal = QString::fromUtf8(c.terminal);
            f.timeSpan = c.span != 0;
            f.start = from[c.span];
            f.end = to[c.span];
            return f;
        };
        for (const auto& c : cases) {
            const RecordFilter f = filterOf(c);
            const QStringList expected = plain(f);
            QCOMPARE(expected.size(), c.expected);
            QCOMPARE(RecordQuery::run(d.db, f, rows).rows, int(expected.size()));
            // The server orders the holders of one shared card as it finds them.
            const auto tieFree = [](QStringList l) {
                if (test::onServer())
                    l.sort();
                return l;
            };
            QCOMPARE(tieFree(shown()), tieFree(expected));
            // A screen at a time: the portions join up to the same rows, whichever index a
            // card filter's time windows are read through.
            // The matching cards named in the statements or tested in the list each time.
            using Way = RecordCursor::CardReading;
            for (const auto& [way, few] :
                 {std::pair{Way::Cheapest, RecordCursor::FewCards}, std::pair{Way::Cheapest, 0},
                  std::pair{Way::CardIndex, RecordCursor::FewCards}, std::pair{Way::CardIndex, 0},
                  std::pair{Way::TimeIndex, 2}}) {
                for (int portion : {1, 2, 5}) {
                    RecordCursor rest;
                    rest.setCardReading(way);
                    rest.setFewCards(few);
                    RecordQuery::run(d.db, f, rows, &rest, portion);
                    while (!rest.atEnd())
                        QVERIFY(rest.fetch(d.db, rows, portion) >= 0);
                    QCOMPARE(tieFree(shown()), tieFree(expected));
                }
            }
            listMatches(f, expected, 3);
            listMatches(f, expected, 1);
        }
        // No card listed twice: the list counts without the joins.
        QVERIFY(d.db.exec(QStringLiteral("DELETE FROM 用户信息 WHERE 姓名 = '李四'")));
        for (const auto& c : cases)
            listMatches(filterOf(c), plain(filterOf(c)), 1);
    }

    // The scroll bar covers about the whole result from the first block on: the size is
    // estimated from the entry times counted, rows not counted yet read empty, and once
    // counted the size is exact.
    void scrollExtentCoversTheResultFromTheFirstBlock()
    {
        RecordDatabase d;
        QVERIFY(d.db.beginTransaction());
        for (int i = 0; i < 1000; ++i)
            d.record(
                i % 4 ? QStringLiteral("A") : QStringLiteral("B"),
                QDateTime(QDate(2024, 5, 1), QTime(0, 0)).addSecs(60 * i).toString(QLatin1String(EntryTimeFormat)));
        QVERIFY(d.db.commit());
        RecordFilter all, cardB, span;
        cardB.card = QStringLiteral("B");
        span.timeSpan = true;
        span.start = QDateTime(QDate(2024, 5, 1), QTime(10, 0));
        span.end = QDateTime(QDate(2024, 5, 1), QTime(13, 19));
        const std::pair<RecordFilter, int> cases[] = {{all, 1000}, {cardB, 250}, {span, 200}};
        for (const auto& [filter, expected] : cases) {
            RecordList list(20, 2);
            list.setReader([&] { return &d.db; });
            RecordRows table;
            list.start(d.db, filter, table);
            QVERIFY(list.isCounting());
            QVERIFY2(qAbs(list.expectedRows() - expected) <= expected / 10,
                     qPrintable(QString::number(list.expectedRows())));
            QVERIFY(list.text(list.rowCount() + 1, RecordRows::Time).isEmpty());
            while (list.isCounting())
                QVERIFY(list.countPortion(d.db, 0));
            QCOMPARE(list.expectedRows(), expected);
        }
    }

    // A card filter whose first window of time holds none of its records: its first block is
    // still read again from its own first record, so one stored later stays out.
    void cardFilterFirstBlockStaysPutAfterAnEmptyWindow()
    {
        RecordDatabase d;
        QVERIFY(d.db.beginTransaction());
        for (int i = 0; i < 100; ++i)
            d.record(QStringLiteral("A"), QStringLiteral("2024-05-01 08:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')));
        for (int i = 0; i < 5; ++i)
            d.record(QStringLiteral("B"), QStringLiteral("2024-04-01 00:0%1:00").arg(i));
        QVERIFY(d.db.commit());
        RecordList list(4, 1);
        list.setReader([&] { return &d.db; });
        RecordRows table;
        RecordFilter filter;
        filter.card = QStringLiteral("B");
        QCOMPARE(list.start(d.db, filter, table).rows, 4);
        d.record(QStringLiteral("B"), QStringLiteral("2024-06-01 00:00:00"));
        while (list.isCounting())
            QVERIFY(list.countPortion(d.db, 0));
        QCOMPARE(list.rowCount(), 5);
        QCOMPARE(list.text(5, RecordRows::Time),
                 QStringLiteral("2024-04-01 00:00:00")); // the first block leaves the cache
        QCOMPARE(list.text(1, RecordRows::Time), QStringLiteral("2024-04-01 00:04:00"));
    }

    void olderDatabasesGainTheIndexesAndRefusalsLeaveNoRows()
    {
        if (test::onServer())
            QSKIP("older files only");
        RecordDatabase d;
        QVERIFY(d.db.exec(QStringLiteral("DROP INDEX 进出记录_卡号时间")));
        QVERIFY(d.db.exec(QStringLiteral("DROP INDEX 进出记录_时间")));
        QVERIFY(d.db.exec(QStringLiteral("DROP INDEX 用户信息_卡号")));
        RecordRows rows;
        QCOMPARE(RecordQuery::run(d.db, {}, rows).outcome, RecordQuery::Outcome::Done);
        const auto indexes = [&] {
            QStringList names;
            d.db.query(
                QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name"),
                {}, [&](const Row& r) {
                    names << r.text(0);
                    return true;
                });
            return names;
        };
        QVERIFY(indexes().contains(QStringLiteral("进出记录_卡号时间")));
        QVERIFY(indexes().contains(QStringLiteral("进出记录_时间")));
        QVERIFY(indexes().contains(QStringLiteral("用户信息_卡号")));

        // Without the record table the query fails cleanly.
        d.record(QStringLiteral("1"), QStringLiteral("2024-05-01 00:00:00"));
        QCOMPARE(RecordQuery::run(d.db, {}, rows).rows, 1);
        QVERIFY(d.db.exec(QStringLiteral("DROP TABLE 进出记录")));
        QCOMPARE(RecordQuery::run(d.db, {}, rows).outcome, RecordQuery::Outcome::Failed);
        QCOMPARE(rows.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(RecordQueryTest)
#include "RecordQueryTest.moc"
