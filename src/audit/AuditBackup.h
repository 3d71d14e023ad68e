#pragma once

#include "db/Backup.h"

#include <QString>
#include <functional>

namespace k27 {

class Database;

namespace audit {

// The head code kept beside a backup copy, in a small text file of its own ("Bak01.kvd.head"):
// whoever holds it can later prove that the log up to that row was not rewritten.
QString headCodePath(const QString& backupPath);

// After a backup was made: writes the copy's head code beside it and records the backup in the
// live register's log, naming the file and the code. Returns the code (empty when the copy's
// log could not be read).
QString noteBackup(Database* live, const QString& backupPath, const QString& kind);

// Makes a restored register keep the log: every row of the live log that the backup lacks is
// appended to `restored` with its original fields (rows written since that backup chain exactly
// as before), then a row records the restore from `backupFile` with its digest.
bool carryLog(Database& live, Database& restored, const QString& backupFile);

// The backup of a register on a server: one snapshot written into the file, the operator log
// with it. `progress` gets the table, rows done and rows in all.
BackupWriter serverBackup(const QString& url, std::function<void(const QString&, qint64, qint64)> progress = {});

} // namespace audit
} // namespace k27
