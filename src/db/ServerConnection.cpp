#include "ServerConnection.h"

#include "db/BoundValue.h"
#include "db/ServerDialect.h"
#include "db/ServerWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>

#include <cctype>
#include <libpq-fe.h>
#include <mutex>
#include <poll.h>
#include <vector>

namespace k27 {

namespace {

// Type numbers of the server's built-in types (pg_type.oid).
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    NumericOid = 1700
};

} // namespace

Database::Fault ServerConnection::classify(const QString& message)
{
    // Names in quotes (a host "sslgw", a user "password") say nothing about the fault.
    QString m = message.toLower();
    m.remove(QRegularExpression(QStringLiteral("\"[^\"]*\"")));
    const auto any = [&m](std::initializer_list<const char*> phrases) {
        for (const char* phrase : phrases)
            if (m.contains(QLatin1String(phrase)))
                return true;
        return false;
    };
    if (any({"password", "authentication failed"}))
        return Database::Fault::Password;
    // The client's TLS failing, or a server that accepts this client only with TLS.
    if (any({"ssl", "certificate", "tls", "no encryption"}))
        return Database::Fault::Tls;
    if (any({"could not connect", "connection refused", "could not translate host", "timeout",
             "no such file or directory", "network is unreachable", "no route to host", "server closed the connection",
             "the database system is"}))
        return Database::Fault::Unreachable;
    return Database::Fault::Other;
}

namespace {

std::mutex backendsMutex;
QList<int> backends; // of the connections open now

} // namespace

ServerConnection::~ServerConnection()
{
    if (m_conn) {
        noteOwnBackend(PQbackendPID(m_conn), false);
        PQfinish(m_conn);
    }
}

void ServerConnection::noteOwnBackend(int pid, bool open)
{
    const std::lock_guard lock(backendsMutex);
    if (open)
        backends << pid;
    else
        backends.removeOne(pid);
}

QList<int> ServerConnection::ownBackends()
{
    const std::lock_guard lock(backendsMutex);
    return backends;
}

QString ServerConnection::applicationName()
{
    // The server keeps 63 bytes of it.
    return (QStringLiteral("k27center@") + QSysInfo::machineHostName()).left(60);
}

QString ServerConnection::computerOf(const QString& applicationName)
{
    const QString prefix = QStringLiteral("k27center@");
    return applicationName.startsWith(prefix) ? applicationName.mid(prefix.size()) : applicationName;
}

pg_conn* ServerConnection::startConnect(const QString& url)
{
    const QByteArray dbname = url.toUtf8();
    const QByteArray name = applicationName().toUtf8();
    const char* keywords[] = {"dbname", "application_name", "client_encoding", nullptr};
    const char* values[] = {dbname.constData(), name.constData(), "UTF8", nullptr};
    return PQconnectStartParams(keywords, values, 1);
}

int ServerConnection::statementTimeoutMs()
{
    const int set = qEnvironmentVariableIntValue("K27_STATEMENT_TIMEOUT_MS");
    return set > 0 ? set : DefaultStatementTimeoutMs;
}

int ServerConnection::processId() const
{
    return m_conn ? PQbackendPID(m_conn) : 0;
}

