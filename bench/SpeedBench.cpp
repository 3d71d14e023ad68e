// The record figures at a large site's size, each beside its reference and its goal:
//   k27-bench-speed [RECORDS] [--import]   (default 1,000,000; the database is made once in /tmp
//   and reused; --import: only the import figures)
// "plain" is the plain statement anyone would write for the same rows, through the SQLCipher
// C API, run in the same process on the same file with the same indexes: a card filter through
// the list of cards and the card index, a day through the entry-time index, a first screen as
// the same statement with LIMIT 1024, a count as a read of the keys alone. Figures are medians
// of three; memory is the process's resident memory as measured. These are the engine-level
// figures, the query and the list timed in this process; the records page's figures as the
// operator meets them (a click of the query button to the grid's painted first screen, in the
// real program) come from k27-bench-window.
#include "platform/ProcessMemory.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "platform/GridExporter.h"
#include "records/RecordImport.h"
#include "records/RecordList.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"
#include "LargeSite.h"

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
constexpr int Cards = 120000; // cards seen by the terminals; some belong to nobody

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
        std::printf("%-40s %9.1f ms   %-22s %9.1f ms  ratio %6.2f   goal %s\n", what, ms, reference, refMs, ms / refMs,
                    goal);
    else
        std::printf("%-40s %9.1f ms   %-22s %12s  %14s   goal %s\n", what, ms, reference, "", "", goal);
    std::fflush(stdout);
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
    bench::seedLargeSite(db, Cardholders, Terminals, Cards, records);
    const bool ok = db.commit();
    std::printf("%-40s %9.1f s\n", "made the test database", timer.elapsed() / 1000.0);
    timer.restart();
    EnsureRecordTable(db);
    RecordQuery::ensureIndexes(db);
    std::printf("%-40s %9.1f s   (once per older file)\n", "indexes and card list of an older file",
                timer.elapsed() / 1000.0);
    return ok;
}

