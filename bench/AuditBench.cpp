// The operator log's costs: a save with its log row beside the same save without one, and the
// walk of a 1,000,000-row chain beside a plain read of the same rows.
#include "audit/AuditLog.h"
#include "db/Database.h"
#include "db/Schema.h"
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

double seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

using bench::medianMs;

audit::Entry entryOf(qint64 i)
{
    return {QStringLiteral("holder.change"), QStringLiteral("持卡人%1 138%2").arg(i).arg(i, 8, 10, QLatin1Char('0')),
            QStringLiteral("部门: 保卫 → 后勤; 职位: 门卫 → 主管")};
}

} // namespace

int main()
{
    const QString path = QDir::temp().filePath(QStringLiteral("k27-bench-audit.kvd"));
    QFile::remove(path);
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

    QElapsedTimer timer;
    timer.start();
    for (qint64 i = 0; i < LogRows - 200;) {
        db.beginTransaction();
        for (int k = 0; k < 10000 && i < LogRows - 200; ++k, ++i)
            audit::append(db, Desk, entryOf(i));
        if (!db.commit())
            qFatal("append failed: %s", qPrintable(db.lastError()));
    }
    std::printf("appends:       %lld rows in %.2f s (%.0f rows/s, in transactions of 10,000)\n", LogRows - 200,
                seconds(timer), double(LogRows - 200) / seconds(timer));

    // The reference reads every column of every row in order, as the walk does, without hashing.
    timer.restart();
    qint64 read = 0, bytes = 0;
    db.query(QStringLiteral("SELECT 序号, 时间, 计算机, 操作员, 动作, 对象, 详情, hash FROM 操作日志 ORDER BY 序号"), {},
             [&](const Row& r) {
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
    std::printf("verify:        %lld rows in %.2f s; plain read of the same rows %.2f s: %.2fx (goal: under 5 s)\n", v.count,
                walk, reference, walk / reference);
    std::printf("head code:     %s\n", qPrintable(audit::headCode(v.count, v.head)));
    db.close();
    QFile::remove(path);
    return read == LogRows && bytes > 0 ? 0 : 1;
}
