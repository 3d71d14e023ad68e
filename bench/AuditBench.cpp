// The operator log's costs: a save with its log row beside the same save without one, and the
// walk of a 1,000,000-row chain beside a plain read of the same rows.
#include "audit/AuditLog.h"
#include "audit/AuditTrail.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "records/RecordImport.h"
#include "records/RecordRows.h"
#include "MedianTime.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace k27;

namespace {

constexpr qint64 LogRows = 1000000;
const audit::Actor Desk{QStringLiteral("管理员"), QStringLiteral("desk-1")};

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

using bench::medianMs;

audit::Entry entryOf(qint64 i)
{
    return {QStringLiteral("holder.change"), QStringLiteral("持卡人%1 138%2").arg(i).arg(i, 8, 10, QLatin1Char('0')),
            QStringLiteral("部门: 保卫 → 后勤; 职位: 门卫 → 主管")};
}

// A record import carries the log's whole cost in two pieces: the digest of the file (taken
// while the first pass reads it) and one row at the last commit. Both are timed on their own
// and set against the whole import.
void importWithAndWithoutLog(Database& db)
{
    constexpr int Lines = 200000;
    const QString file = QDir::temp().filePath(QStringLiteral("k27-bench-audit-records.txt"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file));
        QByteArray text;
        for (int i = 0; i < Lines; ++i)
            text += QStringLiteral("%1,%2,2026-%3-%4,%5:%6:%7,x\n")
                        .arg(i % 40 + 1)
                        .arg(i % 5000, 10, 10, QLatin1Char('0'))
                        .arg(i / 50000 + 1, 2, 10, QLatin1Char('0'))
                        .arg(i / 2000 % 25 + 1, 2, 10, QLatin1Char('0'))
                        .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                        .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                        .arg(i % 60, 2, 10, QLatin1Char('0'))
                        .toLatin1();
        out.write(text);
    }
    QElapsedTimer timer;
    timer.start();
    RecordRows rows;
    const RecordImport::Result result = RecordImport::run(db, file, rows, nullptr);
    const double whole = seconds(timer);
    timer.restart();
    const QString digest = audit::Digest::ofFile(file);
    const double digestTime = seconds(timer);
    const double rowTime = medianMs(
                               50,
                               [&](int i) { audit::record(db, QStringLiteral("bench"), digest, QString::number(i)); })
                           / 1000;
    const double without = whole - digestTime - rowTime;
    std::printf("record import: %d lines, %d added: %.0f lines/s with the log, %.0f lines/s without (digest %.1f ms,"
                " row %.2f ms): +%.1f %% (goal: at most +10 %%)\n",
                result.total, result.added, result.total / whole, result.total / without, digestTime * 1000,
                rowTime * 1000, 100 * (whole - without) / without);
    QFile::remove(file);
}

} // namespace

int main()
{
    const QString path = QDir::temp().filePath(QStringLiteral("k27-bench-audit.kvd"));
    // A run stopped half-way leaves its write-ahead log, which no new file must meet.
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    if (!createProgramDatabase(path))
        qFatal("cannot create %s", qPrintable(path));
    Database db;
    if (!db.open(path) || !audit::ensureLog(db)
        || !db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话, 部门) VALUES ('持卡人', '13800000000', '保卫')")))
        qFatal("cannot prepare %s", qPrintable(db.lastError()));

    // One save as the cardholder page makes it: its own transaction, flushed to disk.
    auto save = [&](int i, bool logged) {
        db.beginTransaction();
        db.exec(QStringLiteral("UPDATE 用户信息 SET 部门 = ? WHERE 姓名 = '持卡人'"), {QString::number(i)});
        if (logged)
            audit::append(db, Desk, entryOf(i));
        db.commit();
    };
    const double plain = medianMs(200, [&](int i) { save(i, false); });
    const double logged = medianMs(200, [&](int i) { save(i, true); });
    std::printf("single save:   %.3f ms with its log row, %.3f ms without: +%.3f ms (goal: at most +1 ms)\n", logged,
                plain, logged - plain);

    importWithAndWithoutLog(db);

    // The rows above (the saves, the import's) count toward the million.
    const qint64 toAppend = LogRows - db.scalar(QStringLiteral("SELECT count(*) FROM 操作日志")).toLongLong();
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 0; i < toAppend;) {
        db.beginTransaction();
        for (int k = 0; k < 10000 && i < toAppend; ++k, ++i)
            audit::append(db, Desk, entryOf(i));
        if (!db.commit())
            qFatal("append failed: %s", qPrintable(db.lastError()));
    }
    std::printf("appends:       %lld rows in %.2f s (%.0f rows/s, in transactions of 10,000)\n", toAppend,
                seconds(timer), double(toAppend) / seconds(timer));

    // The reference reads every column of every row in order, as the walk does, without hashing.
    timer.restart();
    qint64 read = 0, bytes = 0;
    db.query(QStringLiteral("SELECT 序号, 时间, 计算机, 操作员, 动作, 对象, 详情, hash FROM 操作日志 ORDER BY 序号"),
             {}, [&](const Row& r) {
                 ++read;
                 for (int c = 1; c < 8; ++c)
                     bytes += r.text(c).size();
                 return true;
             });
    const double reference = seconds(timer);
    timer.restart();
    const audit::Verdict v = audit::verify(db);
    const double walk = seconds(timer);
    if (!v.intact() || v.count != LogRows)
        qFatal("verify: %s", qPrintable(v.text));
    std::printf("verify:        %lld rows in %.2f s; plain read of the same rows %.2f s: %.2fx (goal: under 5 s)\n",
                v.count, walk, reference, walk / reference);
    std::printf("head code:     %s\n", qPrintable(audit::headCode(v.count, v.head)));
    db.close();
    QFile::remove(path);
    return read == LogRows && bytes > 0 ? 0 : 1;
}
