// The imports beside the engine's own pace: a record import into a register of records, and
// a cardholder import into a register of cardholders, each next to the same rows inserted
// with one prepared statement in one transaction into a copy of the same database, file and
// indexes, with the connection set up as the imports set theirs (write-ahead log, normal
// sync, the import's page cache), and next to the sqlcipher shell's .import of the same rows with
// the same settings (when the shell is installed). Prints rows/s, the ratios, the resident
// memory of the record import at its start, peak and end, and the longest time the window
// would have waited for events.
// The cardholder rows are also imported the way the operator imports them: from a workbook
// file (.xlsx written with shared strings as spreadsheet programs do, and .xls converted by
// gnumeric's ssconvert), read by the k27-xls-read helper, then imported; timed end to end.
//
//   k27-bench-imports           200,000 lines into 200,000 records; 65,000 cardholders into 100,000,
//                               from memory, .xlsx and .xls
//   k27-bench-imports --full    1,000,000 lines into 1,000,000 records
#include "cardholders/CardholderImport.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "platform/ImportProgress.h"
#include "platform/ProcessMemory.h"
#include "platform/WorkbookReader.h"
#include "records/RecordImport.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"
#include "startup/LanguageTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <sqlcipher/sqlite3.h>
#include <xlsxwriter.h>

using namespace k27;

