#include "DatabaseSession.h"

#include "db/Schema.h"
#include "db/ServerConnection.h"

#include <QFile>
#include <sys/stat.h>

namespace k27 {

Database* DatabaseSession::open(Connection& connection, bool window)
{
    // A server's register is never replaced under a connection, but its link may be lost. One
    // stat per use (microseconds, against tens of milliseconds for an open) notices a file
    // replaced or removed under the open connection.
    const bool server = Database::isServerUrl(m_path);
    struct stat info
    {
    };
    const bool exists = !server && ::stat(QFile::encodeName(m_path).constData(), &info) == 0;
    const bool current = server ? connection.db.isLinked()
                                : exists && quint64(info.st_dev) == connection.file[0]
                                      && quint64(info.st_ino) == connection.file[1];
    if (connection.db.isOpen() && !current)
        connection.db.close();
    if (connection.db.isOpen()) {
        // Work hands back its connection with everything committed. A transaction still open
        // here was left by a write the register refused halfway, which closing used to roll
        // back; later work must not write into it.
        if (connection.db.inTransaction())
            connection.db.rollback();
        return &connection.db;
    }
    // A lost link is made again by itself: what was in flight on it the server rolled back.
    if (server && m_retryMs > 0 && !m_sinceFailure.hasExpired(m_retryMs))
        return nullptr;
    if (!connection.db.open(m_path)) {
        m_error = connection.db.lastError();
        if (server) {
            m_retryMs = qBound(FirstRetryMs, m_retryMs * 2, LastRetryMs);
            m_sinceFailure.start();
        }
        return nullptr;
    }
    m_retryMs = 0;
    if (server)
        return &connection.db;
    // A register from before the operator log gets it here, before any change needs a row in it.
    // A file that is no register (yet) is left untouched: start-up judges it.
    if (hasRegisterTables(connection.db) && !ensureLogTables(connection.db)) {
        m_error = connection.db.lastError();
        connection.db.close();
        return nullptr;
    }
    connection.file[0] = quint64(info.st_dev);
    connection.file[1] = quint64(info.st_ino);
    // The window's connection lives as long as the program, so the engine's own copy at the
    // last close never comes: each of its saves goes into the file as it is committed, and
    // a copy of the file alone taken between two clicks holds it.
    if (window) {
        connection.db.copyEachCommitIntoFile();
        // What the clicks read again and again (the list of cards a card filter scans, the
        // cardholders of a first screen) stays decrypted: the engine's 2 MB hold neither.
        connection.db.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(WindowCacheKb));
    }
    return &connection.db;
}

Database* DatabaseSession::window()
{
    return open(m_window, true);
}

Database* DatabaseSession::runs()
{
    return open(m_runs, false);
}

Database* DatabaseSession::background()
{
    return Database::isServerUrl(m_path) ? window() : open(m_background, false);
}

bool DatabaseSession::settle()
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(m_path + QStringLiteral("-wal")).constData(), &info) != 0 || info.st_size == 0)
        return true;
    // Never in the middle of work (a run lets window events through with its step open), and
    // through a connection that is open already: opening one costs a key derivation.
    if (m_runs.db.inTransaction() || m_window.db.inTransaction() || m_background.db.inTransaction())
        return false;
    Database& db = m_runs.db.isOpen() ? m_runs.db : m_window.db;
    return db.isOpen() && db.checkpoint();
}

QList<int> DatabaseSession::serverProcesses() const
{
    QList<int> processes;
    for (const Connection* connection : {&m_window, &m_runs})
        if (ServerConnection* server = connection->db.serverConnection())
            processes.append(server->processId());
    return processes;
}

void DatabaseSession::close()
{
    m_window.db.close();
    m_runs.db.close();
    m_background.db.close();
}

} // namespace k27
