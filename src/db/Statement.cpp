#include "Database.h"

#include "db/ServerConnection.h"

#include <sqlcipher/sqlite3.h>

// A statement prepared once and run for many rows: on the file, a prepared statement of the
// engine; on a server, the text and its values, sent at the first step.
namespace k27 {

Statement::Statement(Database& db, const QString& sql) : m_db(db)
{
    if (db.m_server) {
        m_server = true;
        m_sql = sql;
        return;
    }
    m_statement = db.prepare(sql, {});
}

Statement::~Statement()
{
    if (m_result)
        serverFree(m_result);
    if (m_statement)
        sqlite3_finalize(m_statement);
}

Statement& Statement::bind(int index, const QString& text)
{
    if (m_server) {
        while (m_values.size() < index)
            m_values.append(QVariant());
        m_values[index - 1] = text;
        return *this;
    }
    if (m_statement) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::bind(int index, qint64 number)
{
    if (m_server) {
        while (m_values.size() < index)
            m_values.append(QVariant());
        m_values[index - 1] = number;
        return *this;
    }
    if (m_statement)
        sqlite3_bind_int64(m_statement, index, number);
    return *this;
}

Statement& Statement::bindNull(int index)
{
    if (m_server) {
        while (m_values.size() < index)
            m_values.append(QVariant());
        m_values[index - 1] = QVariant();
    } else if (m_statement) {
        sqlite3_bind_null(m_statement, index);
    }
    return *this;
}

Statement::Step Statement::step()
{
    if (m_server) {
        // The first step runs the statement and keeps its rows; later steps walk them.
        if (!m_result) {
            if (!m_db.m_server) {
                m_db.m_error = QStringLiteral("database not open");
                return Step::Failed;
            }
            m_result = m_db.m_server->run(m_sql, m_values);
            m_next = 0;
            if (!m_result) {
                m_db.fail(QStringLiteral("statement failed"));
                return Step::Failed;
            }
        }
        if (m_next < serverRows(m_result)) {
            ++m_next;
            return Step::Row;
        }
        return Step::Done;
    }
    if (!m_statement)
        return Step::Failed;
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return Step::Row;
    if (rc == SQLITE_DONE)
        return Step::Done;
    m_db.fail(QStringLiteral("statement failed"));
    sqlite3_reset(m_statement);
    return Step::Failed;
}

bool Statement::finish()
{
    if (m_server) {
        if (m_result)
            serverFree(m_result);
        m_result = nullptr;
        m_next = 0;
        m_values.clear();
        return true;
    }
    // reset() repeats the step's error; it was taken already.
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    return true;
}

bool Statement::exists(bool* failed, QStringList* texts)
{
    const Step result = step();
    if (failed)
        *failed = result == Step::Failed;
    if (texts) {
        texts->clear();
        if (result == Step::Row)
            for (int c = 0; c < row().count(); ++c)
                texts->append(row().text(c));
    }
    if (result != Step::Failed)
        finish();
    return result == Step::Row;
}

} // namespace k27
