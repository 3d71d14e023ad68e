#pragma once

#include "db/Database.h"

#include <QElapsedTimer>
#include <QString>

namespace k27 {

// The run's connections to the program database. Opening one derives the key, which costs tens
// of milliseconds, so each is opened at its first use and kept until the run ends or the file
// is replaced (by a restore, or by hand: a file put in the database's place is opened, one taken
// away fails as it would have at an open). Everything runs on the window's thread; the two
// connections keep apart work that must not share a transaction.
class DatabaseSession
{
public:
    explicit DatabaseSession(QString path) : m_path(std::move(path)) {}
    DatabaseSession(const DatabaseSession&) = delete;
    DatabaseSession& operator=(const DatabaseSession&) = delete;

    const QString& path() const { return m_path; }

    // The connection behind the window's clicks: lookups, single saves, list loads. Nullptr
    // when the file cannot be opened (the reason in lastError()); the next call tries again.
    Database* window();
    // The connection of the long runs (imports, deletions), taken once at a run's start. A run
    // keeps a transaction open while the window handles events; a save clicked meanwhile must
    // not become part of it, nor be rolled back with it.
    Database* runs();
    // The connection of reading the window does between clicks: the count of a large result
    // walks millions of records, and through the window's connection it would push out of the
    // page cache what the next click reads again (the first screen of a result read at five
    // times the cost). A shared register's cache is the server's: there it is the window's.
    Database* background();

    // Makes the file alone hold everything committed: what a run left in the write-ahead log
    // is copied into the file and the log emptied. Called when a run ends and when the window
    // is idle; a stat when there is no log. False when it could not be done now.
    bool settle();

    // Closes them all, rolling back what a failed run left open. A restore calls this before it
    // replaces the file, and the next use opens the restored file.
    void close();
    bool isOpen() const { return m_window.db.isOpen() || m_runs.db.isOpen() || m_background.db.isOpen(); }
    QString lastError() const { return m_error; }
    // The server processes of the open connections to a shared register (none for a file).
    QList<int> serverProcesses() const;

private:
    struct Connection
    {
        Database db;
        quint64 file[2] = {0, 0}; // device and inode of the file it has open
    };
    Database* open(Connection& connection, bool window);

    // The window's page cache: the list of cards of 100,000 cards and a first screen's
    // cardholders, decrypted once.
    static constexpr int WindowCacheKb = 16384;

    QString m_path;
    Connection m_window;
    Connection m_runs;
    Connection m_background;
    QString m_error;
    // After a server could not be reached, the next tries wait longer each time (up to
    // LastRetryMs): a click meanwhile fails at once instead of waiting for the server again.
    static constexpr int FirstRetryMs = 250;
    static constexpr int LastRetryMs = 8000;
    int m_retryMs = 0;
    QElapsedTimer m_sinceFailure;
};

} // namespace k27
