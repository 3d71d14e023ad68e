// The record figures at a large site's size, each beside its reference and its goal:
//   k27-bench-speed [RECORDS]   (default 1,000,000; the database is made once in /tmp and reused)
// "plain" is the statement the program ran before: a scan of every record through the
// SQLCipher C API, run in the same process on the same file. Figures are medians of three.
#include "db/Database.h"
#include "db/Schema.h"
#include "records/RecordImport.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlcipher/sqlite3.h>

using namespace k27;

namespace {

constexpr int Cardholders = 100000;
constexpr int Terminals = 368;
constexpr int Cards = 120000;   // cards seen by the terminals; some belong to nobody

double medianMs(const std::function<void()>& work)
{
    double t[3];
    for (double& v : t) {
        QElapsedTimer timer;
        timer.start();
        work();
        v = timer.nsecsElapsed() / 1e6;
    }
    std::sort(t, t + 3);
    return t[1];
}

void line(const char* what, double ms, const char* reference, double refMs, const char* goal)
{
    if (refMs > 0)
        std::printf("%-40s %9.1f ms   %-22s %9.1f ms  ratio %6.2f   goal %s\n", what, ms, reference, refMs, ms / refMs, goal);
    else
        std::printf("%-40s %9.1f ms   %-22s %12s  %14s   goal %s\n", what, ms, reference, "", "", goal);
    std::fflush(stdout);
}

long long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& l : status.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The statement through the C API, every row stepped and its texts read.
qint64 plain(Database& db, const char* sql, const QByteArray& pattern = {})
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &st, nullptr) != SQLITE_OK)
        return -1;
    if (!pattern.isNull())
        sqlite3_bind_text(st, 1, pattern.constData(), pattern.size(), SQLITE_TRANSIENT);
    qint64 n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            sqlite3_column_text(st, c);
        ++n;
    }
    sqlite3_finalize(st);
    return n;
}

const char* PlainSelect =
    "SELECT r.进出时间, r.星期, u.姓名, u.部门, u.住址, r.终端机号, t.地址, r.卡号 FROM 进出记录 r"
    " LEFT JOIN 用户信息 u ON u.卡号 = r.卡号 LEFT JOIN 终端机 t ON t.终端机号 = r.终端机号";

