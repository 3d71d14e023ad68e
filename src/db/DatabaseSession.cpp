#include "DatabaseSession.h"

#include <QFile>
#include <sys/stat.h>

namespace k27 {

Database* DatabaseSession::open(Connection& connection)
{
    // One stat per use (microseconds, against tens of milliseconds for an open) notices a file
    // replaced or removed under the open connection.
    struct stat info {};
    const bool exists = ::stat(QFile::encodeName(m_path).constData(), &info) == 0;
    const bool sameFile = exists && quint64(info.st_dev) == connection.file[0] && quint64(info.st_ino) == connection.file[1];
    if (connection.db.isOpen() && !sameFile)
        connection.db.close();
    if (connection.db.isOpen()) {
        // Work hands back its connection with everything committed. A transaction still open
        // here was left by a write the file refused halfway, which closing used to roll back;
        // later work must not write into it.
        if (connection.db.inTransaction())
            connection.db.rollback();
        return &connection.db;
    }
    if (!connection.db.open(m_path)) {
        m_error = connection.db.lastError();
        return nullptr;
    }
    connection.file[0] = quint64(info.st_dev);
    connection.file[1] = quint64(info.st_ino);
    return &connection.db;
}

Database* DatabaseSession::window() { return open(m_window); }

Database* DatabaseSession::runs() { return open(m_runs); }

void DatabaseSession::close()
{
    m_window.db.close();
    m_runs.db.close();
}

} // namespace k27
