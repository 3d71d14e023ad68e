#include "RegisterCopy.h"

#include "db/Database.h"
#include "db/FileModes.h"
#include "db/Schema.h"
#include "db/ServerConnection.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <cstdio>
#include <libpq-fe.h>

namespace k27 {

namespace {

struct Table
{
    const char* name;
    const char* key; // the column that orders and resumes it; empty: copied whole
    const char* columns;
    bool log = false; // the operator log: a restore keeps the register's own
};

// Every table the register keeps. The card lists (进出记录_卡号, 用户信息_重复卡号) follow
// from the rows by the target's own triggers.
const Table Tables[] = {
    {"用户信息", "ID", "ID, 姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限"},
    {"用户表", "rowid", "rowid, name, Password, userrote, mark"},
    {"终端机", "", "终端机号, 地址"},
    {"进出记录", "ID", "ID, 卡号, 进出时间, 终端机号, 星期"},
    {"操作日志", "序号", "序号, 时间, 计算机, 操作员, 动作, 对象, 详情, hash", true},
    {"操作日志_头", "id", "id, 序号, hash", true},
};

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

QString orderOf(const Table& t)
{
    return *t.key ? u(t.key) : u(t.columns);
}

// Every row of `select`. On a server through a cursor of the open transaction, so that a table
// of millions of rows never sits in memory at once.
bool readRows(Database& db, const QString& select, const std::function<bool(const Row&)>& row)
{
    if (!db.isServer())
        return db.query(select, {}, row);
    constexpr int Batch = 10000;
    if (!db.exec(QStringLiteral("DECLARE k27_rows NO SCROLL CURSOR FOR ") + select))
        return false;
    bool ok = true, more = true;
    while (ok && more) {
        int fetched = 0;
        ok = db.query(QStringLiteral("FETCH FORWARD %1 FROM k27_rows").arg(Batch), {}, [&](const Row& r) {
            ++fetched;
            more = row(r);
            return more;
        });
        more = more && fetched == Batch;
    }
    return db.exec(QStringLiteral("CLOSE k27_rows")) && ok;
}

// One field in COPY's text format.
void copyField(QByteArray& out, const Row& row, int column)
{
    if (row.isNull(column)) {
        out += "\\N";
        return;
    }
    for (const char c : row.text(column).toUtf8()) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

QString quotedColumns(const Table& t)
{
    QStringList names;
    for (const QString& c : u(t.columns).split(QStringLiteral(", ")))
        names << u'"' + c + u'"';
    return names.join(QStringLiteral(", "));
}

// Sends `rows` with COPY in the open transaction.
bool sendCopy(Database& server, const Table& t, const QByteArray& rows, QString* error)
{
    pg_conn* conn = server.serverConnection()->handle();
    const QByteArray sql = QStringLiteral("COPY \"%1\" (%2) FROM STDIN").arg(u(t.name), quotedColumns(t)).toUtf8();
    PGresult* started = PQexec(conn, sql.constData());
    const bool copying = PQresultStatus(started) == PGRES_COPY_IN;
    PQclear(started);
    if (!copying)
        return fail(error, QString::fromUtf8(PQerrorMessage(conn)).trimmed());
    const bool sent = PQputCopyData(conn, rows.constData(), int(rows.size())) == 1 && PQputCopyEnd(conn, nullptr) == 1;
    bool ok = sent;
    while (PGresult* result = PQgetResult(conn)) {
        ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    return ok || fail(error, QString::fromUtf8(PQerrorMessage(conn)).trimmed());
}

// A one-desk file may hold what the shared register refuses: two cardholders whose trimmed
// name and phone are the same, a terminal number twice, an operator name twice (older
// programs, or a file edited outside). Found before anything is written, named, and left for
// the operator to settle: the copy must neither fail half-way nor drop a row.
bool uniqueOnServer(Database& file, QString* error)
{
    struct Key
    {
        const char* table;
        const char* what;
        const char* key;
        const char* shown;
        const char* present;
    };
    const Key keys[] = {
        {"用户信息", "cardholder", "trim(姓名), trim(电话)", "trim(姓名) || ' / ' || trim(电话)",
         "姓名 IS NOT NULL AND 电话 IS NOT NULL"},
        {"终端机", "terminal", "CAST(终端机号 AS INTEGER)", "CAST(终端机号 AS INTEGER)", "终端机号 IS NOT NULL"},
        {"用户表", "operator", "trim(name)", "trim(name)", "name IS NOT NULL"},
    };
    constexpr int Shown = 10;
    QStringList lines;
    int found = 0;
    for (const Key& k : keys) {
        if (!file.hasTable(u(k.table)))
            continue;
        const bool read = readRows(
            file,
            QStringLiteral("SELECT %1, count(*) FROM %2 WHERE %3 GROUP BY %4 HAVING count(*) > 1"
                           " ORDER BY 1")
                .arg(u(k.shown), u(k.table), u(k.present), u(k.key)),
            [&](const Row& row) {
                if (++found <= Shown)
                    lines << QStringLiteral("  %1 %2 (%3 rows)").arg(u(k.what), row.text(0)).arg(row.integer(1));
                return true;
            });
        if (!read)
            return fail(error, file.lastError());
    }
    if (found == 0)
        return true;
    if (found > Shown)
        lines << QStringLiteral("  and %1 more").arg(found - Shown);
    return fail(error, QStringLiteral("the file holds rows a shared register keeps unique; make each of them"
                                      " unique (change or delete the others), then copy again:\n")
                           + lines.join(u'\n'));
}

// `replacing`: inside the caller's transaction, into tables it emptied, the log left out.
bool toServer(Database& from, Database& to, const RegisterCopy& copy, QString* error, bool replacing = false)
{
    for (const Table& t : Tables) {
        if (!from.hasTable(u(t.name)) || !to.hasTable(u(t.name)) || (replacing && t.log))
            continue;
        const qint64 total = from.scalar(QStringLiteral("SELECT count(*) FROM ") + u(t.name)).toLongLong();
        if (!*t.key && !replacing) {
            // A small table without a key: all of it in one transaction, or nothing.
            const qint64 there = to.scalar(QStringLiteral("SELECT count(*) FROM ") + u(t.name)).toLongLong();
            if (there == total && total > 0)
                continue;
            if (there != 0)
                return fail(
                    error,
                    QStringLiteral("%1 on the server holds other rows; copy into an empty register").arg(u(t.name)));
        }
        // Rows keep their numbers: a copy started again goes on after the last one there.
        qint64 after = *t.key
                           ? to.scalar(QStringLiteral("SELECT coalesce(max(%1), -1) FROM %2").arg(u(t.key), u(t.name)))
                                 .toLongLong()
                           : -1;
        qint64 done = *t.key ? to.scalar(QStringLiteral("SELECT count(*) FROM ") + u(t.name)).toLongLong() : 0;
        if (copy.progress)
            copy.progress(u(t.name), done, total);
        for (;;) {
            QByteArray rows;
            qint64 inBatch = 0;
            const QString select = QStringLiteral("SELECT %1 FROM %2").arg(u(t.columns), u(t.name))
                                   + (*t.key ? QStringLiteral(" WHERE %1 > ? ORDER BY %1 LIMIT ?").arg(u(t.key))
                                             : QString());
            const QVariantList params = *t.key ? QVariantList{after, copy.batchRows} : QVariantList{};
            const bool read = from.query(select, params, [&](const Row& row) {
                for (int c = 0; c < row.count(); ++c) {
                    if (c)
                        rows += '\t';
                    copyField(rows, row, c);
                }
                rows += '\n';
                if (*t.key)
                    after = row.integer(0);
                ++inBatch;
                return true;
            });
            if (!read)
                return fail(error, from.lastError());
            if (inBatch == 0)
                break;
            if (replacing ? !sendCopy(to, t, rows, error)
                          : (!to.beginTransaction() || !sendCopy(to, t, rows, error) || !to.commit())) {
                if (error && error->isEmpty())
                    *error = to.lastError();
                if (!replacing)
                    to.rollback();
                return false;
            }
            done += inBatch;
            if (copy.progress)
                copy.progress(u(t.name), done, total);
            if (!*t.key)
                break;
        }
    }
    // The identity numbers go on after the rows copied, and never go back: a number is not
    // undone with a rolled-back transaction, so a lower one could be handed out twice.
    for (const auto& [table, column] : {std::pair{"用户信息", "ID"}, {"进出记录", "ID"}, {"用户表", "rowid"}})
        if (!to.execNative(
                QStringLiteral("SELECT setval(s, greatest(m, nextval(s) - 1)) FROM (SELECT "
                               "pg_get_serial_sequence('\"%1\"', '%2') AS s, max(\"%2\") AS m FROM \"%1\") x "
                               "WHERE m IS NOT NULL")
                    .arg(u(table), u(column))))
            return fail(error, to.lastError());
    return true;
}

// `digest` gets the register's digest as of the snapshot copied.
bool toFile(Database& from, const QString& target, const RegisterCopy& copy, QStringList* digest, QString* error)
{
    if (QFileInfo::exists(target))
        return fail(error, QStringLiteral("%1 exists; refusing to overwrite it").arg(target));
    const QString partial = target + QStringLiteral(".copy");
    QFile::remove(partial);
    if (!createProgramDatabase(partial, error))
        return false;
    bool ok = false;
    {
        Database to;
        ok = to.open(partial) && (!copy.prepareTarget || copy.prepareTarget(to))
             && to.useBulkWrites()
             // The log's head comes from the register, not the empty log just made.
             && (!to.hasTable(QStringLiteral("操作日志_头"))
                 || to.exec(QStringLiteral("DELETE FROM 操作日志_头 WHERE 序号 = 0")))
             // One snapshot of the whole register, however long the copy takes.
             && from.execNative(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))
             && to.beginTransaction();
        for (const Table& t : Tables) {
            if (!ok || !from.hasTable(u(t.name)) || !to.hasTable(u(t.name)))
                continue;
            const int width = int(u(t.columns).split(QStringLiteral(", ")).size());
            QStringList marks;
            for (int i = 0; i < width; ++i)
                marks << QStringLiteral("?");
            Statement insert(
                to, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(u(t.name), u(t.columns), marks.join(u',')));
            const qint64 total = from.scalar(QStringLiteral("SELECT count(*) FROM ") + u(t.name)).toLongLong();
            qint64 done = 0;
            ok = readRows(from,
                          QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(u(t.columns), u(t.name), orderOf(t)),
                          [&](const Row& row) {
                              for (int c = 0; c < width; ++c) {
                                  if (row.isNull(c))
                                      insert.bindNull(c + 1);
                                  else
                                      insert.bind(c + 1, row.text(c));
                              }
                              if (!insert.exec())
                                  return false;
                              if (++done % copy.batchRows == 0 && copy.progress)
                                  copy.progress(u(t.name), done, total);
                              return true;
                          })
                 && done == total;
            if (copy.progress)
                copy.progress(u(t.name), done, total);
        }
        ok = ok && to.commit();
        if (ok)
            *digest = registerDigest(from, error);
        // One self-contained file, as the program's own copies are.
        ok = ok && !digest->isEmpty() && to.scalar(QStringLiteral("PRAGMA journal_mode = DELETE")).isValid();
        if (!ok && error && error->isEmpty())
            *error = !to.lastError().isEmpty() ? to.lastError() : from.lastError();
        from.rollback();
    }
    if (!ok || !QFile::rename(partial, target)) {
        QFile::remove(partial);
        return ok ? fail(error, QStringLiteral("cannot create %1").arg(target)) : false;
    }
    return true;
}

} // namespace

QStringList registerDigest(Database& db, QString* error)
{
    // On a server every table is read in one snapshot of its own, unless the caller holds one.
    const bool ownSnapshot = db.isServer() && !db.inTransaction();
    if (ownSnapshot && !db.execNative(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"))) {
        fail(error, db.lastError());
        return {};
    }
    const auto endSnapshot = qScopeGuard([&] {
        if (ownSnapshot)
            db.rollback();
    });
    QStringList lines;
    for (const Table& t : Tables) {
        if (!db.hasTable(u(t.name)))
            continue;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        qint64 rows = 0;
        const bool ok = readRows(
            db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3").arg(u(t.columns), u(t.name), orderOf(t)),
            [&](const Row& row) {
                for (int c = 0; c < row.count(); ++c) {
                    const QByteArray field = row.isNull(c) ? QByteArray("\\N") : row.text(c).toUtf8();
                    hash.addData(QByteArray::number(field.size()) + ':' + field);
                }
                ++rows;
                return true;
            });
        if (!ok) {
            fail(error, db.lastError());
            return {};
        }
        lines << QStringLiteral("%1 %2 %3")
                     .arg(u(t.name))
                     .arg(rows)
                     .arg(QString::fromLatin1(hash.result().toHex().left(16)));
    }
    return lines;
}

bool RegisterCopy::run(const QString& source, const QString& target, QString* error)
{
    const bool toServerRegister = Database::isServerUrl(target);
    if (toServerRegister == Database::isServerUrl(source))
        return fail(error, QStringLiteral("copy goes from a file to a server or from a server to a file"));
    Database from;
    if (!from.open(source, !toServerRegister))
        return fail(error, from.lastError());
    if (!toServerRegister && !hasRegisterTables(from, error))
        return false;
    if (!toServerRegister) {
        QStringList want;
        return toFile(from, target, *this, &want, error) && [&] {
            Database check;
            QString why;
            if (!check.open(target, true) || registerDigest(check, &why) != want)
                return fail(error, QStringLiteral("the copy differs from the register: %1").arg(why));
            return true;
        }();
    }
    if (!uniqueOnServer(from, error))
        return false;
    Database to;
    if (!to.open(target))
        return fail(error, to.lastError());
    if (serverSchemaState(to) == SchemaState::None) {
        if (!to.beginTransaction() || !createServerSchema(to) || !to.commit())
            return fail(error, to.lastError());
    }
    if (prepareTarget && !prepareTarget(to))
        return fail(error, to.lastError());
    if ((to.hasTable(QStringLiteral("操作日志_头"))
         && !to.exec(QStringLiteral("DELETE FROM 操作日志_头 WHERE 序号 = 0")))
        || !toServer(from, to, *this, error))
        return false;
    QString why;
    const QStringList want = registerDigest(from, &why);
    const QStringList have = registerDigest(to, &why);
    if (want.isEmpty() || want != have)
        return fail(error, QStringLiteral("the register on the server differs from the file:\n%1\n%2")
                               .arg(want.join(u'\n'), have.join(u'\n')));
    return true;
}

bool RegisterCopy::snapshot(const QString& url, const QString& target, QString* error)
{
    // A name beside the target (one file system for the rename) that start-up clears if a run
    // dies while copying.
    QTemporaryFile reserve(target + QStringLiteral(".XXXXXX.tmp"));
    if (!reserve.open())
        return fail(error, QStringLiteral("cannot create a file beside ") + target);
    const QString partial = reserve.fileName();
    reserve.close();
    reserve.remove();
    if (!run(url, partial, error))
        return false;
    // Every cardholder is in it: owner-only, or the stricter mode of the copy it replaces.
    QFile::setPermissions(partial, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    keepStricterMode(partial, target);
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(target + QLatin1String(suffix));
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(partial);
        return fail(error, QStringLiteral("cannot put the copy in place of ") + target);
    }
    return true;
}

bool RegisterCopy::replaceServer(Database& file, Database& server, QString* error)
{
    if (!uniqueOnServer(file, error))
        return false;
    // Emptied from the rows that others point at; the card list of the records follows from
    // the records put back.
    for (const char* table : {"进出记录_卡号", "进出记录", "终端机", "用户表", "用户信息", "用户信息_重复卡号"})
        if (server.hasTable(u(table)) && !server.execNative(QStringLiteral("DELETE FROM \"%1\"").arg(u(table))))
            return fail(error, server.lastError());
    return toServer(file, server, *this, error, true);
}

} // namespace k27
