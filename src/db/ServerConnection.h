#pragma once

#include "db/Database.h"

#include <QString>
#include <QVariant>

struct pg_conn;

namespace k27 {

// One connection to a PostgreSQL server (libpq), behind Database. Statements come in the
// server's dialect already (ServerDialect.h).
class ServerConnection
{
public:
    ~ServerConnection();

    // Connects to `url` (a libpq URI). Nullptr on failure, with the reason and its kind.
    // How this program names its connections on the server ("k27center@" and the computer's
    // name, seen in pg_stat_activity.application_name), and the computer named by one.
    static QString applicationName();
    static QString computerOf(const QString& applicationName);
    // The server processes (pg_stat_activity.pid) of this program's connections open now.
    static QList<int> ownBackends();
    // A connection this class did not open (the live view's listener) counted in or out of them.
    static void noteOwnBackend(int pid, bool open);
    // The kind of fault of libpq's message of a failed connection.
    static Database::Fault classify(const QString& message);
    static std::unique_ptr<ServerConnection> connect(const QString& url, QString* error, Database::Fault* fault);
    // The same connection begun without waiting (PQconnectStartParams), for a caller that
    // polls it as the server answers; nullptr when out of memory.
    static pg_conn* startConnect(const QString& url);

    // Runs one statement with its values. A failed write inside a transaction is undone alone
    // (the transaction goes on, as on the embedded engine). Nullptr on failure (error(), state()).
    pg_result* run(const QString& sql, const QVariantList& params);
    // The same for a statement in the server's own SQL ($1, $2... for the values).
    pg_result* runNative(const QString& sql, const QVariantList& params);
    // Several statements without values.
    bool script(const QString& sql);

    bool inTransaction() const;
    bool isLinked() const;
    int changes() const { return m_changes; }
    qint64 lastInsertId();
    const QString& error() const { return m_error; }
    // The server's five-character code of the last failure (empty when the link failed).
    const QString& state() const { return m_state; }

    pg_conn* handle() const { return m_conn; }
    // How long one statement may run before the server cancels it: the longest single
    // statement of an import or deletion stays well below it (K27_STATEMENT_TIMEOUT_MS sets it).
    static constexpr int DefaultStatementTimeoutMs = 120000;
    static int statementTimeoutMs();
    // The server's process behind this connection (0 when there is none).
    int processId() const;

private:
    pg_result* runGuarded(const QString& sql, const QVariantList& params, bool rewrite);
    pg_result* runOnce(const QString& sql, const QVariantList& params, bool rewrite);
    // The answer of the statement just sent, waiting on the socket; shown (ServerWait) when it
    // is long on the window's thread and `shown` allows it.
    pg_result* answer(bool shown);
    // A statement sent while another one's answer is awaited (the window's events ran it
    // during a ServerWait): that answer is read and kept for its own caller first.
    void settleAwaited();
    bool simple(const char* sql);
    pg_conn* m_conn = nullptr;
    int m_sent = 0;    // statements sent so far, numbering them
    int m_awaited = 0; // the statement whose answer a shown wait awaits (0: none)
    int m_settled = 0; // the awaited statement whose answer settleAwaited() read
    pg_result* m_settledAnswer = nullptr;
    int m_changes = 0;
    QString m_error;
    QString m_state;
};

// The values of a result row, converted as the embedded engine gives them.
int serverColumns(const pg_result* result);
bool serverIsNull(const pg_result* result, int row, int column);
QString serverText(const pg_result* result, int row, int column);
qint64 serverInteger(const pg_result* result, int row, int column);
QVariant serverValue(const pg_result* result, int row, int column);
void serverFree(pg_result* result);
int serverRows(const pg_result* result);

// Appends `text` as one element of an array literal (without the braces): quoted, its quotes
// and backslashes escaped, so that commas, braces and blanks stay in it. A statement that
// takes many rows in one value (unnest) sends each column this way.
void appendArrayElement(QByteArray& array, const QString& text);
// The literal of `elements` so built.
inline QString arrayLiteral(const QByteArray& elements)
{
    return QString::fromUtf8('{' + elements + '}');
}

} // namespace k27
