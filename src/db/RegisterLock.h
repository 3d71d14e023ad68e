#pragma once

#include <QString>

namespace k27 {

class Database;

// A run that must not meet certain runs of other desks on a shared register holds a lock of
// the server for as long as it goes (a session lock: a desk that dies lets go of it). A
// restore is alone in the whole installation; a record deletion is alone with the records
// (no import of records beside it, no second deletion); record imports go side by side.
// On the embedded file one writer at a time keeps the runs apart already: nothing is taken.
// A desk that is refused learns which computer holds the lock.
class RegisterLock
{
public:
    enum class Run { Restore, RecordDeletion, RecordImport };

    // Tries once, without waiting.
    RegisterLock(Database& db, Run run);
    ~RegisterLock();
    RegisterLock(const RegisterLock&) = delete;
    RegisterLock& operator=(const RegisterLock&) = delete;

    explicit operator bool() const { return m_taken; }
    // When refused: the computer whose program holds the lock in the way (empty when the
    // server does not tell, or the link failed).
    const QString& holder() const { return m_holder; }

    // Makes the open transaction of a shared register wait for the writing transactions of other
    // desks that came first, and theirs for it until it ends. Every transaction that writes
    // registered rows and the operator log takes this first: with one order of locks, two desks
    // never wait for each other in a circle. Nothing on the file (one writer at a time).
    static bool queueWrites(Database& db);
    // The same for the steps of record imports, among themselves.
    static bool queueRecordWrites(Database& db);

    // The server's number of each lock, beside the register's own (its schema): registers in
    // several schemas of one database keep their locks apart.
    static constexpr int RegisterKey = 1;
    static constexpr int RecordsKey = 2;
    static constexpr int WritesKey = 3;
    static constexpr int RecordWritesKey = 4;

private:
    bool take(int key, bool shared);
    void release();

    Database& m_db;
    bool m_taken = false;
    bool m_server = false;
    // What was taken, to be given back: (key, shared).
    struct Held
    {
        int key;
        bool shared;
    };
    Held m_held[2] = {};
    int m_count = 0;
    QString m_holder;
};

} // namespace k27