namespace {

constexpr int Cards = 5000;
constexpr int Terminals = 368;
constexpr int CardholderCacheKb = 32768; // the page cache the cardholder import sets up

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Times between two moments the window could handle events.
struct PauseProgress : ImportProgress
{
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
double referenceRate(const QString& path, const char* sql, const QList<QStringList>& rows, int integerColumn,
                     int cacheKb)
{
    Database db;
    // The connection as the imports set theirs up: comparing with the engine's defaults
    // (rollback journal, full sync, 2 MB cache) would flatter them.
    if (!db.open(path) || !db.useBulkWrites(cacheKb))
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

// The sqlcipher shell's .import of `rows` (written as CSV) with the imports' settings: into a
// temporary table of the same columns (the shell fills every column of a table from the file,
// and the register's first column is its row number), then one INSERT ... SELECT, all in one
// transaction. Timed from the start of the shell to its end (its one key derivation
// included). 0 when the shell is missing or fails.
double shellImportRate(const QString& database, const QString& csvPath, const QString& table,
                       const QStringList& columns, const QList<QStringList>& rows, int cacheKb)
{
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
    if (shell.isEmpty())
        return 0;
    {
        QFile csv(csvPath);
        if (!csv.open(QIODevice::WriteOnly))
            return 0;
        QByteArray chunk;
        for (const QStringList& row : rows) {
            for (int c = 0; c < row.size(); ++c) {
                if (c > 0)
                    chunk += ',';
                QString field = row[c];
                if (field.contains(u',') || field.contains(u'"'))
                    field = u'"' + field.replace(QLatin1String("\""), QLatin1String("\"\"")) + u'"';
                chunk += field.toUtf8();
            }
            chunk += '\n';
            if (chunk.size() > (1 << 20)) {
                csv.write(chunk);
                chunk.clear();
            }
        }
        csv.write(chunk);
    }
    Database probe;
    if (!probe.open(database))
        return 0;
    const qint64 pageSize = qMax<qint64>(512, probe.scalar(QStringLiteral("PRAGMA page_size")).toLongLong());
    const QString countSql = QStringLiteral("SELECT count(*) FROM ") + table;
    const qint64 before = probe.scalar(countSql).toLongLong();
    probe.close();
    const QString list = columns.join(QStringLiteral(", "));
    QString script;
    QTextStream(&script) << "PRAGMA key = '" << Database::Password << "';\n"
                         << "PRAGMA journal_mode = WAL;\n"
                         << "PRAGMA synchronous = NORMAL;\n"
                         << "PRAGMA wal_autocheckpoint = " << (16 << 20) / pageSize << ";\n"
                         << "PRAGMA cache_size = -" << cacheKb << ";\n"
                         << "BEGIN;\n"
                         << "CREATE TEMP TABLE 导入 (" << list << ");\n"
                         << ".mode csv\n"
                         << ".import " << csvPath << " 导入\n"
                         << "INSERT INTO " << table << " (" << list << ") SELECT * FROM 导入;\n"
                         << "COMMIT;\n";
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    p.start(shell, {database});
    if (!p.waitForStarted())
        return 0;
    p.write(script.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return 0;
    const qint64 ms = qMax<qint64>(1, timer.elapsed());
    const QByteArray errors = p.readAllStandardError();
    if (!errors.isEmpty()) {
        std::fprintf(stderr, "sqlcipher: %s\n", errors.constData());
        return 0;
    }
    // Every row must have arrived.
    Database check;
    if (!check.open(database) || check.scalar(countSql).toLongLong() - before != rows.size()) {
        std::fprintf(stderr, "sqlcipher: the rows did not all arrive\n");
        return 0;
    }
    return rows.size() * 1000.0 / ms;
}

void shellLine(double rate, double importRate, const char* unit)
{
    if (rate > 0)
        std::printf("  sqlcipher shell .import, same settings %10.0f %s   import/shell %.2f\n", rate, unit,
                    importRate / rate);
    else
        std::printf("  sqlcipher shell .import               skipped (no sqlcipher shell, or it failed)\n");
}

QString timeText(qint64 minute)
{
    return QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC)
        .addSecs(minute * 60)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A cardholder as an operator's sheet holds one: a common name, a mobile number unique to
// the row (7919 is prime to 10^8), a card number after the register's.
QStringList holderRow(int i, int firstCard)
{
    static const QStringList surnames =
        QStringLiteral("王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 邓 曹")
            .split(u' ');
    static const QString given = QStringLiteral("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂华建国志红玉梅");
    static const QStringList departments =
        QStringLiteral("研发部 生产部 财务部 人事部 销售部 采购部 仓储部 质检部 行政部 保卫部").split(u' ');
    static const QStringList positions = QStringLiteral("职员 工程师 主管 经理 技术员 操作工 司机 保安").split(u' ');
    const int g = i / surnames.size();
    QString name = surnames[i % surnames.size()] + given[g % given.size()];
    if (i % 3 != 0)
        name += given[(g / given.size() + i) % given.size()];
    return {name,
            i % 2 ? QStringLiteral("女") : QStringLiteral("男"),
            departments[i % departments.size()],
            positions[i % positions.size()],
            QStringLiteral("幸福路%1号%2室").arg(1 + i % 300).arg(101 + i % 20),
            QStringLiteral("139%1").arg(qint64(i) * 7919 % 100000000, 8, 10, QLatin1Char('0')),
            QStringLiteral("%1").arg(firstCard + i, 10, 10, QLatin1Char('0')),
            QStringLiteral("%1、%2、").arg(1 + i % 8).arg(9 + i % 40),
            QStringLiteral("永久有效、")};
}

// Sheet1 with a heading row, every cell a shared string but the phone, which is typed as a
// number the way a sheet keeps a mobile number.
QString writeXlsx(const QString& path, const QList<QStringList>& rows)
{
    const QByteArray name = QFile::encodeName(path);
    lxw_workbook* book = workbook_new(name.constData());
    if (!book)
        return QStringLiteral("cannot create %1").arg(path);
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
    const QStringList headings = QStringLiteral("姓名 性别 部门 职位 住址 电话 卡号 权限终端机 时间期限").split(u' ');
    for (int c = 0; c < headings.size(); ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), headings[c].toUtf8().constData(), nullptr);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) {
            if (c == 5)
                worksheet_write_number(sheet, lxw_row_t(r + 1), lxw_col_t(c), rows[r][c].toDouble(), nullptr);
            else
                worksheet_write_string(sheet, lxw_row_t(r + 1), lxw_col_t(c), rows[r][c].toUtf8().constData(), nullptr);
        }
    const lxw_error closed = workbook_close(book);
    return closed == LXW_NO_ERROR ? QString() : QString::fromUtf8(lxw_strerror(closed));
}

bool ssconvert(const QString& from, const QString& to)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("ssconvert"), {from, to});
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The operator's path from a chosen file: the helper reads the sheet, then the rows are
// imported through a connection of their own. Checks the rows read before it reports.
struct FileImport
{
    QString problem;
    qint64 readMs = 0, totalMs = 0;
    CardholderImport::Result result;
};

FileImport importFile(const QString& database, const QString& book, const QList<QStringList>& expected)
{
    FileImport run;
    const auto fail = [&run](const QString& problem) {
        run.problem = problem;
        return run;
    };
    QElapsedTimer timer;
    timer.start();
    WorkbookReader reader(QStringLiteral(K27_XLS_READ));
    reader.setColumnsKept(CardholderImport::MinimumColumns);
    const WorkbookReader::Result sheet = reader.read(book);
    run.readMs = timer.elapsed();
    if (!sheet.ok())
        return fail(QStringLiteral("the reader failed: %1").arg(sheet.detail));
    {
        Database db;
        if (!db.open(database))
            return fail(QStringLiteral("cannot open the database"));
        LanguageTable language;
        CardholderImport import(db, language);
        run.result = import.run(sheet.workbook);
    }
    run.totalMs = qMax<qint64>(1, timer.elapsed());
    for (int i = 0; i < expected.size(); ++i)
        if (sheet.workbook.rows.value(i) != expected[i])
            return fail(QStringLiteral("row %1 reads as %2").arg(i).arg(sheet.workbook.rows.value(i).join(u'|')));
    return run;
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

    // The import first, while the process is small, so its memory is its own. It runs as the
    // records page runs it: on a thread of its own while this thread handles events, a timer
    // here noting the longest time between two of its ticks (the window's longest pause).
    double importRecords = 0;
    long long startKb = 0, peakKb = 0, endKb = 0;
    qint64 longestPause = 0;
    RecordImport::Result result;
    RecordRows rows;
    {
        Database db;
        if (!db.open(live))
            return 1;
        PauseProgress progress;
        startKb = statusKb("VmRSS:");
        resetPeak();
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (sinceTick.isValid())
                longestPause = qMax(longestPause, sinceTick.elapsed());
            sinceTick.restart();
        });
        QElapsedTimer timer;
        timer.start();
        tick.start();
        result = RecordImport::runInBackground(db, recordFile, rows, &progress);
        tick.stop();
        importRecords = result.read * 1000.0 / qMax<qint64>(1, timer.elapsed());
        peakKb = statusKb("VmHWM:");
        endKb = statusKb("VmRSS:");
    }
    rows.clear();
    double shellRecords = 0, shellRecordsImport = 0;
    {
        QList<QStringList> recordRows;
        recordRows.reserve(lines);
        for (int i = 0; i < lines; ++i)
            recordRows.append(recordLine(i));
        shellRecords = referenceRate(reference,
                                     "INSERT INTO 进出记录 (卡号, 终端机号, 进出时间, 星期) VALUES (?, ?, ?, ?)",
                                     recordRows, 1, RecordImport::CacheKb);
        if (!copyFile(base, reference))
            return 1;
        shellRecordsImport = shellImportRate(
            reference, dir.filePath(QStringLiteral("records.csv")), QStringLiteral("进出记录"),
            QStringLiteral("卡号 终端机号 进出时间 星期").split(u' '), recordRows, RecordImport::CacheKb);
    }
    std::printf("Record import: %d lines (%lld MB file) into a register of %d records\n", lines, fileMb,
                registerRecords);
    std::printf("  engine, one transaction, prepared, the import's settings %10.0f lines/s\n", shellRecords);
    std::printf("  import (added %d, skipped %d)      %10.0f lines/s   ratio %.2f (goal >= 0.50)\n", result.added,
                result.skipped, importRecords, importRecords / shellRecords);
    shellLine(shellRecordsImport, importRecords, "lines/s");
    std::printf("  resident memory: start %lld MB, peak %lld MB (+%lld), end %lld MB (+%lld)   goal: at most +64 MB "
                "during and after\n",
                startKb / 1024, peakKb / 1024, (peakKb - startKb) / 1024, endKb / 1024, (endKb - startKb) / 1024);
    std::printf("  longest pause of the window thread %lld ms (goal < 200)\n", qint64(longestPause));
    std::fflush(stdout);

    // ---- cardholders
    Workbook sheet;
    sheet.columns = 9;
    QList<QStringList> holderInserts;
    for (int i = 0; i < holderRows; ++i) {
        const QStringList row = holderRow(i, registerHolders + 1);
        sheet.rows.append(row);
        QStringList stored = row;
        stored[0] += QLatin1Char(' ');
        holderInserts.append(stored);
    }
    if (!copyFile(base, reference) || !copyFile(base, live))
        return 1;
    const double shellHolders = referenceRate(
        reference,
        "INSERT INTO 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, "
        "时间期限) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
        holderInserts, -1, CardholderCacheKb);
    if (!copyFile(base, reference))
        return 1;
    const double shellHoldersImport = shellImportRate(
        reference, dir.filePath(QStringLiteral("cardholders.csv")), QStringLiteral("用户信息"),
        QStringLiteral("姓名 性别 部门 职位 住址 电话 卡号 权限终端机 时间期限").split(u' '), holderInserts,
        CardholderCacheKb);
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
    std::printf("  engine, one transaction, prepared, the import's settings %10.0f rows/s\n", shellHolders);
    std::printf("  import (imported %d, skipped %d)   %10.0f rows/s    ratio %.2f (goal >= 0.50)\n", holders.imported(),
                holders.skipped(), importHolders, importHolders / shellHolders);
    shellLine(shellHoldersImport, importHolders, "rows/s");
    std::printf("  longest wait for window events %lld ms (goal < 200)\n", qint64(longestPause));
    std::fflush(stdout);

    // ---- the same cardholders from workbook files
    const QString xlsx = dir.filePath(QStringLiteral("cardholders.xlsx"));
    const QString xls = dir.filePath(QStringLiteral("cardholders.xls"));
    if (const QString problem = writeXlsx(xlsx, sheet.rows); !problem.isEmpty()) {
        std::printf("  .xlsx: %s\n", qPrintable(problem));
        return 1;
    }
    QString xlsSkipped;
    if (QStandardPaths::findExecutable(QStringLiteral("ssconvert")).isEmpty())
        xlsSkipped = QStringLiteral("ssconvert (gnumeric) is not installed to write it");
    else if (!ssconvert(xlsx, xls))
        xlsSkipped = QStringLiteral("ssconvert could not convert the .xlsx");
    std::printf("Cardholder import from a workbook file (reader process + import), %d rows into a register of %d\n",
                holderRows, registerHolders);
    for (const QString& book : {xlsx, xls}) {
        const QString suffix = book.section(u'.', -1);
        if (suffix == QLatin1String("xls") && !xlsSkipped.isEmpty()) {
            std::printf("  .xls   skipped: %s\n", qPrintable(xlsSkipped));
            continue;
        }
        if (!copyFile(base, live))
            return 1;
        const FileImport run = importFile(live, book, sheet.rows);
        if (!run.problem.isEmpty()) {
            std::printf("  .%s: %s\n", qPrintable(suffix), qPrintable(run.problem));
            return 1;
        }
        const double rate = run.result.read * 1000.0 / run.totalMs;
        std::printf("  .%-5s %6lld KB, read %5lld ms + import %5lld ms (imported %d, skipped %d) %8.0f rows/s"
                    "   ratio %.2f (goal >= 0.30)\n",
                    qPrintable(suffix), QFile(book).size() >> 10, run.readMs, run.totalMs - run.readMs,
                    run.result.imported(), run.result.skipped(), rate, rate / shellHolders);
        std::fflush(stdout);
    }
    return 0;
}
