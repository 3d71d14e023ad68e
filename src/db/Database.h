#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

namespace k27 {

// One row of a result, valid only inside the callback that receives it.
class Row
{
public:
    explicit Row(sqlite3_stmt* statement) : m_statement(statement) {}
    int count() const;
    QVariant value(int column) const;   // null -> invalid QVariant
    QString text(int column) const;     // null -> empty text
    bool isNull(int column) const;
    qint64 integer(int column) const;

private:
    sqlite3_stmt* m_statement;
};

// A connection to the encrypted program database (SQLCipher). Every value goes in through
// bound parameters; no statement is ever built from operator or file text.
class Database
{
public:
    static constexpr const char* Password = "617varnezo";

    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the file with the database password and proves the key by reading the schema.
    // A wrong password, a damaged file or a non-database fails here, not at the first query.
    bool open(const QString& path, bool readOnly = false);
    // Creates a new encrypted file (fails when the file exists).
    bool create(const QString& path);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString lastError() const { return m_error; }
    sqlite3* handle() const { return m_db; }

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

    // PRAGMA integrity_check; returns true for "ok", else the first problem in *problem.
    bool integrityCheck(QString* problem = nullptr);
    QString cipherVersion();
    bool hasTable(const QString& name);

    // True when the file opens with the database password and holds the program's tables.
    static bool isProgramDatabase(const QString& path, QString* problem = nullptr);

private:
    bool openOnce(const QString& path, bool readOnly);
    bool fail(const QString& what);
    sqlite3_stmt* prepare(const QString& sql, const QVariantList& params);

    sqlite3* m_db = nullptr;
    QString m_error;
    int m_errorCode = 0;
};

} // namespace k27
