#include "Backup.h"

#include "db/Database.h"
#include "db/FileModes.h"
#include "db/Schema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <cstdio>
#include <sqlcipher/sqlite3.h>

namespace k27 {

namespace {

constexpr int BusyRetries = 100; // x 50 ms: another connection may hold a short lock
constexpr int BusyWaitMs = 50;

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Copies every page of `source` into `destination` in one step of the online backup.
// The destination's own transaction makes the copy all-or-nothing.
bool runOnlineBackup(Database& destination, Database& source, QString* error)
{
    sqlite3_backup* backup = sqlite3_backup_init(destination.handle(), "main", source.handle(), "main");
    if (!backup) {
        setError(error, QString::fromUtf8(sqlite3_errmsg(destination.handle())));
        return false;
    }
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt <= BusyRetries; ++attempt) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        sqlite3_sleep(BusyWaitMs);
    }
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finished != SQLITE_OK) {
        setError(error, QStringLiteral("backup failed: %1")
                            .arg(QString::fromUtf8(sqlite3_errstr(rc != SQLITE_DONE ? rc : finished))));
        return false;
    }
    return true;
}

// The logs that belong to a database file: a log left beside a name must never be applied to
// another file put there later.
void removeLogs(const QString& path)
{
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

void removeWithJournal(const QString& path)
{
    QFile::remove(path);
    removeLogs(path);
}

} // namespace

bool isSoundProgramDatabase(const QString& path, QString* problem)
{
    Database db;
    if (!db.open(path, true)) {
        setError(problem, db.lastError());
        return false;
    }
    QString check;
    if (!db.integrityCheck(&check)) {
        setError(problem, QStringLiteral("integrity check: ") + check);
        return false;
    }
    return hasRegisterTables(db, problem);
}

// Copies left behind by a run that died while copying.
static void removeStaleCopies(const QFileInfo& target)
{
    QDir folder = target.absoluteDir();
    const QStringList stale = folder.entryList({target.fileName() + QStringLiteral(".??????.tmp")}, QDir::Files);
    for (const QString& name : stale) {
        const QFileInfo info(folder.filePath(name));
        if (info.lastModified().secsTo(QDateTime::currentDateTime()) > 60)
            removeWithJournal(info.filePath());
    }
}

bool copyDatabase(const QString& source, const QString& target, QString* error)
{
    Database from;
    if (!from.open(source, true)) {
        setError(error, from.lastError());
        return false;
    }

    // A fresh file beside the target, so the final rename stays on one file system.
    const QFileInfo targetInfo(target);
    removeStaleCopies(targetInfo);
    QTemporaryFile reserve(targetInfo.absolutePath() + QLatin1Char('/') + targetInfo.fileName()
                           + QStringLiteral(".XXXXXX.tmp"));
    reserve.setAutoRemove(false);
    if (!reserve.open()) {
        setError(error, QStringLiteral("cannot create a file beside ") + target);
        return false;
    }
    const QString temporary = reserve.fileName();
    reserve.close();

    const bool copied = [&] {
        Database to;
        if (!to.open(temporary)) {
            setError(error, to.lastError());
            return false;
        }
        if (!runOnlineBackup(to, from, error))
            return false;
        // The backup reads the source's write-ahead log too; the copy itself is one
        // self-contained file, with no log of its own.
        if (!to.scalar(QStringLiteral("PRAGMA journal_mode = DELETE")).isValid()) {
            setError(error, to.lastError());
            return false;
        }
        QString problem;
        if (!to.integrityCheck(&problem)) {
            setError(error, QStringLiteral("the copy fails its integrity check: ") + problem);
            return false;
        }
        return true;
    }();
    from.close();
    bool ok = copied;
    // The copy is born owner-only (a temporary file); it keeps that, or the stricter mode of
    // the file it replaces. Never the source's mode: a copy must not open up the data.
    if (ok)
        keepStricterMode(temporary, target);

    // rename() replaces the target in one step: readers see the old copy or the new one.
    if (ok)
        removeLogs(target);
    if (ok && std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        setError(error, QStringLiteral("cannot put the copy in place of ") + target);
        ok = false;
    }
    if (!ok)
        removeWithJournal(temporary);
    return ok;
}

QString manualBackupPath(const QString& userDataFolder)
{
    return QDir(userDataFolder).filePath(QStringLiteral("Data/Data.kvd"));
}

PathRefusal unsafeBackupPlace(const QString& userDataFolder, bool create, bool withCopy)
{
    const QString data = QFileInfo(manualBackupPath(userDataFolder)).absolutePath();
    for (const QString& folder : {userDataFolder, data}) {
        const PathProblem problem = securePrivateFolder(folder, create);
        if (problem != PathProblem::None)
            return {folder, problem};
    }
    if (withCopy) {
        const QString copy = manualBackupPath(userDataFolder);
        if (const PathProblem problem = checkPrivateFile(copy); problem != PathProblem::None)
            return {copy, problem};
    }
    return {};
}

