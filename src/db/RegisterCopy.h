#pragma once

#include <QString>
#include <functional>

namespace k27 {

class Database;

// Copies a whole register between the two engines.
//   file -> server: every table, its records in batches of one transaction each, sent with
//     COPY. An interrupted copy started again goes on after the last batch committed (rows keep
//     their numbers), so nothing is doubled. Counts and a checksum of every table are compared
//     at the end.
//   server -> file: one read transaction (a consistent snapshot) written into a new encrypted
//     file of today's format, put in place only when complete and equal to the snapshot.
struct RegisterCopy
{
    // Makes tables that live outside this folder (the operator log) in a target register.
    std::function<bool(Database&)> prepareTarget;
    // Progress: the table, rows done, rows in all.
    std::function<void(const QString&, qint64, qint64)> progress;
    int batchRows = 20000;

    bool run(const QString& source, const QString& target, QString* error);

    // A backup of the server's register: one snapshot into `target`, which it replaces only
    // once the copy is complete and checked (an existing copy stays otherwise). Owner-only.
    bool snapshot(const QString& url, const QString& target, QString* error);

    // A restore: every table of the server but the operator log gets the rows of `file`. Runs
    // in the transaction the caller holds on `server`, so a failure undoes all of it.
    bool replaceServer(Database& file, Database& server, QString* error);
};

// The rows and a checksum of every table of the register, one line per table
// ("用户信息 1200 3fa9..."): equal for two registers that hold the same.
QStringList registerDigest(Database& db, QString* error = nullptr);

} // namespace k27
