#include "Database.h"

#include "db/BoundValue.h"
#include "db/Schema.h"
#include "db/ServerConnection.h"
#include "db/ServerDialect.h"

#include <QFile>
#include <atomic>
#include <QFileInfo>
#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

namespace k27 {

int Row::count() const
{
    return m_result ? serverColumns(m_result) : sqlite3_column_count(m_statement);
}

bool Row::isNull(int column) const
{
    return m_result ? serverIsNull(m_result, m_row, column) : sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 Row::integer(int column) const
{
    return m_result ? serverInteger(m_result, m_row, column) : sqlite3_column_int64(m_statement, column);
}

QString Row::text(int column) const
{
    if (m_result)
        return serverText(m_result, m_row, column);
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    if (!data)
        return {};
    return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
}

QVariant Row::value(int column) const
{
    if (m_result)
        return serverValue(m_result, m_row, column);
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER: return QVariant(qint64(sqlite3_column_int64(m_statement, column)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_statement, column));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(m_statement, column)));
    }
    case SQLITE_NULL: return {};
    default: return QVariant(text(column));
    }
}

Database::Database() = default;

Database::~Database()
{
    close();
}

bool Database::isLinked() const
{
    return m_server ? m_server->isLinked() : m_db != nullptr;
}

bool Database::isServerUrl(const QString& path)
{
    return path.startsWith(QLatin1String("postgresql://")) || path.startsWith(QLatin1String("postgres://"));
}

bool Database::fail(const QString& what)
{
    if (m_server) {
        m_errorCode = 0;
        m_error = what + QStringLiteral(": ") + m_server->error();
        return false;
    }
    m_errorCode = m_db ? sqlite3_extended_errcode(m_db) : 0;
    m_error = m_db ? what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db)) : what;
    return false;
}

namespace {
std::atomic<int> keysDerived{0};
}

int Database::keyDerivations()
{
    return keysDerived.load();
}

static bool applyKey(sqlite3* db)
{
    keysDerived.fetch_add(1);
    return sqlite3_key(db, Database::Password, int(qstrlen(Database::Password))) == SQLITE_OK;
}

bool Database::open(const QString& path, bool readOnly)
{
    if (isServerUrl(path))
        return openServer(path);
    if (!openOnce(path, readOnly)) {
        // A journal left by a crash can only be rolled back by a writer: do that once, then
        // look again read-only.
        if (!readOnly || (m_errorCode & 0xff) != SQLITE_READONLY || !openOnce(path, false))
            return false;
        close();
        return openOnce(path, true);
    }
    return true;
}

bool Database::openOnce(const QString& path, bool readOnly)
{
    close();
    m_error.clear();
    m_errorCode = 0;
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("no database file at ") + path);
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK || !applyKey(m_db)) {
        fail(QStringLiteral("cannot open ") + path);
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    // The key is only tried at the first read: do it now so a wrong key fails here.
    if (!scalar(QStringLiteral("SELECT count(*) FROM sqlite_master")).isValid()) {
        const QString error = m_error;
        const int code = m_errorCode;
        close();
        m_error = error;
        m_errorCode = code;
        return false;
    }
    return true;
}

bool Database::create(const QString& path)
{
    if (isServerUrl(path))
        return openServer(path);
    close();
    m_error.clear();
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("file exists: ") + path);
    // The engine would create the file readable by everybody; an empty file made owner-only
    // first is a valid empty database, and its journals take the same mode.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(QStringLiteral("cannot create ") + path);
    ::close(fd);
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            != SQLITE_OK
        || !applyKey(m_db)) {
        fail(QStringLiteral("cannot create ") + path);
        close();
        QFile::remove(path);
        return false;
    }
    return true;
}

void Database::close()
{
    m_server.reset();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_cacheBeforeBulk = 0;
}