std::unique_ptr<ServerConnection> ServerConnection::connect(const QString& url, QString* error, Database::Fault* fault)
{
    QByteArray dbname = url.toUtf8();
    // The URL decides everything it names; a server that does not answer is given up after a
    // few seconds instead of the system's minutes. The connection carries this computer's name,
    // so that a desk told to wait for another can be told which one it is.
    const QByteArray name = applicationName().toUtf8();
    const char* keywords[] = {"dbname", "connect_timeout", "application_name", "client_encoding", nullptr};
    const char* values[] = {dbname.constData(), "8", name.constData(), "UTF8", nullptr};
    auto connection = std::make_unique<ServerConnection>();
    connection->m_conn = PQconnectdbParams(keywords, values, 1);
    // It may carry a password typed at start.
    dbname.fill('\0');
    if (!connection->m_conn || PQstatus(connection->m_conn) != CONNECTION_OK) {
        const QString message = connection->m_conn ? QString::fromUtf8(PQerrorMessage(connection->m_conn)).trimmed()
                                                   : QStringLiteral("out of memory");
        *error = message;
        *fault = classify(message);
        return nullptr;
    }
    // A statement that hangs (a lock never given back, a server that stopped answering) is
    // cancelled by the server and fails like any other, instead of holding the desk for ever.
    const QByteArray timeout = "SET statement_timeout = " + QByteArray::number(statementTimeoutMs());
    PQclear(PQexec(connection->m_conn, timeout.constData()));
    noteOwnBackend(PQbackendPID(connection->m_conn), true);
    // The server's notices ("drop cascades to ...") are not the program's output.
    PQsetNoticeProcessor(
        connection->m_conn, [](void*, const char*) {}, nullptr);
    return connection;
}

bool ServerConnection::simple(const char* sql)
{
    settleAwaited();
    PGresult* result = PQexec(m_conn, sql);
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) {
        m_error = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        if (m_error.isEmpty())
            m_error = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        m_state = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
    }
    PQclear(result);
    return ok;
}

bool ServerConnection::script(const QString& sql)
{
    return simple(sql.toUtf8().constData());
}

bool ServerConnection::isLinked() const
{
    // While a shown wait awaits an answer the connection stays: the statements the window's
    // events send meanwhile learn of a lost link from their own answers.
    return m_awaited != 0 || PQstatus(m_conn) == CONNECTION_OK;
}

