// The records page's pictures at a large site's size, each beside the record list's own work
// for the same filter:
//   k27-bench-pictures [RECORDS]   (default 1,000,000; the register of k27-bench-speed in /tmp,
//                                   made here the same way when it is missing)
//   k27-bench-pictures RECORDS --prepare   makes that register only (outside the build lock)
//   k27-bench-pictures RECORDS --last      "last seen" only
// The pictures run on a copy of it (k27-pictures-RECORDS.kvd), as they add the day counts and the
// newest records to the file they open, and the speed bench's register stays as that bench made it.
// "chart" is the activity chart's counts; "grid" is the record list's first screen and its
// whole count to the full scroll extent. "last seen" is beside the plain newest record per card
// (through the card-and-time index) and the newest time per card grouped, over everything and
// within spans.
#include "db/Database.h"
#include "db/RecordDayCounts.h"
#include "db/RecordNewest.h"
#include "db/Schema.h"
#include "records/RecordCounts.h"
#include "records/RecordLastSeen.h"
#include "records/RecordList.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"
#include "LargeSite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace k27;

namespace {

constexpr int Cardholders = 100000;
constexpr int Terminals = 368;
constexpr int Cards = 120000;

double ms(const std::function<void()>& work, int runs = 1)
{
    QList<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        t << timer.nsecsElapsed() / 1e6;
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

bool build(const QString& path, int records)
{
    Database db;
    if (!db.create(path) || !createProgramTables(db) || !EnsureRecordTable(db))
        return false;
    db.beginTransaction();
    bench::seedLargeSite(db, Cardholders, Terminals, Cards, records);
    return db.commit();
}

RecordFilter span(const QDate& first, const QDate& last)
{
    RecordFilter f;
    f.timeSpan = true;
    f.start = QDateTime(first, QTime(0, 0));
    f.end = QDateTime(last, QTime(23, 59, 59));
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const QString path = QStringLiteral("/tmp/k27-speed-%1.kvd").arg(records);
    std::printf("%d records, %d cardholders, %d terminals: %s\n", records, Cardholders, Terminals, qPrintable(path));
    if (!QFile::exists(path) && !build(path, records)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(path));
        QFile::remove(path);
        return 1;
    }
    const QString copy = QStringLiteral("/tmp/k27-pictures-%1.kvd").arg(records);
    if (!QFile::exists(copy) && !QFile::copy(path, copy)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", qPrintable(path), qPrintable(copy));
        return 1;
    }
    if (argc > 2 && QByteArray(argv[2]) == "--prepare")
        return 0;
    Database db;
    if (!db.open(copy))
        return 1;
    const double indexes = ms([&] { RecordQuery::ensureIndexes(db); });
    const double days = ms([&] { dayCounts::ensure(db); });
    const double newest = ms([&] { newestRecords::ensure(db); });
    std::printf("indexes made in %.1f ms, day counts in %.1f ms, newest records in %.1f ms (once per file)\n", indexes,
                days, newest);

    RecordFilter terminal = span(QDate(2020, 2, 1), QDate(2020, 2, 29));
    terminal.terminal = QStringLiteral("7");
    RecordFilter card;
    card.card = QStringLiteral("1234");
    const struct
    {
        const char* what;
        RecordFilter filter;
        const char* goal;
        int runs;
    } cases[] = {
        {"one day", span(QDate(2020, 1, 15), QDate(2020, 1, 15)), "< 200 ms", 3},
        {"a month", span(QDate(2020, 2, 1), QDate(2020, 2, 29)), "< 200 ms", 3},
        {"a month, one terminal", terminal, "< 200 ms", 3},
        {"card contains 1234, whole table", card, "< 1 s", 1},
        {"whole table", RecordFilter(), "< 1 s, else progress", 1},
    };
    RecordList list;
    list.setReader([&] { return &db; });
    RecordRows table;
    const bool lastOnly = argc > 2 && QByteArray(argv[2]) == "--last";
    for (const auto& c : cases) {
        if (lastOnly)
            break;
        RecordCounts counts;
        int slices = 0;
        const double chart = ms(
            [&] {
                slices = 0;
                RecordCounts::count(db, c.filter, counts, [&](int) { return ++slices; });
            },
            c.runs);
        const double first = ms([&] { list.start(db, c.filter, table); }, c.runs);
        const double whole = ms([&] {
            list.start(db, c.filter, table);
            while (list.isCounting())
                list.countPortion(db, 1000);
        });
        std::printf("chart %-34s %9.1f ms  (%lld entries, %d slices)   grid first screen %8.1f ms, whole count %9.1f ms"
                    "   goal %s\n",
                    c.what, chart, counts.total, slices - 1, first, whole, c.goal);
        std::fflush(stdout);
    }

    QList<RecordLastSeen::Row> rows;
    const double last = ms([&] { RecordLastSeen::run(db, {}, rows); }, 3);
    // The plain way beside it: each card's newest record (time and terminal) through the card-and-
    // time index, one step per card of the card list; and the newest time per card over the index.
    qint64 cards = 0;
    const auto counted = [&](const Row&) {
        ++cards;
        return true;
    };
    const double plain = ms([&] {
        cards = 0;
        db.query(QStringLiteral("SELECT c.卡号, r.进出时间, r.终端机号 FROM 进出记录_卡号 c JOIN 进出记录 r ON r.ID ="
                                " (SELECT ID FROM 进出记录 WHERE 卡号 = c.卡号 AND 进出时间 IS NOT NULL"
                                " ORDER BY 进出时间 DESC, ID DESC LIMIT 1)"),
                 {}, counted);
    });
    const double grouped = ms([&] {
        cards = 0;
        db.query(QStringLiteral("SELECT 卡号, max(进出时间) FROM 进出记录 GROUP BY 卡号"), {}, counted);
    });
    std::printf("last seen, every holder (%lld rows)          %9.1f ms   plain newest record per card (%lld) %9.1f ms,"
                " newest time per card grouped %9.1f ms   goal < 1 s\n",
                qint64(rows.size()), last, cards, plain, grouped);
    // With a span (and a terminal): beside the same two plain readings limited to them; the
    // grouped one reads every record of the span, so only where the span is short.
    RecordFilter monthAtTerminal = span(QDate(2020, 2, 1), QDate(2020, 2, 29));
    monthAtTerminal.terminal = QStringLiteral("7");
    const struct
    {
        const char* what;
        RecordFilter filter;
        bool grouped;
    } spans[] = {
        {"a month", span(QDate(2020, 2, 1), QDate(2020, 2, 29)), true},
        {"a month, one terminal", monthAtTerminal, true},
        {"one day", span(QDate(2020, 1, 15), QDate(2020, 1, 15)), true},
        {"ten months", span(QDate(2020, 1, 1), QDate(2020, 10, 31)), false},
        {"up to today", span(QDate(2020, 1, 1), QDate(2030, 12, 31)), false},
    };
    for (const auto& c : spans) {
        const double seen = ms([&] { RecordLastSeen::run(db, c.filter, rows); }, 3);
        QString test = QStringLiteral(" 进出时间 >= ? AND 进出时间 <= ?");
        QVariantList params{c.filter.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            c.filter.end.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))};
        if (!c.filter.terminal.isEmpty()) {
            test += QStringLiteral(" AND 终端机号 = ?");
            params << c.filter.terminal.toInt();
        }
        const double perCard = ms([&] {
            cards = 0;
            db.query(
                QStringLiteral("SELECT c.卡号, r.进出时间, r.终端机号 FROM 进出记录_卡号 c JOIN 进出记录 r ON r.ID ="
                               " (SELECT ID FROM 进出记录 WHERE 卡号 = c.卡号 AND")
                    + test + QStringLiteral(" ORDER BY 进出时间 DESC, ID DESC LIMIT 1)"),
                params, counted);
        });
        const qint64 perCardRows = cards;
        QString groupedText = QStringLiteral("(not run)");
        if (c.grouped) {
            const double t = ms([&] {
                db.query(QStringLiteral("SELECT 卡号, max(进出时间) FROM 进出记录 WHERE") + test
                             + QStringLiteral(" GROUP BY 卡号"),
                         params, counted);
            });
            groupedText = QString::asprintf("%9.1f ms", t);
        }
        std::printf("last seen, %-22s (%6lld rows) %9.1f ms   plain newest record per card (%lld) %9.1f ms,"
                    " newest time per card grouped %s   goal < 1 s\n",
                    c.what, qint64(rows.size()), seen, perCardRows, perCard, qPrintable(groupedText));
        std::fflush(stdout);
    }
    return 0;
}