sqlite3_stmt* Database::prepare(const QString& sql, const QVariantList& params)
{
    if (!m_db) {
        m_error = QStringLiteral("database not open");
        return nullptr;
    }
    sqlite3_stmt* statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("prepare failed"));
        return nullptr;
    }
    for (int i = 0; i < params.size(); ++i) {
        const QVariant& v = params[i];
        int rc = SQLITE_OK;
        switch (boundKind(v)) {
        case BoundKind::Null: rc = sqlite3_bind_null(statement, i + 1); break;
        case BoundKind::Integer: rc = sqlite3_bind_int64(statement, i + 1, v.toLongLong()); break;
        case BoundKind::Real: rc = sqlite3_bind_double(statement, i + 1, v.toDouble()); break;
        case BoundKind::Bytes: {
            const QByteArray bytes = v.toByteArray();
            rc = sqlite3_bind_blob(statement, i + 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case BoundKind::Text: {
            // Explicit length: texts with NUL characters are stored whole.
            const QByteArray text = v.toString().toUtf8();
            rc = sqlite3_bind_text(statement, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            break;
        }
        }
        if (rc != SQLITE_OK) {
            fail(QStringLiteral("bind failed"));
            sqlite3_finalize(statement);
            return nullptr;
        }
    }
    return statement;
}

bool Database::query(const QString& sql, const QVariantList& params, const std::function<bool(const Row&)>& row)
{
    if (m_server) {
        pg_result* result = m_server->run(sql, params);
        if (!result)
            return fail(QStringLiteral("query failed"));
        const int rows = serverRows(result);
        for (int i = 0; i < rows && row; ++i)
            if (!row(Row(result, i)))
                break;
        serverFree(result);
        return true;
    }
    sqlite3_stmt* statement = prepare(sql, params);
    if (!statement)
        return false;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        if (row && !row(Row(statement))) {
            rc = SQLITE_DONE;
            break;
        }
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok)
        fail(QStringLiteral("query failed"));
    sqlite3_finalize(statement);
    return ok;
}

bool Database::exec(const QString& sql, const QVariantList& params)
{
    return query(sql, params, {});
}

QVariant Database::scalar(const QString& sql, const QVariantList& params)
{
    QVariant result;
    bool any = false;
    const bool ok = query(sql, params, [&](const Row& r) {
        result = r.value(0);
        any = true;
        return false;
    });
    if (ok && any && !result.isValid())
        return QVariant(QString()); // a null in the first row still counts as a row
    return ok ? result : QVariant();
}

bool Database::exists(const QString& sql, const QVariantList& params)
{
    bool any = false;
    query(sql, params, [&](const Row&) {
        any = true;
        return false;
    });
    return any;
}

bool Database::execScript(const QString& sql)
{
    if (m_server)
        return m_server->script(serverStatement(sql)) || fail(QStringLiteral("script failed"));
    if (!m_db)
        return fail(QStringLiteral("database not open"));
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        m_error = QString::fromUtf8(message ? message : "script failed");
        sqlite3_free(message);
        return false;
    }
    return true;
}