bool ServerConnection::inTransaction() const
{
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

pg_result* ServerConnection::run(const QString& sql, const QVariantList& params)
{
    return runGuarded(sql, params, true);
}

pg_result* ServerConnection::runNative(const QString& sql, const QVariantList& params)
{
    return runGuarded(sql, params, false);
}

namespace {

ServerWait* installedWait = nullptr;

// Waits until the socket has something to read, or `ms` (-1: no limit); false on a fault.
bool readable(pg_conn* conn, int ms)
{
    pollfd socket{PQsocket(conn), POLLIN, 0};
    if (socket.fd < 0)
        return false;
    const int ready = ::poll(&socket, 1, ms);
    return ready >= 0 || errno == EINTR;
}

// Reads the statement's results to the end and keeps the last (a single statement has one).
PGresult* lastResult(pg_conn* conn)
{
    PGresult* last = nullptr;
    while (PGresult* next = PQgetResult(conn)) {
        PQclear(last);
        last = next;
    }
    return last;
}

} // namespace

void ServerWait::install(ServerWait* wait)
{
    installedWait = wait;
}

ServerWait* ServerWait::installed()
{
    return installedWait;
}

pg_result* ServerConnection::answer(bool shown)
{
    const int statement = ++m_sent;
    QCoreApplication* application = QCoreApplication::instance();
    ServerWait* wait = shown && installedWait && m_awaited == 0 && application
                               && QThread::currentThread() == application->thread()
                           ? installedWait
                           : nullptr;
    QElapsedTimer clock;
    clock.start();
    bool showing = false;
    bool cancelled = false;
    while (m_settled != statement && PQisBusy(m_conn)) {
        if (!readable(m_conn, wait ? 20 : -1) || !PQconsumeInput(m_conn))
            break; // the link failed: the result says so
        if (!wait || cancelled || clock.elapsed() < ServerWait::ShowAfterMs || !PQisBusy(m_conn))
            continue;
        if (!showing) {
            showing = true;
            m_awaited = statement;
            wait->begin();
        }
        // Events run here; a statement one of them sends settles this one's answer first.
        if (m_settled != statement && wait->cancelRequested()) {
            cancelled = true;
            if (PGcancel* cancel = PQgetCancel(m_conn)) {
                char error[256];
                PQcancel(cancel, error, int(sizeof error));
                PQfreeCancel(cancel);
            }
        }
    }
    if (showing) {
        m_awaited = 0;
        wait->end();
    }
    if (m_settled == statement) {
        m_settled = 0;
        PGresult* settled = m_settledAnswer;
        m_settledAnswer = nullptr;
        return settled;
    }
    return lastResult(m_conn);
}

void ServerConnection::settleAwaited()
{
    if (m_awaited == 0 || m_settled == m_awaited)
        return;
    while (PQisBusy(m_conn) && readable(m_conn, -1) && PQconsumeInput(m_conn)) {
    }
    m_settledAnswer = lastResult(m_conn);
    m_settled = m_awaited;
}

pg_result* ServerConnection::runGuarded(const QString& sql, const QVariantList& params, bool rewrite)
{
    settleAwaited();
    const QString keyword = firstKeyword(sql);
    const PGTransactionStatusType status = PQtransactionStatus(m_conn);
    if (keyword == QLatin1String("BEGIN") && status != PQTRANS_IDLE) {
        m_error = QStringLiteral("cannot start a transaction within a transaction");
        m_state.clear();
        return nullptr;
    }
    if ((keyword == QLatin1String("COMMIT") || keyword == QLatin1String("END")) && status == PQTRANS_INERROR) {
        // The server would answer a commit of a failed transaction with a rollback.
        simple("ROLLBACK");
        m_error = QStringLiteral("the transaction was rolled back after a failed statement");
        m_state.clear();
        return nullptr;
    }
    // The embedded engine undoes a refused write alone; the server would abort the whole
    // transaction. A savepoint around each write inside a transaction keeps the difference here.
    const bool guard = status == PQTRANS_INTRANS && keyword != QLatin1String("SELECT")
                       && keyword != QLatin1String("COMMIT") && keyword != QLatin1String("END")
                       && keyword != QLatin1String("ROLLBACK") && keyword != QLatin1String("SAVEPOINT")
                       && keyword != QLatin1String("RELEASE");
    if (guard && !simple("SAVEPOINT k27_statement"))
        return nullptr;
    pg_result* result = runOnce(sql, params, rewrite);
    if (guard) {
        if (!result) {
            const QString error = m_error, state = m_state;
            simple("ROLLBACK TO SAVEPOINT k27_statement");
            m_error = error;
            m_state = state;
        }
        simple("RELEASE SAVEPOINT k27_statement");
    }
    return result;
}

pg_result* ServerConnection::runOnce(const QString& sql, const QVariantList& params, bool rewrite)
{
    int count = 0;
    const QByteArray statement = (rewrite ? serverStatement(sql, &count) : sql).toUtf8();
    count = qMax(count, int(params.size()));
    std::vector<Oid> types(size_t(count), 0);
    std::vector<QByteArray> data(static_cast<size_t>(count));
    std::vector<const char*> values(size_t(count), nullptr);
    std::vector<int> lengths(size_t(count), 0);
    std::vector<int> formats(size_t(count), 0);
    for (int i = 0; i < count && i < params.size(); ++i) {
        const QVariant& v = params[i];
        switch (boundKind(v)) {
        case BoundKind::Null: continue;
        case BoundKind::Integer:
            types[size_t(i)] = Int8Oid;
            data[size_t(i)] = QByteArray::number(v.toLongLong());
            break;
        case BoundKind::Real:
            types[size_t(i)] = Float8Oid;
            data[size_t(i)] = QByteArray::number(v.toDouble(), 'g', 17);
            break;
        case BoundKind::Bytes:
            types[size_t(i)] = ByteaOid;
            data[size_t(i)] = v.toByteArray();
            formats[size_t(i)] = 1;
            break;
        case BoundKind::Text: data[size_t(i)] = v.toString().toUtf8(); break;
        }
        values[size_t(i)] = data[size_t(i)].constData();
        lengths[size_t(i)] = int(data[size_t(i)].size());
    }
    // A click's reads may show that the window waits; a transaction's statements belong to a
    // run with a progress of its own, and its window events run only between its steps.
    const bool shown = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    PGresult* result = PQsendQueryParams(m_conn, statement.constData(), count, types.data(), values.data(),
                                         lengths.data(), formats.data(), 0)
                           ? answer(shown)
                           : nullptr;
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        m_error = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        if (m_error.isEmpty())
            m_error = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        m_state = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        // For finding a statement the server reads differently: its text, never its values.
        if (qEnvironmentVariableIsSet("K27_DEBUG_SQL"))
            fprintf(stderr, "SQL FAILED %s\n  %s\n", statement.constData(), qPrintable(m_error));
        PQclear(result);
        return nullptr;
    }
    if (status == PGRES_COMMAND_OK)
        m_changes = atoi(PQcmdTuples(result));
    return result;
}

