#include "ServerRestore.h"

#include "db/Database.h"
#include "db/RegisterCopy.h"
#include "db/RegisterLock.h"
#include "db/ServerConnection.h"

#include <QScopeGuard>

namespace k27 {

QStringList otherDesks(Database& server, QString* error)
{
    QStringList pids;
    for (const int pid : ServerConnection::ownBackends())
        pids << QString::number(pid);
    QStringList desks;
    const bool ok = server.query(
        QStringLiteral("SELECT DISTINCT application_name FROM pg_stat_activity WHERE datname = current_database() "
                       "AND left(application_name, 10) = 'k27center@' "
                       "AND pid <> ALL (string_to_array(?, ',')::integer[]) ORDER BY 1"),
        {pids.join(u',')}, [&](const Row& row) {
            const QString computer = ServerConnection::computerOf(row.text(0));
            if (!desks.contains(computer))
                desks << computer;
            return true;
        });
    if (!ok && error)
        *error = server.lastError();
    return desks;
}

RestoreResult ServerRestore::run()
{
    if (!isSoundProgramDatabase(backupFile, &problem))
        return RestoreResult::InvalidBackup;
    Database file, server;
    if (!file.open(backupFile, true)) {
        problem = file.lastError();
        return RestoreResult::InvalidBackup;
    }
    if (!server.open(url)) {
        problem = server.lastError();
        return RestoreResult::Failed;
    }
    // Alone in the installation until the transaction has ended (declared first, let go last).
    const RegisterLock alone(server, RegisterLock::Run::Restore);
    if (!alone) {
        desks = alone.holder().isEmpty() ? QStringList() : QStringList{alone.holder()};
        if (desks.isEmpty())
            problem = server.lastError();
        return desks.isEmpty() ? RestoreResult::Failed : RestoreResult::DesksConnected;
    }
    if (!server.beginTransaction() || !RegisterLock::queueWrites(server)) {
        problem = server.lastError();
        return RestoreResult::Failed;
    }
    bool committed = false;
    const auto undo = qScopeGuard([&] {
        if (!committed)
            server.rollback();
    });
    // Asked of the register itself: the rights may have changed since this operator signed in.
    if (server.scalar(QStringLiteral("SELECT max(userrote) FROM 用户表 WHERE name = ?"), {operatorName}).toInt() == 0)
        return RestoreResult::NotAdministrator;
    const auto othersConnected = [&] {
        desks = otherDesks(server, &problem);
        return !desks.isEmpty() || !problem.isEmpty();
    };
    if (othersConnected())
        return desks.isEmpty() ? RestoreResult::Failed : RestoreResult::DesksConnected;
    // No desk writes while the rows are replaced; one that connected meanwhile is caught after.
    if (!server.execNative(QStringLiteral(
            "SET LOCAL lock_timeout = '10s'; LOCK TABLE \"用户信息\", \"用户表\", \"终端机\", \"进出记录\" IN EXCLUSIVE MODE"))) {
        problem = server.lastError();
        return RestoreResult::Failed;
    }
    if (othersConnected())
        return desks.isEmpty() ? RestoreResult::Failed : RestoreResult::DesksConnected;
    RegisterCopy copy;
    copy.progress = progress;
    if (!copy.replaceServer(file, server, &problem) || (finish && !finish(server)) || !server.commit()) {
        if (problem.isEmpty())
            problem = server.lastError();
        return RestoreResult::Failed;
    }
    committed = true;
    return RestoreResult::Restored;
}

} // namespace k27
