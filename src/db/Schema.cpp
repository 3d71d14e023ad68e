#include "Schema.h"

#include "db/Database.h"

#include <QFile>
#include <QFileInfo>

namespace k27 {

bool createProgramTables(Database& db)
{
    return db.execScript(QStringLiteral(
        "CREATE TABLE 用户信息 ("
        " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
        " 姓名 VARCHAR(50), 性别 VARCHAR(10), 部门 VARCHAR(100), 职位 VARCHAR(50),"
        " 住址 VARCHAR(200), 电话 VARCHAR(50), 卡号 VARCHAR(50),"
        " 权限终端机 TEXT, 时间期限 TEXT);"
        "CREATE INDEX 用户信息_姓名电话 ON 用户信息 (姓名, 电话);"
        "CREATE INDEX 用户信息_卡号 ON 用户信息 (卡号);"
        "CREATE INDEX 用户信息_键 ON 用户信息 (trim(姓名), trim(电话));"
        "CREATE TABLE 用户表 ("
        " name VARCHAR(50), Password TEXT, userrote BOOLEAN NOT NULL DEFAULT 0, mark VARCHAR(255));"
        "CREATE TABLE 终端机 (终端机号 INTEGER, 地址 VARCHAR(100));"
        "CREATE INDEX 终端机_号 ON 终端机 (终端机号);"))
           && ensureLogTables(db);
}

bool ensureLogTables(Database& db)
{
    // BIGINT and TEXT mean the same on every engine the register runs on; the hash is kept as
    // hexadecimal text so that any client can read and compare it.
    return db.execScript(QStringLiteral(
               "CREATE TABLE IF NOT EXISTS 操作日志 ("
               " 序号 BIGINT PRIMARY KEY, 时间 VARCHAR(30) NOT NULL, 计算机 VARCHAR(255) NOT NULL,"
               " 操作员 VARCHAR(50) NOT NULL, 动作 VARCHAR(40) NOT NULL, 对象 TEXT NOT NULL,"
               " 详情 TEXT NOT NULL, hash VARCHAR(64) NOT NULL);"
               "CREATE INDEX IF NOT EXISTS 操作日志_时间 ON 操作日志 (时间);"
               "CREATE TABLE IF NOT EXISTS 操作日志_头 (id INTEGER PRIMARY KEY, 序号 BIGINT NOT NULL,"
               " hash VARCHAR(64) NOT NULL)"))
           && db.exec(QStringLiteral("INSERT INTO 操作日志_头 (id, 序号, hash) SELECT 1, 0, ?"
                                     " WHERE NOT EXISTS (SELECT 1 FROM 操作日志_头 WHERE id = 1)"),
                      {QString(64, QLatin1Char('0'))});
}

bool hasRegisterTables(Database& db, QString* missing)
{
    for (const char* table : {"用户信息", "用户表", "终端机"}) {
        if (!db.hasTable(QString::fromUtf8(table))) {
            if (missing)
                *missing = QStringLiteral("table missing: ") + QString::fromUtf8(table);
            return false;
        }
    }
    return true;
}

bool ensureLookupIndexes(Database& db)
{
    return db.execScript(QStringLiteral("CREATE INDEX IF NOT EXISTS 用户信息_键 ON 用户信息 (trim(姓名), trim(电话));"
                                        "CREATE INDEX IF NOT EXISTS 终端机_号 ON 终端机 (终端机号);"));
}

bool EnsureRecordTable(Database& db)
{
    if (db.hasTable(QStringLiteral("进出记录")))
        return true;
    return db.execScript(QStringLiteral(
               "CREATE TABLE 进出记录 ("
               " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
               " 卡号 VARCHAR(15), 进出时间 DATETIME, 终端机号 INT, 星期 VARCHAR(10));"
               "CREATE INDEX 进出记录_卡号时间 ON 进出记录 (卡号, 进出时间);"
               "CREATE INDEX 进出记录_时间 ON 进出记录 (进出时间);"))
           && ensureRecordCards(db) && ensureRepeatedHolderCards(db);
}

bool ensureRecordCards(Database& db)
{
    if (!db.hasTable(QStringLiteral("进出记录")))
        return false;
    // Cards are only ever added: a card whose records are all deleted stays listed, which
    // costs one lookup and finds no record.
    if (db.hasTable(QStringLiteral("进出记录_卡号")))
        return true;
    // The list and its triggers appear together with the whole list or not at all: a list
    // left half filled would hide records from every later search.
    bool ok = db.exec(QStringLiteral("SAVEPOINT 卡号表"))
              && db.execScript(QStringLiteral(
                  "CREATE TABLE 进出记录_卡号 (卡号 VARCHAR(15) PRIMARY KEY) WITHOUT ROWID;"
                  "CREATE TRIGGER IF NOT EXISTS 进出记录_新卡号 AFTER INSERT ON 进出记录"
                  " WHEN NEW.卡号 IS NOT NULL BEGIN INSERT OR IGNORE INTO 进出记录_卡号 VALUES (NEW.卡号); END;"
                  "CREATE TRIGGER IF NOT EXISTS 进出记录_改卡号 AFTER UPDATE OF 卡号 ON 进出记录"
                  " WHEN NEW.卡号 IS NOT NULL BEGIN INSERT OR IGNORE INTO 进出记录_卡号 VALUES (NEW.卡号); END;"
                  "INSERT INTO 进出记录_卡号 SELECT DISTINCT 卡号 FROM 进出记录 WHERE 卡号 IS NOT NULL"));
    if (!ok)
        db.exec(QStringLiteral("ROLLBACK TO 卡号表"));
    db.exec(QStringLiteral("RELEASE 卡号表"));
    return ok;
}

bool ensureRepeatedHolderCards(Database& db)
{
    if (db.hasTable(QStringLiteral("用户信息_重复卡号")))
        return true;
    if (!db.hasTable(QStringLiteral("用户信息")))
        return false;
    // "Held twice" is asked of at most two rows through the card index: a card number that
    // thousands hold (the empty one) costs no more than any other.
    static const char* const heldTwice = "(SELECT count(*) FROM (SELECT 1 FROM 用户信息 WHERE 卡号 = %1 LIMIT 2)) > 1";
    const QString newTwice = QString::fromUtf8(heldTwice).arg(QStringLiteral("NEW.卡号"));
    const QString oldTwice = QString::fromUtf8(heldTwice).arg(QStringLiteral("OLD.卡号"));
    const QString add = QStringLiteral("INSERT OR IGNORE INTO 用户信息_重复卡号 SELECT NEW.卡号 WHERE NEW.卡号 IS NOT NULL AND ")
        + newTwice + QStringLiteral(";");
    const QString drop = QStringLiteral("DELETE FROM 用户信息_重复卡号 WHERE 卡号 = OLD.卡号 AND NOT ") + oldTwice
        + QStringLiteral(";");
    // The table and its triggers appear together, filled, or not at all.
    bool ok = db.exec(QStringLiteral("SAVEPOINT 重复卡号"))
              && db.execScript(
                  QStringLiteral("CREATE TABLE 用户信息_重复卡号 (卡号 VARCHAR(15) PRIMARY KEY) WITHOUT ROWID;"
                                 "CREATE TRIGGER IF NOT EXISTS 用户信息_重复卡号_加 AFTER INSERT ON 用户信息 BEGIN ")
                  + add
                  + QStringLiteral(" END; CREATE TRIGGER IF NOT EXISTS 用户信息_重复卡号_删 AFTER DELETE ON 用户信息 BEGIN ")
                  + drop
                  + QStringLiteral(" END; CREATE TRIGGER IF NOT EXISTS 用户信息_重复卡号_改 AFTER UPDATE OF 卡号 ON 用户信息 BEGIN ")
                  + drop + add
                  + QStringLiteral(" END; INSERT INTO 用户信息_重复卡号 SELECT 卡号 FROM 用户信息 WHERE 卡号 IS NOT NULL"
                                   " GROUP BY 卡号 HAVING count(*) > 1"));
    if (!ok)
        db.exec(QStringLiteral("ROLLBACK TO 重复卡号"));
    db.exec(QStringLiteral("RELEASE 重复卡号"));
    return ok;
}

bool createProgramDatabase(const QString& path, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("%1 exists; refusing to overwrite it").arg(path));
    const QString partial = path + QStringLiteral(".new");
    QFile::remove(partial);
    {
        Database db;
        if (!db.create(partial))
            return fail(db.lastError());
        if (!db.beginTransaction() || !createProgramTables(db) || !EnsureRecordTable(db) || !db.commit()) {
            const QString why = db.lastError();
            db.close();
            QFile::remove(partial);
            return fail(why);
        }
    }
    // rename() does not replace: a file that appeared meanwhile is kept.
    if (!QFile::rename(partial, path)) {
        QFile::remove(partial);
        return fail(QStringLiteral("cannot create %1").arg(path));
    }
    return true;
}

} // namespace k27