bool manualBackup(const QString& databasePath, const QString& userDataFolder, PathRefusal* refused,
                  const BackupWriter& write)
{
    if (userDataFolder.isEmpty())
        return false; // never a path relative to wherever the process runs
    // The folder holds a copy of every cardholder: owner-only, like the copy itself, and never
    // one that another user could have put (or linked) there.
    const PathRefusal unsafe = unsafeBackupPlace(userDataFolder, true, false);
    if (unsafe.problem != PathProblem::None) {
        if (refused)
            *refused = unsafe;
        return false;
    }
    return write ? write(manualBackupPath(userDataFolder))
                 : copyDatabase(databasePath, manualBackupPath(userDataFolder));
}

RestoreResult restoreBackup(const QString& databasePath, const QString& userDataFolder, QString* problem,
                            PathRefusal* refused, const RestorePreparation& prepare)
{
    if (userDataFolder.isEmpty() || !QFileInfo(QDir(userDataFolder).filePath(QStringLiteral("Data"))).isDir())
        return RestoreResult::NoBackupFolder;
    // A register brought back from a folder another user could write would let him in.
    const PathRefusal unsafe = unsafeBackupPlace(userDataFolder, false, true);
    if (unsafe.problem == PathProblem::Missing && unsafe.path == manualBackupPath(userDataFolder)) {
        setError(problem, QStringLiteral("no backup at ") + unsafe.path);
        return RestoreResult::InvalidBackup;
    }
    if (unsafe.problem != PathProblem::None) {
        if (refused)
            *refused = unsafe;
        return RestoreResult::Unsafe;
    }
    QString backupPath = manualBackupPath(userDataFolder);
    if (!isSoundProgramDatabase(backupPath, problem))
        return RestoreResult::InvalidBackup;

    // The backup itself stays as it was: what it must carry goes into a copy beside the live
    // file, and that copy is what comes in.
    QString staged;
    const auto dropStaged = qScopeGuard([&] {
        if (!staged.isEmpty())
            removeWithJournal(staged);
    });
    if (prepare) {
        QTemporaryFile reserve(databasePath + QStringLiteral(".XXXXXX.tmp")); // a leftover is removed at start-up
        reserve.setAutoRemove(false);
        if (!reserve.open())
            return RestoreResult::Failed;
        staged = reserve.fileName();
        reserve.close();
        if (!copyDatabase(backupPath, staged, problem))
            return RestoreResult::Failed;
        Database live, restored;
        live.open(databasePath);
        if (!restored.open(staged) || !prepare(live, restored)) {
            setError(problem, restored.lastError());
            return RestoreResult::Failed;
        }
        backupPath = staged;
    }

    Database from;
    if (!from.open(backupPath, true)) {
        setError(problem, from.lastError());
        return RestoreResult::InvalidBackup;
    }
    Database live;
    if (live.open(databasePath)) {
        // Copying into the open live database runs in its own transaction with a journal,
        // so a failure (or a crash) rolls back to the old contents, and any other
        // connection to the file sees the restored data.
        if (!runOnlineBackup(live, from, problem))
            return RestoreResult::Failed;
        // A write-ahead log is emptied into the file, so the file alone holds the restore.
        live.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        return RestoreResult::Restored;
    }
    // The live file is missing or cannot be opened at all: put a fresh copy in its place.
    from.close();
    return copyDatabase(backupPath, databasePath, problem) ? RestoreResult::Restored : RestoreResult::Failed;
}

int removeLeftoverCopies(const QString& folder)
{
    QDir dir(folder);
    int removed = 0;
    const QStringList names = dir.entryList({QStringLiteral("*.kvd.??????.tmp")},
                                            QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        removeWithJournal(dir.filePath(name));
        ++removed;
    }
    return removed;
}

QString backupSlotName(int slot)
{
    return QStringLiteral("Bak%1.kvd").arg(slot, 2, 10, QLatin1Char('0'));
}

int nextBackupSlot(const QString& folder)
{
    const QDir dir(folder);
    int oldest = 1;
    QDateTime oldestTime;
    for (int slot = 1; slot <= BackupSlotCount; ++slot) {
        const QFileInfo info(dir.filePath(backupSlotName(slot)));
        if (!info.exists())
            return slot;
        const QDateTime modified = info.lastModified();
        if (!oldestTime.isValid() || modified < oldestTime) {
            oldest = slot;
            oldestTime = modified;
        }
    }
    return oldest;
}

QString automaticBackup(const QString& databasePath, const BackupWriter& write)
{
    const QString folder = QFileInfo(databasePath).absolutePath();
    if (write)
        QDir().mkpath(folder); // a desk of a server register may never have had a file here
    const QString target = QDir(folder).filePath(backupSlotName(nextBackupSlot(folder)));
    // The slot's old copy is replaced only once the new one is complete.
    return (write ? write(target) : copyDatabase(databasePath, target)) ? target : QString();
}

} // namespace k27
