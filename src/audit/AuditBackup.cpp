#include "AuditBackup.h"

#include "audit/AuditTrail.h"
#include "audit/AuditLog.h"
#include "db/Database.h"
#include "db/RegisterCopy.h"
#include "db/Schema.h"

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <cstdio>

namespace k27::audit {

QString headCodePath(const QString& backupPath)
{
    return backupPath + QStringLiteral(".head");
}

QString noteBackup(Database* live, const QString& backupPath, const QString& kind)
{
    QString code;
    {
        Database copy;
        qint64 count = 0;
        QByteArray hash;
        if (copy.open(backupPath, true) && head(copy, &count, &hash))
            code = headCode(count, hash);
    }
    if (!code.isEmpty()) {
        QSaveFile file(headCodePath(backupPath));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(
                QStringLiteral("%1\n%2\n").arg(code, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)).toUtf8());
            file.commit();
        }
    }
    if (live)
        record(*live, Action::Backup, backupPath, QStringLiteral("%1; head: %2").arg(kind, code));
    return code;
}

bool carryLog(Database& live, Database& restored, const QString& backupFile)
{
    if (!ensureLogTables(restored))
        return false;
    qint64 backupCount = 0;
    QByteArray backupHash;
    if (!head(restored, &backupCount, &backupHash))
        return false;
    // The backup is an earlier state of this log when the live row at its head carries its
    // head's hash: only the rows after it are missing. Otherwise (another register's backup)
    // every live row is carried over behind the backup's own.
    qint64 from = 0;
    if (live.isOpen() && live.hasTable(QStringLiteral("操作日志")) && backupCount > 0
        && live.scalar(QStringLiteral("SELECT hash FROM 操作日志 WHERE 序号 = ?"), {backupCount}).toString()
               == QString::fromLatin1(backupHash.toHex()))
        from = backupCount;
    QList<std::pair<Actor, LogRow>> carried;
    if (live.isOpen() && live.hasTable(QStringLiteral("操作日志")))
        live.query(
            QStringLiteral("SELECT 时间, 计算机, 操作员, 动作, 对象, 详情 FROM 操作日志 WHERE 序号 > ? ORDER BY 序号"),
            {from}, [&](const Row& r) {
                LogRow row;
                row.time = r.text(0);
                row.action = r.text(3);
                row.subject = r.text(4);
                row.details = r.text(5);
                carried.append({Actor{r.text(2), r.text(1)}, row});
                return true;
            });
    if (!restored.beginTransaction())
        return false;
    bool ok = true;
    for (const auto& [who, row] : std::as_const(carried))
        ok = ok && append(restored, who, {row.action, row.subject, row.details}, row.time);
    ok = ok
         && record(restored, Action::Restore, backupFile,
                   QStringLiteral("%1; backup head: %2; log rows carried: %3")
                       .arg(Digest::ofFile(backupFile), headCode(backupCount, backupHash))
                       .arg(carried.size()));
    if (ok)
        return restored.commit();
    restored.rollback();
    return false;
}

BackupWriter serverBackup(const QString& url, std::function<void(const QString&, qint64, qint64)> progress)
{
    return [url, progress](const QString& target) {
        RegisterCopy copy;
        copy.prepareTarget = [](Database& db) { return ensureLog(db); };
        copy.progress = progress;
        QString error;
        if (copy.snapshot(url, target, &error))
            return true;
        std::fprintf(stderr, "backup of the register into %s failed: %s\n", qPrintable(target), qPrintable(error));
        return false;
    };
}

} // namespace k27::audit