bool build(const QString& path, int records)
{
    Database db;
    if (!db.create(path) || !createProgramTables(db))
        return false;
    QElapsedTimer timer;
    timer.start();
    db.beginTransaction();
    // The record table as an older file has it: no indexes, no card list.
    db.exec(QStringLiteral("CREATE TABLE 进出记录 (ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                           " 卡号 VARCHAR(15), 进出时间 DATETIME, 终端机号 INT, 星期 VARCHAR(10))"));
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号)"
                           " SELECT '职员' || i, '男', '部门' || (i % 40), '职员', '住址' || (i % 300), '138' || i,"
                           " printf('%010d', i) FROM n"),
            {Cardholders});
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 终端机 (终端机号, 地址) SELECT i, '大门' || i FROM n"),
            {Terminals});
    // One record every 3 seconds from 2020 on, cards and terminals spread.
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期)"
                           " SELECT printf('%010d', 1 + (i * 7919) % ?),"
                           "        strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || (i * 3) || ' seconds'),"
                           "        1 + i % ?, '星期' || (i % 7) FROM n"),
            {records, Cards, Terminals});
    const bool ok = db.commit();
    std::printf("%-40s %9.1f s\n", "made the test database", timer.elapsed() / 1000.0);
    timer.restart();
    EnsureRecordTable(db);
    RecordQuery::ensureIndexes(db);
    std::printf("%-40s %9.1f s   (once per older file)\n", "indexes and card list of an older file", timer.elapsed() / 1000.0);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    const QString path = QStringLiteral("/tmp/k27-speed-%1.kvd").arg(records);
    std::printf("%d records, %d cardholders, %d terminals, %d cards: %s\n", records, Cardholders, Terminals, Cards,
                qPrintable(path));
    if (!QFile::exists(path) && !build(path, records)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(path));
        QFile::remove(path);
        return 1;
    }
    Database db;
    const double openMs = medianMs([&] { db.close(); db.open(path); });
    line("a database open (key derivation)", openMs, "", 0, "once per run");
    RecordQuery::ensureIndexes(db);

    RecordRows rows;
    RecordFilter recent;
    recent.recent = true;
    recent.recentText = QStringLiteral("200");
    line("newest 200 (the page's open connection)", medianMs([&] { RecordQuery::run(db, recent, rows); }), "with an open",
         openMs + medianMs([&] { RecordQuery::run(db, recent, rows); }), "< 20 ms");

    for (const char* text : {"0000012", "00001234", "1234"}) {
        RecordFilter card;
        card.card = QString::fromLatin1(text);
        qint64 n = 0;
        const double ms = medianMs([&] { n = RecordQuery::run(db, card, rows).rows; });
        const QByteArray pattern = QByteArray("%") + text + '%';
        const double ref = medianMs([&] {
            plain(db, (QByteArray(PlainSelect) + " WHERE r.卡号 LIKE ? ORDER BY r.进出时间 DESC").constData(), pattern);
        });
        const QByteArray what = QByteArray("card contains ") + text + " (" + QByteArray::number(n) + " rows)";
        line(what.constData(), ms, "plain LIKE scan", ref, "whole result");
        // What the page shows first: a screen's worth, the rest read in portions.
        RecordCursor rest;
        line("  first screen (2,000 rows)", medianMs([&] { RecordQuery::run(db, card, rows, &rest, 2000); }),
             "plain LIKE scan", ref, "< 100 ms");
    }

    RecordFilter day;
    day.timeSpan = true;
    day.start = QDateTime(QDate(2020, 1, 15), QTime(0, 0));
    day.end = QDateTime(QDate(2020, 1, 15), QTime(23, 59, 59));
    qint64 dayRows = 0;
    const double dayMs = medianMs([&] { dayRows = RecordQuery::run(db, day, rows).rows; });
    line(QByteArray("one day's records (" + QByteArray::number(dayRows) + " rows)").constData(), dayMs,
         "plain BETWEEN scan",
         medianMs([&] {
             plain(db, (QByteArray(PlainSelect) + " WHERE +r.进出时间 BETWEEN '2020-01-15 00:00:00' AND "
                                                  "'2020-01-15 23:59:59' ORDER BY r.进出时间 DESC").constData());
         }),
         "index");

    // The whole list: the first screen, then the portions the page reads in the background
    // until the scroll bar covers every record; the longest portion is the longest the window waits.
    RecordCursor rest;
    line("whole list, first screen (2,000 rows)", medianMs([&] { RecordQuery::run(db, {}, rows, &rest, 2000); }), "", 0,
         "< 200 ms");
    rows = RecordRows();
    const long long before = residentKb();
    QElapsedTimer timer;
    timer.start();
    RecordQuery::run(db, {}, rows, &rest, 2000);
    double longest = 0;
    while (!rest.atEnd()) {
        QElapsedTimer portion;
        portion.start();
        rest.fetch(db, rows, 10000);   // the page's portion
        longest = std::max(longest, portion.nsecsElapsed() / 1e6);
    }
    const double allMs = timer.nsecsElapsed() / 1e6;
    const long long grown = residentKb() - before;
    timer.restart();
    const qint64 plainAll = plain(db, (QByteArray(PlainSelect) + " ORDER BY r.进出时间 DESC").constData());
    line("whole list to its end (the full scroll bar)", allMs, "plain full read", timer.nsecsElapsed() / 1e6,
         "background");
    line("  longest portion (10,000 rows)", longest, "", 0, "< 200 ms");
    std::printf("%-40s %9.1f bytes per row (%d rows, plain %lld)\n", "  memory of the read rows",
                rows.rowCount() ? grown * 1024.0 / rows.rowCount() : 0.0, rows.rowCount(), plainAll);

    // Import of 50,000 new lines, beside the same rows inserted in one transaction.
    constexpr int Lines = 50000;
    QTemporaryDir dir;
    QByteArray file;
    for (int i = 0; i < Lines; ++i)
        file += QStringLiteral("%1,%2,2031-01-01,%3:%4:%5,星期三\r\n")
                    .arg(1 + i % Terminals, 4, 10, QLatin1Char('0'))
                    .arg(1 + i % Cards, 10, 10, QLatin1Char('0'))
                    .arg(i / 3600, 2, 10, QLatin1Char('0'))
                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .toUtf8();
    const QString filePath = dir.filePath(QStringLiteral("r.txt"));
    QFile out(filePath);
    out.open(QIODevice::WriteOnly);
    out.write(file);
    out.close();
    const qint64 top = db.scalar(QStringLiteral("SELECT max(ID) FROM 进出记录")).toLongLong();
    timer.restart();
    const auto imported = RecordImport::run(db, filePath, rows, nullptr);
    const double importMs = timer.nsecsElapsed() / 1e6;
    db.exec(QStringLiteral("DELETE FROM 进出记录 WHERE ID > ?"), {top});
    timer.restart();
    db.beginTransaction();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db.handle(), "INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES (?, ?, ?, ?)", -1, &st,
                       nullptr);
    for (int i = 0; i < Lines; ++i) {
        const QByteArray card = QByteArray::number(1 + i % Cards).rightJustified(10, '0');
        const QByteArray when = QStringLiteral("2031-01-01 %1:%2:%3")
                                    .arg(i / 3600, 2, 10, QLatin1Char('0'))
                                    .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                                    .toUtf8();
        sqlite3_bind_text(st, 1, card.constData(), card.size(), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, when.constData(), when.size(), SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 3, 1 + i % Terminals);
        sqlite3_bind_text(st, 4, "星期三", -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    db.commit();
    const double shellMs = timer.nsecsElapsed() / 1e6;
    db.exec(QStringLiteral("DELETE FROM 进出记录 WHERE ID > ?"), {top});
    std::printf("%-40s %9.0f lines/s  one transaction %9.0f lines/s  ratio %6.2f   goal >= 0.50  (added %d)\n",
                "record import, 50,000 lines", Lines / importMs * 1000, Lines / shellMs * 1000, shellMs / importMs,
                imported.added);
    return 0;
}