bool copyFile(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

// Import of 50,000 new lines into a copy of the register (the register itself is shared by
// other runs and stays as it is), beside the same rows inserted in one transaction.
void importFigures(const QString& registerPath)
{
    const QString path = registerPath + QStringLiteral(".import-copy");
    QElapsedTimer timer;
    timer.start();
    if (!copyFile(registerPath, path)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(registerPath));
        return;
    }
    std::printf("%-40s %9.1f s\n", "copied the register for the import", timer.elapsed() / 1000.0);
    {
        Database db;
        // A register made before the operator log had it lacks the log the import writes to.
        if (!db.open(path) || !ensureLogTables(db))
            return;
        RecordRows rows;
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
        const auto imported = RecordImport::runInBackground(db, filePath, rows, nullptr);
        const double importMs = timer.nsecsElapsed() / 1e6;
        db.exec(QStringLiteral("DELETE FROM 进出记录 WHERE ID > ?"), {top});
        // The connection as the import sets it up (it gives its cache back when it ends).
        db.useBulkWrites(RecordImport::CacheKb);
        timer.restart();
        db.beginTransaction();
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db.handle(), "INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES (?, ?, ?, ?)", -1,
                           &st, nullptr);
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
        std::printf(
            "%-40s %9.0f lines/s  one transaction %9.0f lines/s  ratio %6.2f   goal >= 0.50  (added %d, skipped %d%s)\n",
            "record import, 50,000 lines", Lines / importMs * 1000, Lines / shellMs * 1000, shellMs / importMs,
            imported.added, imported.skipped,
            imported.writeFailed ? ", write failed"
            : imported.stopped   ? ", stopped"
                                 : "");
    }
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool importOnly = arguments.removeAll(QStringLiteral("--import")) > 0;
    const int records = arguments.isEmpty() ? 1000000 : arguments.first().toInt();
    const QString path = QStringLiteral("/tmp/k27-speed-%1.kvd").arg(records);
    std::printf("%d records, %d cardholders, %d terminals, %d cards: %s\n", records, Cardholders, Terminals, Cards,
                qPrintable(path));
    if (!QFile::exists(path) && !build(path, records)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(path));
        QFile::remove(path);
        return 1;
    }
    if (importOnly) {
        importFigures(path);
        return 0;
    }
    Database db;
    const double openMs = medianMs([&] {
        db.close();
        db.open(path);
    });
    line("a database open (key derivation)", openMs, "", 0, "once per run");
    RecordQuery::ensureIndexes(db);

    RecordRows rows;
    RecordFilter recent;
    recent.recent = true;
    recent.recentText = QStringLiteral("200");
    line("newest 200 (the page's open connection)", medianMs([&] { RecordQuery::run(db, recent, rows); }),
         "with an open", openMs + medianMs([&] { RecordQuery::run(db, recent, rows); }), "< 20 ms");

    // A card filter the plain way: the cards that contain the text from the list of cards, their
    // records through the card index (CROSS JOIN keeps that order; left to itself the planner
    // walks every record along the entry-time index for the ORDER BY).
    const QByteArray cardSelect = QByteArray(PlainSelect)
                                      .replace(" FROM 进出记录 r",
                                               " FROM 进出记录_卡号 c CROSS JOIN 进出记录 r ON r.卡号 = c.卡号")
                                  + " WHERE c.卡号 LIKE ? ORDER BY r.进出时间 DESC";
    const QByteArray firstScreen = " LIMIT " + QByteArray::number(RecordList::BlockRows);
    for (const char* text : {"0000012", "00001234", "1234"}) {
        RecordFilter card;
        card.card = QString::fromLatin1(text);
        qint64 n = 0;
        const double ms = medianMs([&] { n = RecordQuery::run(db, card, rows).rows; });
        const QByteArray pattern = QByteArray("%") + text + '%';
        const double ref = medianMs([&] { plain(db, cardSelect.constData(), pattern); });
        const QByteArray what = QByteArray("card contains ") + text + " (" + QByteArray::number(n) + " rows)";
        line(what.constData(), ms, "plain via card list", ref, "whole result");
        // What the page shows first: a screen's worth, the rest read in portions.
        RecordCursor rest;
        line("  first screen (1,024 rows)",
             medianMs([&] { RecordQuery::run(db, card, rows, &rest, RecordList::BlockRows); }), "same, LIMIT 1024",
             medianMs([&] { plain(db, (cardSelect + firstScreen).constData(), pattern); }), "< 100 ms");
    }

    RecordFilter day;
    day.timeSpan = true;
    day.start = QDateTime(QDate(2020, 1, 15), QTime(0, 0));
    day.end = QDateTime(QDate(2020, 1, 15), QTime(23, 59, 59));
    qint64 dayRows = 0;
    const double dayMs = medianMs([&] { dayRows = RecordQuery::run(db, day, rows).rows; });
    line(QByteArray("one day's records (" + QByteArray::number(dayRows) + " rows)").constData(), dayMs,
         "plain BETWEEN, index", medianMs([&] {
             plain(db, (QByteArray(PlainSelect)
                        + " WHERE r.进出时间 BETWEEN '2020-01-15 00:00:00' AND "
                          "'2020-01-15 23:59:59' ORDER BY r.进出时间 DESC")
                           .constData());
         }),
         "index");

    // The whole list as the page shows it: the first block, then the count in portions until
    // the scroll bar covers every record; jumps read one block where the operator lands, and an
    // export reads the rows block by block. Memory is the block starts plus the cache.
    RecordList list;
    list.setReader([&] { return &db; });
    RecordRows table;
    line(
        "whole list, first screen (1,024 rows)", medianMs([&] { list.start(db, {}, table); }), "plain LIMIT 1024",
        medianMs([&] { plain(db, (QByteArray(PlainSelect) + " ORDER BY r.进出时间 DESC" + firstScreen).constData()); }),
        "< 2x, < 200 ms");
    for (const char* text : {"00001234", "1234"}) {
        RecordFilter card;
        card.card = QString::fromLatin1(text);
        const QByteArray pattern = QByteArray("%") + text + '%';
        line((QByteArray("card contains ") + text + ", the page's first screen").constData(),
             medianMs([&] { list.start(db, card, table); }), "same, LIMIT 1024",
             medianMs([&] { plain(db, (cardSelect + firstScreen).constData(), pattern); }), "< 100 ms");
    }
    const long long before = residentKb();
    QElapsedTimer timer;
    timer.start();
    list.start(db, {}, table);
    const int firstExtent = list.expectedRows();
    double longest = 0;
    while (list.isCounting()) {
        QElapsedTimer portion;
        portion.start();
        list.countPortion(db, 40); // the page's portion
        longest = std::max(longest, portion.nsecsElapsed() / 1e6);
    }
    const double countMs = timer.nsecsElapsed() / 1e6;
    const int total = list.rowCount();
    timer.restart();
    // The count the plain way: the keys of every record with a card, in the list's order.
    const qint64 plainAll = plain(db, "SELECT r.进出时间, r.ID FROM 进出记录 r WHERE r.卡号 IS NOT NULL"
                                      " ORDER BY r.进出时间 DESC, r.ID DESC");
    line("whole list to the full scroll extent", countMs, "plain read of the keys", timer.nsecsElapsed() / 1e6,
         "background");
    line("  longest counting portion", longest, "", 0, "< 200 ms");
    std::printf("%-40s %9d rows of %d (%+.1f %%)   goal: the whole count from the first screen on\n",
                "  scroll extent at the first screen", firstExtent, total,
                total > 0 ? 100.0 * (firstExtent - total) / total : 0.0);
    const auto screenAt = [&](int row) {
        for (int r = row; r < row + 40 && r <= total; ++r)
            for (int c = 1; c <= RecordRows::Columns; ++c)
                list.text(r, c);
    };
    int landing = 0;
    line("  jump to the middle (one screen)", medianMs([&] { screenAt(total / 2 + (landing += 3000)); }), "", 0,
         "< 100 ms");
    landing = 0;
    line("  jump to the end (one screen)", medianMs([&] { screenAt(total - 40 - (landing += 3000)); }), "", 0,
         "< 100 ms");
    std::printf("%-40s %9.1f MB resident above the list's start (%d rows, %d blocks, %d cached; plain %lld rows;"
                " the list's own estimate %.1f MB)   goal <= 150 MB\n",
                "  memory after the count and the jumps", (residentKb() - before) / 1024.0, total, list.blockCount(),
                list.cachedBlocks(), plainAll, list.memoryBytes() / 1e6);

    // An export of the first 1,000,000 rows: every cell through the list, written as CSV.
    const int exported = std::min(total, 1000000);
    QTemporaryDir exportDir;
    timer.restart();
    {
        QFile csv(exportDir.filePath(QStringLiteral("export.csv")));
        csv.open(QIODevice::WriteOnly);
        QByteArray chunk;
        for (int r = 1; r <= exported; ++r) {
            QString out;
            for (int c = 1; c <= RecordRows::Columns; ++c) {
                if (c > 1)
                    out += u',';
                out += GridExporter::csvField(list.text(r, c));
            }
            out += QLatin1String("\r\n");
            chunk += out.toUtf8();
            if (chunk.size() >= (1 << 20)) {
                csv.write(chunk);
                chunk.clear();
            }
        }
        csv.write(chunk);
    }
    const double exportMs = timer.nsecsElapsed() / 1e6;
    timer.restart();
    plain(db,
          (QByteArray(PlainSelect) + " ORDER BY r.进出时间 DESC LIMIT " + QByteArray::number(exported)).constData());
    line(QByteArray("export of " + QByteArray::number(exported) + " rows through the list").constData(), exportMs,
         "plain read of them", timer.nsecsElapsed() / 1e6, "no freeze (portions)");
    std::printf("%-40s %9.1f MB resident above the list's start (%d cached blocks; the list's own estimate %.1f MB)\n",
                "  memory after the export", (residentKb() - before) / 1024.0, list.cachedBlocks(),
                list.memoryBytes() / 1e6);

    importFigures(path);
    return 0;
}
