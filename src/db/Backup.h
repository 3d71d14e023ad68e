#pragma once

#include "db/FileModes.h"

#include <QString>
#include <functional>

namespace k27 {

class Database;

// Whole-file copies of the program database. Every copy is taken through the database
// engine's online backup, so it is a consistent database even while another connection
// holds the file, and it is written beside its final name first: a failed copy never
// replaces a good one.

enum class RestoreResult {
    Restored,         // the live database now holds the backup's contents
    NoBackupFolder,   // <user data folder>/Data does not exist; nothing changed
    InvalidBackup,    // missing, damaged or not a database of this program; nothing changed
    Failed,           // the copy into the live database failed and was rolled back
    Unsafe,           // the backup folder or file could be another user's; nothing changed
    NotAdministrator, // a shared register: only an administrator restores it; nothing changed
    DesksConnected,   // a shared register: other desks are connected to it; nothing changed
};

// Writes a backup of the register into `target` (replacing it only once complete). Unset:
// the file at the database path is copied; a register on a server sets its snapshot here.
using BackupWriter = std::function<bool(const QString& target)>;

// Copies the database at `source` into a new file `target` (keyed with the database
// password), checks the copy, then puts it in place of `target`. Returns false, with the
// reason in *error, when anything fails; an existing `target` is then left as it was.
bool copyDatabase(const QString& source, const QString& target, QString* error = nullptr);

// True when the file opens with the database password, passes an integrity check and
// holds the register tables.
bool isSoundProgramDatabase(const QString& path, QString* problem = nullptr);

// <userDataFolder>/Data/Data.kvd
QString manualBackupPath(const QString& userDataFolder);

// Copies the database to <userDataFolder>/Data/Data.kvd, creating the folders. Both folders
// must be real folders of this user (made owner-only); otherwise nothing is copied and
// *refused names the folder and why.
bool manualBackup(const QString& databasePath, const QString& userDataFolder, PathRefusal* refused = nullptr,
                  const BackupWriter& write = {});

// The first of the manual backup's folders (made when `create`), then its copy (`withCopy`),
// that another user could have put there or could write, or none.
PathRefusal unsafeBackupPlace(const QString& userDataFolder, bool create, bool withCopy);

// Brings the manual backup back into the live database after checking it. The live file
// is changed in one transaction, so any failure leaves it as it was. The folders and the
// copy must be this user's own and private (Unsafe otherwise, with *refused saying which).
// `prepare`, when set, works on a copy of the backup before it goes in: with the live database
// (open when it could be opened) and the copy, it adds what the backup must carry (the operator
// log's newer rows); false from it changes nothing.
using RestorePreparation = std::function<bool(Database& live, Database& restored)>;
RestoreResult restoreBackup(const QString& databasePath, const QString& userDataFolder, QString* problem = nullptr,
                            PathRefusal* refused = nullptr, const RestorePreparation& prepare = {});

// Removes the copies that a run killed while copying left in `folder` (Bak03.kvd.a1B2c3.tmp
// and its logs). Only at start-up, when no copy of this program folder can be under way.
int removeLeftoverCopies(const QString& folder);

// "Bak01.kvd" .. "Bak10.kvd"
QString backupSlotName(int slot);
constexpr int BackupSlotCount = 10;

// The slot the next automatic backup in `folder` goes to: the first slot without a file,
// else the one with the oldest modification time (the lowest slot among equal times).
int nextBackupSlot(const QString& folder);

// Writes the next rotating backup beside the database. Returns the file written, or an
// empty text when the copy failed (the live database and the other slots are untouched).
// The slots are beside the database path whichever register `write` copies.
QString automaticBackup(const QString& databasePath, const BackupWriter& write = {});

} // namespace k27