qint64 ServerConnection::lastInsertId()
{
    // lastval() fails in a session that has drawn no number yet; inside a transaction that
    // failure must not abort it.
    const bool guard = PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    if (guard && !simple("SAVEPOINT k27_lastval"))
        return 0;
    PGresult* result = PQexec(m_conn, "SELECT lastval()");
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1;
    const qint64 id = ok ? QByteArray(PQgetvalue(result, 0, 0)).toLongLong() : 0;
    PQclear(result);
    if (guard) {
        if (!ok)
            simple("ROLLBACK TO SAVEPOINT k27_lastval");
        simple("RELEASE SAVEPOINT k27_lastval");
    }
    return id;
}

int serverColumns(const pg_result* result)
{
    return PQnfields(result);
}

int serverRows(const pg_result* result)
{
    return PQntuples(result);
}

void appendArrayElement(QByteArray& array, const QString& text)
{
    if (!array.isEmpty())
        array += ',';
    array += '"';
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            array += '\\';
        array += c;
    }
    array += '"';
}

void serverFree(pg_result* result)
{
    PQclear(result);
}

bool serverIsNull(const pg_result* result, int row, int column)
{
    return PQgetisnull(result, row, column);
}

QString serverText(const pg_result* result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return {};
    const char* data = PQgetvalue(result, row, column);
    if (PQftype(result, column) == BoolOid)
        return QString::number(data[0] == 't' ? 1 : 0);
    return QString::fromUtf8(data, PQgetlength(result, row, column));
}

qint64 serverInteger(const pg_result* result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return 0;
    const char* data = PQgetvalue(result, row, column);
    if (PQftype(result, column) == BoolOid)
        return data[0] == 't' ? 1 : 0;
    // As the embedded engine reads a number from text: its leading number, else 0.
    const QByteArray text = QByteArray(data).trimmed();
    bool ok = false;
    const qint64 whole = text.toLongLong(&ok);
    if (ok)
        return whole;
    qsizetype end = 0;
    while (
        end < text.size()
        && (std::isdigit(uchar(text[end])) || text[end] == '.' || text[end] == 'e' || text[end] == 'E'
            || ((text[end] == '-' || text[end] == '+') && (end == 0 || text[end - 1] == 'e' || text[end - 1] == 'E'))))
        ++end;
    return qint64(text.left(end).toDouble());
}

QVariant serverValue(const pg_result* result, int row, int column)
{
    if (PQgetisnull(result, row, column))
        return {};
    switch (PQftype(result, column)) {
    case BoolOid:
    case Int2Oid:
    case Int4Oid:
    case Int8Oid:
    case OidOid: return QVariant(serverInteger(result, row, column));
    case Float4Oid:
    case Float8Oid: return QVariant(QByteArray(PQgetvalue(result, row, column)).toDouble());
    case NumericOid: {
        const QByteArray text(PQgetvalue(result, row, column));
        bool whole = false;
        const qint64 n = text.toLongLong(&whole);
        return whole ? QVariant(n) : QVariant(text.toDouble());
    }
    case ByteaOid: {
        size_t length = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(result, row, column)),
                                               &length);
        const QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(length));
        PQfreemem(bytes);
        return QVariant(out);
    }
    default: return QVariant(serverText(result, row, column));
    }
}

} // namespace k27
