#pragma once

#include "db/Backup.h"

#include <QStringList>
#include <functional>

namespace k27 {

class Database;

// The computers of the other desks connected to the server's database now (this program's own
// connections left out), each named once, in order.
QStringList otherDesks(Database& server, QString* error = nullptr);

// Brings a backup file back into the register on a server. Only an administrator of the
// register may, and only while no other desk is connected; every table but the operator log
// gets the file's rows in one transaction, so a failure leaves the server as it was.
struct ServerRestore
{
    QString url;
    QString backupFile;
    QString operatorName; // must be an administrator in the register
    // Runs in the restore's transaction once the rows are in (the log's row of the restore);
    // false undoes the restore.
    std::function<bool(Database& server)> finish;
    // Progress: the table, rows done, rows in all.
    std::function<void(const QString&, qint64, qint64)> progress;

    // After DesksConnected: the computers of the desks connected.
    QStringList desks;
    // After a failure: the reason.
    QString problem;

    RestoreResult run();
};

} // namespace k27