qint64 Database::lastInsertId() const
{
    if (m_server)
        return m_server->lastInsertId();
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Database::changes() const
{
    if (m_server)
        return m_server->changes();
    return m_db ? sqlite3_changes(m_db) : 0;
}

bool Database::execNative(const QString& sql)
{
    if (m_server)
        return m_server->script(sql) || fail(QStringLiteral("script failed"));
    return execScript(sql);
}

bool Database::integrityCheck(QString* problem)
{
    if (m_server) {
        // The server keeps its own files sound; what can be asked is that it answers.
        const bool ok = scalar(QStringLiteral("SELECT 1")).isValid();
        if (problem)
            *problem = ok ? QStringLiteral("ok") : m_error;
        return ok;
    }
    const QVariant result = scalar(QStringLiteral("PRAGMA integrity_check"));
    const QString text = result.isValid() ? result.toString() : m_error;
    if (problem)
        *problem = text;
    return text == QStringLiteral("ok");
}

qint64 Database::dataVersion()
{
    return scalar(QStringLiteral("PRAGMA data_version")).toLongLong();
}

QString Database::cipherVersion()
{
    if (m_server)
        return {};
    return scalar(QStringLiteral("PRAGMA cipher_version")).toString();
}

bool Database::hasTable(const QString& name)
{
    if (m_server)
        return exists(QStringLiteral("SELECT 1 WHERE to_regclass(quote_ident(?)) IS NOT NULL"), {name});
    return exists(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"), {name});
}

bool Database::inTransaction() const
{
    if (m_server)
        return m_server->inTransaction();
    return m_db && !sqlite3_get_autocommit(m_db);
}

bool Database::lastErrorRefusedRow() const
{
    if (m_server) {
        // Data exceptions (a value the column cannot take) and integrity constraints.
        const QString& state = m_server->state();
        return state.startsWith(QLatin1String("22")) || state.startsWith(QLatin1String("23"));
    }
    switch (m_errorCode & 0xff) {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE: return true;
    default: return false;
    }
}

bool Database::lastErrorDuplicateKey() const
{
    if (m_server)
        return m_server->state() == QLatin1String("23505");
    return m_errorCode == SQLITE_CONSTRAINT_UNIQUE || m_errorCode == SQLITE_CONSTRAINT_PRIMARYKEY;
}

bool Database::lastErrorBusy() const
{
    if (m_server) {
        // Serialization failure, deadlock, lock not available.
        const QString& state = m_server->state();
        return state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03");
    }
    const int code = m_errorCode & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

bool Database::useBulkWrites(int cacheKb)
{
    // The server chooses its own logging and cache.
    if (m_server)
        return true;
    // The log mode cannot change inside a transaction; it stays as it is then.
    const bool wal = inTransaction()
                     || scalar(QStringLiteral("PRAGMA journal_mode = WAL"))
                                .toString()
                                .compare(QStringLiteral("wal"), Qt::CaseInsensitive)
                            == 0;
    // The log is copied into the file (and flushed) once it holds 16 MB rather than 1,000
    // pages: a flush costs as much as thousands of rows, and each one holds up the window.
    const qint64 pageSize = qMax<qint64>(512, scalar(QStringLiteral("PRAGMA page_size")).toLongLong());
    if (m_cacheBeforeBulk == 0)
        m_cacheBeforeBulk = scalar(QStringLiteral("PRAGMA cache_size")).toLongLong();
    return wal && exec(QStringLiteral("PRAGMA synchronous = NORMAL"))
           && exec(QStringLiteral("PRAGMA wal_autocheckpoint = %1").arg((16 << 20) / pageSize))
           && exec(QStringLiteral("PRAGMA cache_size = -%1").arg(cacheKb));
}

void Database::endBulkWrites()
{
    if (m_server || !m_db || m_cacheBeforeBulk == 0)
        return;
    exec(QStringLiteral("PRAGMA cache_size = %1").arg(m_cacheBeforeBulk));
    sqlite3_db_release_memory(m_db);
    m_cacheBeforeBulk = 0;
}

bool Database::checkpoint()
{
    if (m_server)
        return true;
    if (!m_db || inTransaction())
        return false;
    // Busy returns at once instead of holding the window up for the busy timeout.
    sqlite3_busy_timeout(m_db, 0);
    bool done = false;
    query(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), {}, [&](const Row& row) {
        done = row.integer(0) == 0; // (busy, log frames, frames copied)
        return false;
    });
    sqlite3_busy_timeout(m_db, 2000);
    return done;
}

bool Database::copyEachCommitIntoFile()
{
    if (m_server)
        return true;
    return m_db && sqlite3_wal_autocheckpoint(m_db, 1) == SQLITE_OK;
}

bool Database::openServer(const QString& url)
{
    close();
    m_error.clear();
    m_errorCode = 0;
    m_fault = Fault::None;
    m_server = ServerConnection::connect(url, &m_error, &m_fault);
    if (!m_server)
        return false;
    QString why;
    const SchemaState state = serverSchemaState(*this, &why);
    if (state == SchemaState::Older && !upgradeServerSchema(*this)) {
        const QString reason = m_error;
        m_fault = Fault::Other;
        close();
        m_error = why + QStringLiteral(": ") + reason;
        return false;
    }
    if (state == SchemaState::Newer) {
        m_fault = Fault::NewerSchema;
        close();
        m_error = why;
        return false;
    }
    return true;
}

bool Database::isProgramDatabase(const QString& path, QString* problem)
{
    Database db;
    if (!db.open(path, true)) {
        if (problem)
            *problem = db.lastError();
        return false;
    }
    return hasRegisterTables(db, problem);
}

} // namespace k27
