// The imports beside the engine's own pace: a record import into a register of records, and
// a cardholder import into a register of cardholders, each next to the same rows inserted
// with one prepared statement in one transaction into a copy of the same database (what the
// sqlcipher shell does with a script of inserts). Prints rows/s, the ratio, the peak memory
// of the record import and the longest time the window would have waited for events.
//
//   k27-bench-imports           200,000 lines into 200,000 records; 65,000 cardholders into 100,000
//   k27-bench-imports --full    1,000,000 lines into 1,000,000 records
#include "cardholders/CardholderImport.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "platform/ImportProgress.h"
#include "platform/WorkbookReader.h"
#include "records/RecordImport.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"
#include "startup/LanguageTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlcipher/sqlite3.h>

using namespace k27;

namespace {

constexpr int Cards = 5000;
constexpr int Terminals = 368;

long long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Times between two moments the window could handle events.
struct PauseProgress : ImportProgress {
    QElapsedTimer since;
    qint64 longest = 0;
    void tick()
    {
        if (since.isValid())
            longest = qMax(longest, since.elapsed());
        since.restart();
    }
    void begin(int) override { tick(); }
    void advance(int, int) override { tick(); }
    void end(int, int) override { tick(); }
    void idle() override { tick(); }
};

bool copyFile(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

// The reference: `rows` inserts of `columns` texts (an integer where `integerColumn` says so)
// through one prepared statement in one transaction.
double referenceRate(const QString& path, const char* sql, const QList<QStringList>& rows, int integerColumn)
{
    Database db;
    if (!db.open(path))
        return 0;
    sqlite3* handle = db.handle();
    sqlite3_stmt* insert = nullptr;
    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(handle, sql, -1, &insert, nullptr);
    for (const QStringList& row : rows) {
        for (int c = 0; c < row.size(); ++c) {
            if (c == integerColumn) {
                sqlite3_bind_int64(insert, c + 1, row[c].toLongLong());
            } else {
                const QByteArray text = row[c].toUtf8();
                sqlite3_bind_text(insert, c + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            }
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
    return rows.size() * 1000.0 / qMax<qint64>(1, timer.elapsed());
}

QString timeText(qint64 minute)
{
    return QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC).addSecs(minute * 60).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool full = app.arguments().contains(QStringLiteral("--full"));
    const int registerRecords = full ? 1000000 : 200000;
    const int lines = full ? 1000000 : 200000;
    const int registerHolders = 100000;
    const int holderRows = 65000;

    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("base.kvd"));
    {
        Database db;
        if (!db.create(base) || !createProgramTables(db) || !EnsureRecordTable(db)) {
            std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(db.lastError()));
            return 1;
        }
        db.beginTransaction();
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                               " INSERT INTO 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号)"
                               " SELECT '职员' || i || ' ', '男', '部门' || (i % 40), '职位', '住址' || (i % 300),"
                               " '138' || printf('%08d', i), printf('%010d', i) FROM n"),
                {registerHolders});
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                               " INSERT INTO 终端机 (终端机号, 地址) SELECT i, '大门' || i FROM n"),
                {Terminals});
        db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                               " INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期)"
                               " SELECT printf('%010d', 1 + (i * 7919) % ?),"
                               "        strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || i || ' minutes'),"
                               "        1 + i % ?, '星期' || (i % 7) FROM n"),
                {registerRecords, Cards, Terminals});
        db.commit();
        RecordQuery::ensureIndexes(db);
        ensureLookupIndexes(db);
    }

    // ---- records: the same lines as a file for the import and as rows for the reference
    const auto recordLine = [&](int i) {
        const QString card = QStringLiteral("%1").arg(1 + (i * 7919) % Cards, 10, 10, QLatin1Char('0'));
        const QString when = timeText(registerRecords + 1 + i);
        return QStringList{card, QString::number(1 + i % Terminals), when, QStringLiteral("星期%1").arg(i % 7)};
    };
    const QString recordFile = dir.filePath(QStringLiteral("records.txt"));
    {
        QFile out(recordFile);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        QByteArray chunk;
        for (int i = 0; i < lines; ++i) {
            const QStringList r = recordLine(i);
            chunk += QStringLiteral("%1,%2,%3,%4,%5\r\n")
                         .arg(r[1].toInt(), 4, 10, QLatin1Char('0'))
                         .arg(r[0], r[2].left(10), r[2].mid(11), r[3])
                         .toUtf8();
            if (chunk.size() > (1 << 20)) {
                out.write(chunk);
                chunk.clear();
            }
        }
        out.write(chunk);
    }
    const long long fileMb = QFile(recordFile).size() >> 20;

    const QString reference = dir.filePath(QStringLiteral("reference.kvd"));
    const QString live = dir.filePath(QStringLiteral("Data.kvd"));
    if (!copyFile(base, reference) || !copyFile(base, live))
        return 1;

    // The import first, while the process is small, so its memory is its own.
    double importRecords = 0;
    long long peakAboveStart = 0, endAboveStart = 0;
    qint64 longestPause = 0;
    RecordImport::Result result;
    RecordRows rows;
    {
        Database db;
        if (!db.open(live))
            return 1;
        PauseProgress progress;
        const long long start = statusKb("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        result = RecordImport::run(db, recordFile, rows, &progress);
        importRecords = result.read * 1000.0 / qMax<qint64>(1, timer.elapsed());
        peakAboveStart = statusKb("VmHWM:") - start;
        endAboveStart = statusKb("VmRSS:") - start;
        longestPause = progress.longest;
    }
    rows.clear();
    double shellRecords = 0;
    {
        QList<QStringList> recordRows;
        recordRows.reserve(lines);
        for (int i = 0; i < lines; ++i)
            recordRows.append(recordLine(i));
        shellRecords = referenceRate(reference, "INSERT INTO 进出记录 (卡号, 终端机号, 进出时间, 星期) VALUES (?, ?, ?, ?)",
                                     recordRows, 1);
    }
    std::printf("Record import: %d lines (%lld MB file) into a register of %d records\n", lines, fileMb,
                registerRecords);
    std::printf("  engine, one transaction, prepared     %10.0f lines/s\n", shellRecords);
    std::printf("  import (added %d, skipped %d)      %10.0f lines/s   ratio %.2f (goal >= 0.50)\n", result.added,
                result.skipped, importRecords, importRecords / shellRecords);
    std::printf("  memory: peak %lld MB above the start, %lld MB at the end (grid rows, page cache, lookups); "
                "peak above the end %lld MB (goal <= 64)\n",
                peakAboveStart / 1024, endAboveStart / 1024, (peakAboveStart - endAboveStart) / 1024);
    std::printf("  longest wait for window events %lld ms (goal < 200)\n", qint64(longestPause));
    std::fflush(stdout);

    // ---- cardholders
    Workbook sheet;
    sheet.columns = 9;
    QList<QStringList> holderInserts;
    for (int i = 0; i < holderRows; ++i) {
        const QStringList row{QStringLiteral("新员工%1").arg(i), "女", QStringLiteral("部门%1").arg(i % 40), "职位",
                              QStringLiteral("住址%1").arg(i % 300), QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0')),
                              QStringLiteral("%1").arg(registerHolders + 1 + i, 10, 10, QLatin1Char('0')), "5、",
                              "永久有效、"};
        sheet.rows.append(row);
        QStringList stored = row;
        stored[0] += QLatin1Char(' ');
        holderInserts.append(stored);
    }
    if (!copyFile(base, reference) || !copyFile(base, live))
        return 1;
    const double shellHolders = referenceRate(reference,
                                              "INSERT INTO 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, "
                                              "时间期限) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                                              holderInserts, -1);
    double importHolders = 0;
    CardholderImport::Result holders;
    {
        Database db;
        if (!db.open(live))
            return 1;
        LanguageTable language;
        CardholderImport import(db, language);
        PauseProgress progress;
        import.setProgress(&progress);
        QElapsedTimer timer;
        timer.start();
        holders = import.run(sheet);
        importHolders = holders.read * 1000.0 / qMax<qint64>(1, timer.elapsed());
        longestPause = progress.longest;
    }
    std::printf("Cardholder import: %d rows (in memory) into a register of %d\n", holderRows, registerHolders);
    std::printf("  engine, one transaction, prepared     %10.0f rows/s\n", shellHolders);
    std::printf("  import (imported %d, skipped %d)   %10.0f rows/s    ratio %.2f (goal >= 0.30)\n", holders.imported,
                holders.skipped, importHolders, importHolders / shellHolders);
    std::printf("  longest wait for window events %lld ms\n", qint64(longestPause));
    return 0;
}
