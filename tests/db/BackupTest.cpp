#include "db/Backup.h"
#include "OtherUser.h"
#include "StoreFiles.h"
#include "db/Database.h"
#include "db/Schema.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

using namespace k27;
using test::asOtherUser;
using test::cardholders;
using test::fileHash;

namespace {

void createDatabase(const QString& path, const QStringList& cardholders)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    Database db;
    QVERIFY2(db.create(path), qPrintable(db.lastError()));
    QVERIFY(createProgramTables(db));
    QVERIFY(EnsureRecordTable(db));
    for (const QString& name : cardholders)
        QVERIFY(
            db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, ?)"), {name, QStringLiteral("1")}));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// What another local user who can write the folder above the backup folder leaves there.
enum class Plant {
    LinkedFolder,       // the backup folder is his link to a folder of his
    HisFolder,          // the backup folder is a folder of his
    HisCopyInOurFolder, // our folder, open to all (an earlier version), holds his register
    LinkAsCopy,         // ... holds a link to his register in place of our copy
    OpenCopy,           // our copy, readable and writable by others
};

bool makeRegister(const QString& path, const QString& cardholder)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    Database db;
    return db.create(path) && createProgramTables(db)
           && db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, '1')"), {cardholder});
}

int modeOf(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

void setMode(const QString& path, int mode)
{
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
}

void setModified(const QString& path, const QDateTime& time)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
}

} // namespace

Q_DECLARE_METATYPE(Plant)
Q_DECLARE_METATYPE(k27::PathProblem)

class BackupTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        m_program = m_dir->filePath(QStringLiteral("program"));
        m_user = m_dir->filePath(QStringLiteral("user"));
        m_live = m_program + QStringLiteral("/Data/Data.kvd");
        createDatabase(m_live, {QStringLiteral("张三"), QStringLiteral("O'Brien")});
    }

    // Every database file and copy is the owner's alone, whatever the process's umask and
    // the source's mode; a copy over an existing file keeps the stricter of the two modes.
    void copiesAreOwnerOnly_data()
    {
        QTest::addColumn<int>("existingTarget"); // -1: no file there yet
        QTest::addColumn<int>("expected");
        QTest::newRow("new copy") << -1 << 0600;
        QTest::newRow("over a 0644 copy") << 0644 << 0600;
        QTest::newRow("over a 0400 copy") << 0400 << 0400;
    }
    void copiesAreOwnerOnly()
    {
        QFETCH(int, existingTarget);
        QFETCH(int, expected);
        const mode_t old = ::umask(022);
        const auto restore = qScopeGuard([old] { ::umask(old); });
        QCOMPARE(modeOf(m_live), 0600);
        setMode(m_live, 0644);
        const QString target = m_program + QStringLiteral("/Data/Bak01.kvd");
        if (existingTarget >= 0) {
            QVERIFY(copyDatabase(m_live, target));
            setMode(target, existingTarget);
        }
        QVERIFY(copyDatabase(m_live, target));
        QCOMPARE(modeOf(target), expected);

        QVERIFY(manualBackup(m_live, m_user));
        QCOMPARE(modeOf(m_user), 0700);
        QCOMPARE(modeOf(m_user + QStringLiteral("/Data")), 0700);
        QCOMPARE(modeOf(manualBackupPath(m_user)), 0600);
    }

    void manualBackupIsAConsistentCopy()
    {
        QVERIFY(manualBackup(m_live, m_user));
        const QString copy = m_user + QStringLiteral("/Data/Data.kvd");
        QCOMPARE(manualBackupPath(m_user), copy);
        QString problem;
        QVERIFY2(isSoundProgramDatabase(copy, &problem), qPrintable(problem));
        QCOMPARE(cardholders(copy), cardholders(m_live));

        // A second backup replaces the first and leaves no temporary files behind.
        {
            Database db;
            QVERIFY(db.open(m_live));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES ('李四')")));
        }
        QVERIFY(manualBackup(m_live, m_user));
        QCOMPARE(cardholders(copy).size(), 3);
        QCOMPARE(QDir(m_user + QStringLiteral("/Data")).entryList(QDir::Files),
                 QStringList{QStringLiteral("Data.kvd")});
    }

    void backupWhileAnotherConnectionWrites()
    {
        // An open write transaction elsewhere: the copy holds the last committed state.
        Database writer;
        QVERIFY(writer.open(m_live));
        QVERIFY(writer.beginTransaction());
        QVERIFY(writer.exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES ('uncommitted')")));
        QVERIFY(manualBackup(m_live, m_user));
        QVERIFY(writer.rollback());
        QCOMPARE(cardholders(manualBackupPath(m_user)),
                 (QStringList{QStringLiteral("张三"), QStringLiteral("O'Brien")}));
    }

    // The imports keep the database in write-ahead-log mode.
    void writeAheadLog_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("backup copies rows only in the log") << "backup";
        QTest::newRow("restore leaves no log behind") << "restore";
        QTest::newRow("a stale log never meets a replaced file") << "stale";
    }
    void writeAheadLog()
    {
        QFETCH(QString, step);
        const QString copy = manualBackupPath(m_user);
        const auto logs = [](const QString& path) {
            return QFile::exists(path + QStringLiteral("-wal")) || QFile::exists(path + QStringLiteral("-shm"));
        };
        {
            // Rows that sit in the log only: no checkpoint while this connection is open.
            Database writer;
            QVERIFY(writer.open(m_live));
            QVERIFY(writer.useBulkWrites());
            QVERIFY(writer.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0")));
            QVERIFY(writer.exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES ('in the log')")));
            QVERIFY(logs(m_live));
            QVERIFY(manualBackup(m_live, m_user));
            QCOMPARE(cardholders(copy).size(), 3);
            QVERIFY(!logs(copy));
            if (step == QLatin1String("stale")) {
                // The live file is lost while its log survives; the log then lies beside the
                // restored file and must not be applied to it.
                QVERIFY(writer.exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES ('stale')")));
                QVERIFY(QFile::copy(m_live + QStringLiteral("-wal"), m_dir->filePath(QStringLiteral("wal"))));
            }
        }
        if (step == QLatin1String("backup"))
            return;
        if (step == QLatin1String("stale")) {
            QVERIFY(QFile::remove(m_live));
            QVERIFY(QFile::copy(m_dir->filePath(QStringLiteral("wal")), m_live + QStringLiteral("-wal")));
        } else {
            Database writer;
            QVERIFY(writer.open(m_live));
            QVERIFY(writer.useBulkWrites());
            QVERIFY(writer.exec(QStringLiteral("DELETE FROM 用户信息")));
        }
        QCOMPARE(restoreBackup(m_live, m_user), RestoreResult::Restored);
        QVERIFY(!logs(m_live));
        QVERIFY(isSoundProgramDatabase(m_live));
        QCOMPARE(cardholders(m_live), cardholders(copy));
    }

    void failedManualBackupKeepsTheOldCopy()
    {
        QVERIFY(manualBackup(m_live, m_user));
        const QByteArray before = fileHash(manualBackupPath(m_user));
        QVERIFY(!manualBackup(m_program + QStringLiteral("/Data/missing.kvd"), m_user));
        QCOMPARE(fileHash(manualBackupPath(m_user)), before);
    }

    void restoreBringsBackTheRegister()
    {
        QVERIFY(manualBackup(m_live, m_user));
        const QStringList atBackup = cardholders(m_live);
        // A connection that stays open across the restore sees the restored rows.
        Database other;
        QVERIFY(other.open(m_live));
        {
            Database db;
            QVERIFY(db.open(m_live));
            QVERIFY(db.exec(QStringLiteral("DELETE FROM 用户信息")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES ('later')")));
        }
        QCOMPARE(restoreBackup(m_live, m_user), RestoreResult::Restored);
        QCOMPARE(cardholders(m_live), atBackup);
        QCOMPARE(other.scalar(QStringLiteral("SELECT count(*) FROM 用户信息")).toInt(), 2);
        QVERIFY(isSoundProgramDatabase(m_live));
    }

    void restoreReplacesAnUnreadableLiveFile()
    {
        QVERIFY(manualBackup(m_live, m_user));
        writeFile(m_live, QByteArray(4096, 'x'));
        QCOMPARE(restoreBackup(m_live, m_user), RestoreResult::Restored);
        QCOMPARE(cardholders(m_live).size(), 2);
    }

    void restoreWithoutBackupFolder()
    {
        const QByteArray before = fileHash(m_live);
        QCOMPARE(restoreBackup(m_live, m_user), RestoreResult::NoBackupFolder);
        QCOMPARE(fileHash(m_live), before);
    }

    void restoreRefusesBadBackups_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing file") << "missing";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("text file") << "text";
        QTest::newRow("damaged page") << "damaged";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("other password") << "password";
        QTest::newRow("plain database") << "plain";
        QTest::newRow("foreign tables") << "foreign";
    }

    void restoreRefusesBadBackups()
    {
        QFETCH(QString, kind);
        const QString backup = manualBackupPath(m_user);
        QDir().mkpath(QFileInfo(backup).absolutePath());
        if (kind == QLatin1String("empty")) {
            writeFile(backup, {});
        } else if (kind == QLatin1String("text")) {
            writeFile(backup, "name,phone\r\nA,1\r\n");
        } else if (kind == QLatin1String("damaged") || kind == QLatin1String("truncated")) {
            // A real backup with more pages, then hurt.
            {
                Database db;
                QVERIFY(db.open(m_live));
                for (int i = 0; i < 200; ++i)
                    QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 住址) VALUES (?, ?)"),
                                    {QString::number(i), QString(200, u'x')}));
            }
            QVERIFY(manualBackup(m_live, m_user));
            QFile f(backup);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (kind == QLatin1String("truncated")) {
                QVERIFY(f.resize(f.size() / 2 + 100));
            } else {
                f.seek(f.size() / 2);
                f.write(QByteArray(64, '\0'));
            }
        } else if (kind == QLatin1String("password") || kind == QLatin1String("plain")) {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(backup).constData(), &db), SQLITE_OK);
            if (kind == QLatin1String("password"))
                sqlite3_key(db, "another", 7);
            QCOMPARE(sqlite3_exec(db, "CREATE TABLE 用户信息(x); CREATE TABLE 用户表(x); CREATE TABLE 终端机(x);",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(db);
        } else if (kind == QLatin1String("foreign")) {
            Database db;
            QVERIFY(db.create(backup));
            QVERIFY(db.exec(QStringLiteral("CREATE TABLE other (x)")));
        }

        // The user's own private file (a file open to others is refused before it is read).
        if (QFile::exists(backup))
            setMode(backup, 0600);
        const QByteArray before = fileHash(m_live);
        QString problem;
        QCOMPARE(restoreBackup(m_live, m_user, &problem), RestoreResult::InvalidBackup);
        QVERIFY(!problem.isEmpty());
        QCOMPARE(fileHash(m_live), before);
        QVERIFY(!QFileInfo::exists(m_live + QStringLiteral("-journal")));
    }

    void automaticBackupRotation()
    {
        const QString folder = m_program + QStringLiteral("/Data/");
        const QDateTime base = QDateTime::currentDateTime().addDays(-1);
        QStringList written;
        for (int close = 1; close <= 12; ++close) {
            {
                Database db; // each close sees a different register
                QVERIFY(db.open(m_live));
                QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES (?)"), {QString::number(close)}));
            }
            const QString file = automaticBackup(m_live);
            QVERIFY2(!file.isEmpty(), qPrintable(QString::number(close)));
            setModified(file, base.addSecs(60 * close));
            written << QFileInfo(file).fileName();
            QString problem;
            QVERIFY2(isSoundProgramDatabase(file, &problem), qPrintable(problem));
            QCOMPARE(cardholders(file).size(), 2 + close);
        }
        QCOMPARE(written, (QStringList{"Bak01.kvd", "Bak02.kvd", "Bak03.kvd", "Bak04.kvd", "Bak05.kvd", "Bak06.kvd",
                                       "Bak07.kvd", "Bak08.kvd", "Bak09.kvd", "Bak10.kvd", "Bak01.kvd", "Bak02.kvd"}));
        for (int slot = 1; slot <= 10; ++slot)
            QVERIFY(isSoundProgramDatabase(folder + backupSlotName(slot)));

        // A slot deleted by hand is filled first.
        QVERIFY(QFile::remove(folder + QStringLiteral("Bak04.kvd")));
        QCOMPARE(QFileInfo(automaticBackup(m_live)).fileName(), QStringLiteral("Bak04.kvd"));
        // The live file and the ten slots are all that is left: no temporary files.
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 11);
    }

    void equalTimesChooseTheLowestSlot()
    {
        const QString folder = m_program + QStringLiteral("/Data/");
        const QDateTime time = QDateTime::currentDateTime().addDays(-2);
        for (int slot = 1; slot <= 10; ++slot) {
            QVERIFY(!automaticBackup(m_live).isEmpty());
            setModified(folder + backupSlotName(slot), slot == 3 || slot == 7 ? time : time.addSecs(slot * 60));
        }
        QCOMPARE(nextBackupSlot(folder), 3);
    }

    void failedAutomaticBackupHarmsNothing()
    {
        const QString folder = m_program + QStringLiteral("/Data/");
        // Every slot's name is taken by a folder: the copy cannot be put in place.
        for (int slot = 1; slot <= 10; ++slot)
            QVERIFY(QDir().mkpath(folder + backupSlotName(slot) + QStringLiteral("/x")));
        const QByteArray before = fileHash(m_live);
        QCOMPARE(automaticBackup(m_live), QString());
        QCOMPARE(fileHash(m_live), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("Data.kvd")});

        // A damaged live database is not rotated into the slots over good copies.
        for (int slot = 1; slot <= 10; ++slot)
            QVERIFY(QDir(folder + backupSlotName(slot)).removeRecursively());
        QVERIFY(!automaticBackup(m_live).isEmpty());
        const QByteArray good = fileHash(folder + QStringLiteral("Bak01.kvd"));
        writeFile(m_live, QByteArray(8192, 'z'));
        QCOMPARE(automaticBackup(m_live), QString());
        QCOMPARE(fileHash(folder + QStringLiteral("Bak01.kvd")), good);
    }

    // A backup folder or copy that another user could have put there is never written or
    // brought back: the refusal names it and why, his register stays out of ours, his files
    // stay as they were.
    void plantedBackupRefused_data()
    {
        QTest::addColumn<Plant>("plant");
        QTest::addColumn<QString>("refusedAt"); // relative to the user data home
        QTest::addColumn<PathProblem>("problem");
        QTest::addColumn<bool>("backupRefused");
        const QString folder = QStringLiteral("k27center-backup");
        const QString copy = QStringLiteral("k27center-backup/Data/Data.kvd");
        QTest::newRow("folder linked to his") << Plant::LinkedFolder << folder << PathProblem::Link << true;
        QTest::newRow("folder of his") << Plant::HisFolder << folder << PathProblem::OtherOwner << true;
        QTest::newRow("his register as our copy")
            << Plant::HisCopyInOurFolder << copy << PathProblem::OtherOwner << false;
        QTest::newRow("link as our copy") << Plant::LinkAsCopy << copy << PathProblem::Link << false;
        QTest::newRow("copy open to others") << Plant::OpenCopy << copy << PathProblem::OpenToOthers << false;
    }
    void plantedBackupRefused()
    {
        QFETCH(Plant, plant);
        QFETCH(QString, refusedAt);
        QFETCH(PathProblem, problem);
        QFETCH(bool, backupRefused);
        if (!test::canActAsOtherUser())
            QSKIP("another user can only be played by a test run as root");
        // The user's data home can be written by others; the rest of the test folder is ours.
        const QString home = m_dir->filePath(QStringLiteral("share"));
        const QString user = home + QStringLiteral("/k27center-backup");
        const QString his = home + QStringLiteral("/his");
        QVERIFY(QDir().mkpath(home));
        setMode(m_dir->path(), 0711);
        setMode(home, 0777);
        if (plant == Plant::HisCopyInOurFolder || plant == Plant::LinkAsCopy) {
            QVERIFY(QDir().mkpath(user + QStringLiteral("/Data")));
            setMode(user, 0777);
            setMode(user + QStringLiteral("/Data"), 0777);
        }
        if (plant == Plant::OpenCopy) {
            QVERIFY(manualBackup(m_live, user));
            setMode(manualBackupPath(user), 0666);
        }
        QVERIFY(asOtherUser([&] {
            const QByteArray hisRegister = QFile::encodeName(his + QStringLiteral("/Data/Data.kvd"));
            switch (plant) {
            case Plant::LinkedFolder:
                return makeRegister(QFile::decodeName(hisRegister), QStringLiteral("intruder"))
                       && ::symlink(QFile::encodeName(his).constData(), QFile::encodeName(user).constData()) == 0;
            case Plant::HisFolder: return makeRegister(manualBackupPath(user), QStringLiteral("intruder"));
            case Plant::HisCopyInOurFolder: return makeRegister(manualBackupPath(user), QStringLiteral("intruder"));
            case Plant::LinkAsCopy:
                return makeRegister(QFile::decodeName(hisRegister), QStringLiteral("intruder"))
                       && ::symlink(hisRegister.constData(), QFile::encodeName(manualBackupPath(user)).constData())
                              == 0;
            case Plant::OpenCopy: return true;
            }
            return false;
        }));
        const QByteArray hisBefore = test::fileHash(his + QStringLiteral("/Data/Data.kvd"));
        const QStringList ours = cardholders(m_live);

        PathRefusal refused;
        QCOMPARE(restoreBackup(m_live, user, nullptr, &refused), RestoreResult::Unsafe);
        QCOMPARE(refused.path, home + u'/' + refusedAt);
        QCOMPARE(refused.problem, problem);
        QCOMPARE(cardholders(m_live), ours);

        refused = {};
        QCOMPARE(manualBackup(m_live, user, &refused), !backupRefused);
        if (backupRefused) {
            QCOMPARE(refused.path, home + u'/' + refusedAt);
            QCOMPARE(refused.problem, problem);
        } else {
            // Our own folder is owner-only again and holds our copy, no longer his file.
            QCOMPARE(modeOf(user), 0700);
            QCOMPARE(cardholders(manualBackupPath(user)), ours);
            QCOMPARE(restoreBackup(m_live, user), RestoreResult::Restored);
        }
        QCOMPARE(test::fileHash(his + QStringLiteral("/Data/Data.kvd")), hisBefore);
        QCOMPARE(cardholders(m_live), ours);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_program;
    QString m_user;
    QString m_live;
};

QTEST_GUILESS_MAIN(BackupTest)
#include "BackupTest.moc"
