#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;
struct pg_result;

namespace k27 {

class ServerConnection;

// One row of a result, valid only inside the callback that receives it.
class Row
{
public:
    explicit Row(sqlite3_stmt* statement) : m_statement(statement) {}
    Row(const pg_result* result, int row) : m_statement(nullptr), m_result(result), m_row(row) {}
    int count() const;
    QVariant value(int column) const; // null -> invalid QVariant
    QString text(int column) const;   // null -> empty text
    bool isNull(int column) const;
    qint64 integer(int column) const;

private:
    sqlite3_stmt* m_statement;
    const pg_result* m_result = nullptr;
    int m_row = 0;
};

// A connection to the program's register: the encrypted file of one desk (SQLCipher), or a
// register shared by several desks on a PostgreSQL server, named by a URL
// (postgresql://user@host/database, see isServerUrl). The statements are the same for both;
// the server's differences stay inside this folder. Every value goes in through bound
// parameters; no statement is ever built from operator or file text.
class Database
{
public:
    static constexpr const char* Password = "617varnezo";

    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the file with the database password and proves the key by reading the schema.
    // A wrong password, a damaged file or a non-database fails here, not at the first query.
    // A server URL connects to the server instead (a schema newer than this program's is
    // refused; lastFault() tells the kind of failure).
    bool open(const QString& path, bool readOnly = false);
    // Creates a new encrypted file (fails when the file exists). A server URL connects.
    bool create(const QString& path);
    void close();
    bool isOpen() const { return m_db != nullptr || m_server != nullptr; }
    QString lastError() const { return m_error; }
    sqlite3* handle() const { return m_db; }

    // True for a register on a server ("postgresql://..." or "postgres://...").
    static bool isServerUrl(const QString& path);
    bool isServer() const { return m_server != nullptr; }
    // False once the link to the server is lost (true for a file that is open).
    bool isLinked() const;
    enum class Fault { None, Unreachable, Password, Tls, NoSchema, NewerSchema, Other };
    // Why the last open of a server failed.
    Fault lastFault() const { return m_fault; }
    // The engine's own SQL as written, several statements allowed (the schema scripts of this
    // folder, written once per engine).
    bool execNative(const QString& sql);
    // The server connection (COPY of whole tables); nullptr for a file.
    ServerConnection* serverConnection() const { return m_server.get(); }

    bool exec(const QString& sql, const QVariantList& params = {});
    // Runs a query and calls `row` for each result row; `row` returns false to stop early.
    bool query(const QString& sql, const QVariantList& params, const std::function<bool(const Row&)>& row);
    // The first column of the first row, or an invalid QVariant.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    bool exists(const QString& sql, const QVariantList& params = {});
    // Statements separated by ";" without parameters (schema scripts).
    bool execScript(const QString& sql);

    qint64 lastInsertId() const;
    int changes() const;

    bool beginTransaction() { return exec(QStringLiteral("BEGIN")); }
    bool commit() { return exec(QStringLiteral("COMMIT")); }
    bool rollback() { return exec(QStringLiteral("ROLLBACK")); }
    // True while a transaction is open (the engine may have rolled one back by itself after a
    // failed write).
    bool inTransaction() const;
    // True when the last failure refused one row (a constraint, a value too big) and the
    // connection may go on writing; false for a failure of the file itself (disk full,
    // read-only, I/O error, damaged file), after which nothing more should be written.
    bool lastErrorRefusedRow() const;
    // True when the last failure was a row whose key is taken already (a unique rule): another
    // desk stored the same key first.
    bool lastErrorDuplicateKey() const;
    // True when the last failure was another connection holding the lock past the wait: the
    // same work may succeed when tried again.
    bool lastErrorBusy() const;

    // Prepares the connection for bulk writes: write-ahead log (kept in the file), commits
    // without a flush to disk (a crash of the program loses nothing committed, a power cut at
    // most the last commits), the log copied into the file every 16 MB, and a page cache of
    // `cacheKb` KiB.
    bool useBulkWrites(int cacheKb = 32768);
    // Ends them: the page cache back to its size before useBulkWrites(), the memory of the
    // pages it held beyond that given back (the log settings stay).
    void endBulkWrites();

    // Copies everything the write-ahead log holds into the file and empties the log, so that
    // the file alone holds every commit. Never waits: false when a reader or a writer of
    // another connection is in the way (the next try will do it). True without a log.
    bool checkpoint();
    // Each commit of this connection is copied from the write-ahead log into the file at once.
    bool copyEachCommitIntoFile();

    // A number that changes whenever another connection has committed a change to the file
    // (this connection's own commits leave it).
    qint64 dataVersion();
    // True when a write transaction keeps every other connection from committing until it
    // ends (the embedded file); on a server other desks commit beside it at any time.
    bool oneWriterAtATime() const { return !isServer(); }

    // PRAGMA integrity_check; returns true for "ok", else the first problem in *problem.
    bool integrityCheck(QString* problem = nullptr);
    QString cipherVersion();
    bool hasTable(const QString& name);

    // True when the file opens with the database password and holds the program's tables.
    static bool isProgramDatabase(const QString& path, QString* problem = nullptr);

    // How many times a key was derived in this process (each open or create costs one).
    static int keyDerivations();

private:
    friend class Statement;
    bool openOnce(const QString& path, bool readOnly);
    bool fail(const QString& what);
    sqlite3_stmt* prepare(const QString& sql, const QVariantList& params);

    bool openServer(const QString& url);
    sqlite3* m_db = nullptr;
    std::unique_ptr<ServerConnection> m_server;
    QString m_error;
    int m_errorCode = 0;
    Fault m_fault = Fault::None;
    qint64 m_cacheBeforeBulk = 0; // PRAGMA cache_size before useBulkWrites(); 0: not in bulk
};

// A statement prepared once and run many times (the bulk loops): values are bound by
// position, 1-based.
class Statement
{
public:
    Statement(Database& db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isValid() const { return m_statement != nullptr || m_server; }
    Statement& bind(int index, const QString& text);
    Statement& bind(int index, qint64 number);
    Statement& bindNull(int index);

    enum class Step { Row, Done, Failed };
    // Runs the statement with the values bound so far, up to its first row.
    Step step();
    // Runs it to the end; false when the database refused it (the reason in the database).
    bool exec() { return step() != Step::Failed && finish(); }
    // Ends a run stopped after its first rows, so that it runs again with new values.
    void reset() { finish(); }
    // True when a row came back, false when none did; *failed is set when the database refused.
    // `texts`, when given, gets the row's columns as texts (null as empty).
    bool exists(bool* failed, QStringList* texts = nullptr);
    Row row() const { return m_server ? Row(m_result, m_next - 1) : Row(m_statement); }

private:
    bool finish();
    Database& m_db;
    sqlite3_stmt* m_statement = nullptr;
    // On a server: the statement, its values, and the rows of its last run.
    QString m_sql;
    QVariantList m_values;
    pg_result* m_result = nullptr;
    int m_next = 0;
    bool m_server = false;
};

} // namespace k27
