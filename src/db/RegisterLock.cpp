#include "RegisterLock.h"

#include "db/Database.h"
#include "db/ServerConnection.h"

namespace k27 {

namespace {
// The register's half of every lock number.
const QString Register = QStringLiteral("hashtext(current_schema())");
} // namespace

RegisterLock::RegisterLock(Database& db, Run run) : m_db(db), m_server(db.isServer())
{
    if (!m_server) {
        m_taken = db.isOpen();
        return;
    }
    switch (run) {
    case Run::Restore: m_taken = take(RegisterKey, false); break;
    case Run::RecordDeletion: m_taken = take(RegisterKey, true) && take(RecordsKey, false); break;
    case Run::RecordImport: m_taken = take(RegisterKey, true) && take(RecordsKey, true); break;
    }
    if (!m_taken)
        release();
}

RegisterLock::~RegisterLock()
{
    release();
}

namespace {
bool queue(Database& db, int key)
{
    return !db.isServer()
           || db.scalar(QStringLiteral("SELECT pg_advisory_xact_lock(%1, CAST(? AS integer))").arg(Register), {key})
                  .isValid();
}
} // namespace

bool RegisterLock::queueWrites(Database& db)
{
    return queue(db, WritesKey);
}

bool RegisterLock::queueRecordWrites(Database& db)
{
    return queue(db, RecordWritesKey);
}

bool RegisterLock::take(int key, bool shared)
{
    const QVariant got = m_db.scalar(
        QStringLiteral("SELECT %1(%2, CAST(? AS integer))")
            .arg(shared ? QStringLiteral("pg_try_advisory_lock_shared") : QStringLiteral("pg_try_advisory_lock"),
                 Register),
        {key});
    if (got.toLongLong() != 0) {
        m_held[m_count++] = {key, shared};
        return true;
    }
    if (!got.isValid())
        return false;
    // A shared lock is refused only by an exclusive one, an exclusive one by any: a session
    // holding the lock in the way names its computer.
    const QVariant name = m_db.scalar(
        QStringLiteral("SELECT a.application_name FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid"
                       " WHERE l.locktype = 'advisory' AND l.granted AND l.objsubid = 2"
                       " AND l.classid = %1::oid AND l.objid = CAST(? AS integer)::oid AND l.pid <> pg_backend_pid()"
                       " AND (? = 0 OR l.mode = 'ExclusiveLock') ORDER BY l.mode DESC LIMIT 1")
            .arg(Register),
        {key, qint64(shared ? 1 : 0)});
    m_holder = ServerConnection::computerOf(name.toString());
    return false;
}

void RegisterLock::release()
{
    while (m_count > 0) {
        const Held& held = m_held[--m_count];
        if (m_db.isLinked())
            m_db.scalar(QStringLiteral("SELECT %1(%2, CAST(? AS integer))")
                            .arg(held.shared ? QStringLiteral("pg_advisory_unlock_shared")
                                             : QStringLiteral("pg_advisory_unlock"),
                                 Register),
                        {held.key});
    }
    m_taken = false;
}

} // namespace k27
