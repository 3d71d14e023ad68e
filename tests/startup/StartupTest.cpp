#include "OtherUser.h"
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "db/FileModes.h"
#include "startup/AppContext.h"
#include "startup/ProgramFolders.h"
#include "startup/Startup.h"

#include <QLockFile>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace k27;
using test::asOtherUser;
using test::ProgramFolder;
using test::ScriptedDialogs;

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void noSettingsFile()
    {
        ProgramFolder folder;
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Continue);
        QVERIFY(dialogs.calls.isEmpty());
        QCOMPARE(ctx.portNumber, 1);
        QCOMPARE(ctx.serialSettings, QStringLiteral("9600,n,8,1"));
        QCOMPARE(int(ctx.settings.language), 0);
        QCOMPARE(int(ctx.settings.port), 0); // the record keeps what it read
        QVERIFY(QFile::exists(ctx.settingsPath()));
        QCOMPARE(QFileInfo(ctx.settingsPath()).size(), 0);
        QVERIFY(!ctx.message(0).isEmpty());
    }

    void settingsAndLanguageApplied()
    {
        ProgramFolder folder;
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0300960000"
                                                                           "02"));
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Continue);
        QCOMPARE(ctx.portNumber, 3);
        QCOMPARE(ctx.baudText, QStringLiteral("38400"));
        QCOMPARE(ctx.serialSettings, QStringLiteral("38400,n,8,1"));
        QCOMPARE(ctx.message(20), QStringLiteral("January"));
    }

    void missingSimplifiedChineseFileStops()
    {
        ProgramFolder folder;
        QFile::remove(folder.path(QStringLiteral("res/Smp_Chs.lag")));
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0180250000"
                                                                           "02"));
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Exit);
        QCOMPARE(dialogs.calls.size(), 1);
        QCOMPARE(dialogs.calls[0].text, QStringLiteral("系统语言库丢失，请重新安装系统！"));
        QCOMPARE(dialogs.calls[0].icon, Dialogs::Icon::Error);
    }

    void secondInstanceRefused()
    {
        ProgramFolder folder;
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0180250000"
                                                                           "02"));
        ScriptedDialogs first, second;
        AppContext ctx1(folder.path(), first), ctx2(folder.path(), second);
        Startup running(ctx1);
        QCOMPARE(running.run(), Startup::Outcome::Continue);
        Startup another(ctx2);
        QCOMPARE(another.run(), Startup::Outcome::Exit);
        QCOMPARE(second.calls.size(), 1);
        QCOMPARE(second.calls[0].text, ctx2.message(0));
        QVERIFY(second.calls[0].text.contains(QStringLiteral("running")));
        QCOMPARE(second.calls[0].icon, Dialogs::Icon::Warning);
    }

    void lockOfACrashedRunIsTakenOver()
    {
        ProgramFolder folder;
        QProcess gone;
        gone.start(QStringLiteral("true"));
        QVERIFY(gone.waitForFinished());
        const qint64 deadPid = gone.processId() ? gone.processId() : 999999;
        folder.writeFile(QStringLiteral("k27center.lock"), QByteArray::number(deadPid ? deadPid : 999999)
                                                               + "\nk27center\n" + QSysInfo::machineHostName().toUtf8()
                                                               + "\n");
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Continue);

        // A lock file of garbage does not block the start either.
        ProgramFolder other;
        other.writeFile(QStringLiteral("k27center.lock"), "\x01\x02garbage");
        AppContext ctx2(other.path(), dialogs);
        Startup again(ctx2);
        QCOMPARE(again.run(), Startup::Outcome::Continue);
    }

    void chosenLanguageFileMissing()
    {
        ProgramFolder folder;
        QFile::remove(folder.path(QStringLiteral("res/big_Chs.lag")));
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0180250000"
                                                                           "01"));
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Continue);
        // The messages fall back to Simplified Chinese instead of being empty.
        QCOMPARE(ctx.message(12), QStringLiteral("密码错误，请重新输入！"));
    }

    void journalOfACrashIsRolledBack()
    {
        ProgramFolder folder;
        // A writer dies in the middle of a transaction and leaves its journal behind.
        const pid_t child = fork();
        if (child == 0) {
            Database db;
            db.open(folder.databasePath());
            db.exec(QStringLiteral("PRAGMA cache_size = 5"));
            db.exec(QStringLiteral("BEGIN"));
            for (int i = 0; i < 3000; ++i)
                db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 住址) VALUES (?, ?)"),
                        {QString::number(i), QString(200, u'x')});
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(QFile::exists(folder.databasePath() + QStringLiteral("-journal")));

        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Continue);
        QVERIFY(dialogs.calls.isEmpty());
        Database db;
        QVERIFY(db.open(folder.databasePath()));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 用户信息")).toInt(), 0);
    }

    void missingDatabaseStops()
    {
        ProgramFolder folder(false);
        folder.writeFile(QStringLiteral(".database-created"), "");
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Exit);
        QCOMPARE(dialogs.calls.size(), 1);
        QCOMPARE(dialogs.calls[0].text, ctx.message(1));
        QCOMPARE(dialogs.calls[0].icon, Dialogs::Icon::Error);
    }

    // A folder that never had a register gets an empty one and is marked; once marked, a
    // register that has gone stops the start with message 1 instead of starting afresh.
    // A register that was already there (made by k27-db) is marked at its first start.
    void firstStartCreatesTheDatabase()
    {
        QTemporaryDir parent;
        ProgramFolder res;
        const QString path = parent.path() + QStringLiteral("/new/k27center");
        ScriptedDialogs dialogs;
        {
            AppContext ctx(path, dialogs);
            ctx.setResFolder(res.path(QStringLiteral("res")));
            Startup startup(ctx);
            QCOMPARE(startup.run(), Startup::Outcome::Continue);
            QVERIFY(dialogs.calls.isEmpty());
            QVERIFY(ctx.firstStart);
            QVERIFY(Database::isProgramDatabase(ctx.databasePath()));
            QVERIFY(QFileInfo(ctx.imageFolder()).isDir());
            QCOMPARE(QFileInfo(ctx.databasePath()).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
            QVERIFY(QFile::exists(ctx.databaseMarkerPath()));
            QCOMPARE(QFileInfo(ctx.settingsPath()).size(), 0);
        }
        QVERIFY(QFile::remove(path + QStringLiteral("/Data/Data.kvd")));
        AppContext again(path, dialogs);
        again.setResFolder(res.path(QStringLiteral("res")));
        Startup second(again);
        QCOMPARE(second.run(), Startup::Outcome::Exit);
        QCOMPARE(dialogs.messageTexts(), QStringList{again.message(1)});
        QVERIFY(!QFile::exists(again.databasePath()));

        ProgramFolder made;
        AppContext ctx(made.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Continue);
        QVERIFY(!ctx.firstStart);
        QVERIFY(QFile::exists(ctx.databaseMarkerPath()));
    }

    // Port 255 names the device in AppSet.dev; any other port leaves that file unread.
    void deviceChosenByName()
    {
        for (const auto& [port, expected] : {std::pair{255, "/dev/ttyUSB0"}, std::pair{3, ""}}) {
            ProgramFolder folder;
            folder.writeFile(QStringLiteral("AppSet.dat"), AppSettings{quint8(port), 9600, 0}.toBytes());
            folder.writeFile(QStringLiteral("AppSet.dev"), "/dev/ttyUSB0\n");
            ScriptedDialogs dialogs;
            AppContext ctx(folder.path(), dialogs);
            Startup startup(ctx);
            QCOMPARE(startup.run(), Startup::Outcome::Continue);
            QCOMPARE(ctx.deviceName, QString::fromLatin1(expected));
            QCOMPARE(ctx.portNumber, port == 255 ? 1 : port);
        }
    }

    void readOnlyDatabaseMadeWritable()
    {
        ProgramFolder folder;
        QFile::setPermissions(folder.databasePath(), QFileDevice::ReadOwner | QFileDevice::ReadUser);
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Continue);
        QVERIFY(QFileInfo(folder.databasePath()).permissions() & QFileDevice::WriteOwner);
    }

    // Files of earlier versions were readable by every local user: start-up takes that away.
    void dataFilesTightenedToTheOwner()
    {
        ProgramFolder folder;
        QTemporaryDir user;
        const QString backupFolder = user.path() + QStringLiteral("/Data");
        QVERIFY(QDir().mkpath(backupFolder));
        ProgramFolder::createDatabase(backupFolder + QStringLiteral("/Data.kvd"));
        ProgramFolder::createDatabase(folder.path(QStringLiteral("Data/Bak01.kvd")));
        const QList<std::pair<QString, int>> paths = {
            {folder.path(QStringLiteral("Data")), 0755},
            {folder.path(QStringLiteral("Data/img")), 0755},
            {folder.databasePath(), 0644},
            {folder.path(QStringLiteral("Data/Bak01.kvd")), 0664},
            {user.path(), 0755},
            {backupFolder, 0755},
            {backupFolder + QStringLiteral("/Data.kvd"), 0644},
        };
        for (const auto& [path, mode] : paths)
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        ctx.userDataFolder = user.path();
        QCOMPARE(Startup(ctx).run(), Startup::Outcome::Continue);
        for (const auto& [path, mode] : paths) {
            struct stat info
            {
            };
            QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
            QCOMPARE(int(info.st_mode & 0777), mode & 0700);
        }
    }

    void unreadableDatabaseStopsWithoutTouchingIt_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QByteArray random(8192, '\0');
        for (char& b : random)
            b = char(QRandomGenerator::global()->bounded(256));
        QTest::newRow("random bytes") << random;
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("text") << QByteArray("not a database\n");
    }

    void unreadableDatabaseStopsWithoutTouchingIt()
    {
        QFETCH(QByteArray, contents);
        ProgramFolder folder(false);
        folder.writeFile(QStringLiteral("Data/Data.kvd"), contents);
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        Startup startup(ctx);
        QCOMPARE(startup.run(), Startup::Outcome::Exit);
        QCOMPARE(dialogs.calls.size(), 1);
        QCOMPARE(dialogs.calls[0].text, ctx.message(135));
        QCOMPARE(dialogs.calls[0].icon, Dialogs::Icon::Error);
        QCOMPARE(folder.readFile(QStringLiteral("Data/Data.kvd")), contents);
    }

    // A folder or database name that another user could have planted, or that points at
    // nothing, stops the start with the place and the reason; nothing is made behind a link.
    // A database that is the user's own link to a file is used, and that file's mode is left.
    void unsafePlacesRefused_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::addColumn<QString>("refused"); // relative to the program folder; empty: it starts
        QTest::addColumn<int>("reason");
        QTest::newRow("database linked to nothing") << "dangling"
                                                    << "Data/Data.kvd" << 226;
        QTest::newRow("Data folder is a link") << "linked Data"
                                               << "Data" << 225;
        QTest::newRow("user data folder of another user") << "other owner"
                                                          << "" << 228;
        QTest::newRow("database linked to a file") << "linked database"
                                                   << "" << 0;
    }
    void unsafePlacesRefused()
    {
        QFETCH(QString, plant);
        QFETCH(QString, refused);
        QFETCH(int, reason);
        ProgramFolder folder(plant == QLatin1String("linked database") || plant == QLatin1String("linked Data")
                             || plant == QLatin1String("other owner"));
        QTemporaryDir elsewhere;
        const QByteArray database = QFile::encodeName(folder.databasePath());
        const QByteArray target = QFile::encodeName(elsewhere.filePath(QStringLiteral("Data.kvd")));
        bool privateFolder = false;
        if (plant == QLatin1String("dangling")) {
            QVERIFY(::symlink(target.constData(), database.constData()) == 0);
        } else if (plant == QLatin1String("linked Data")) {
            const QByteArray data = QFile::encodeName(folder.path(QStringLiteral("Data")));
            const QByteArray moved = QFile::encodeName(elsewhere.filePath(QStringLiteral("Data")));
            QVERIFY(::rename(data.constData(), moved.constData()) == 0);
            QVERIFY(::symlink(moved.constData(), data.constData()) == 0);
        } else if (plant == QLatin1String("other owner")) {
            if (!test::canActAsOtherUser())
                QSKIP("another user can only be played by a test run as root");
            QVERIFY(::chown(QFile::encodeName(folder.path()).constData(), test::OtherUid, test::OtherUid) == 0);
            privateFolder = true;
        } else {
            // Read-only behind the link: only root may still write it, and start.
            if (!test::canActAsOtherUser())
                QSKIP("a read-only database can only be written by root");
            QVERIFY(::rename(database.constData(), target.constData()) == 0);
            QVERIFY(::chmod(target.constData(), 0440) == 0);
            QVERIFY(::symlink(target.constData(), database.constData()) == 0);
        }
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        ctx.privateProgramFolder = privateFolder;
        const Startup::Outcome outcome = Startup(ctx).run();
        if (reason == 0) {
            QCOMPARE(outcome, Startup::Outcome::Continue);
            struct stat info
            {
            };
            QVERIFY(::stat(target.constData(), &info) == 0);
            QCOMPARE(int(info.st_mode & 0777), 0440);
            return;
        }
        QCOMPARE(outcome, Startup::Outcome::Exit);
        const QString place = refused.isEmpty() ? folder.path() : folder.path(refused);
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{ctx.message(220) + u'\n' + QDir::toNativeSeparators(place) + u'\n' + ctx.message(reason)});
        QVERIFY(!QFile::exists(QFile::decodeName(target)) || plant != QLatin1String("dangling"));
    }

    // A copy of the program folder that cannot be written but holds a register is used as it
    // is, and start-up says that it cannot be written instead of starting an empty register.
    void readOnlyRegisterStops()
    {
        if (!test::canActAsOtherUser())
            QSKIP("a read-only folder can only be shown to a user other than root");
        QTemporaryDir top;
        ProgramFolder folder;
        const QString copy = top.filePath(QStringLiteral("copy"));
        QVERIFY(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), folder.path(), copy}) == 0);
        QVERIFY(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("65534:65534"), copy})
                == 0);
        QVERIFY(::chmod(QFile::encodeName(top.path()).constData(), 0755) == 0);
        for (const QString& path : {copy + QStringLiteral("/Data"), copy})
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0555) == 0);
        FolderFacts facts = probeFolderFacts({}, copy);
        QVERIFY(facts.executableHasRegister);
        facts.executableWritable = false;
        QCOMPARE(chooseProgramFolders(facts).programFolder, copy);
        QVERIFY(asOtherUser([&] {
            ScriptedDialogs dialogs;
            AppContext ctx(copy, dialogs);
            const bool stopped = Startup(ctx).run() == Startup::Outcome::Exit;
            return stopped
                   && dialogs.messageTexts() == QStringList{ctx.message(223) + u'\n' + QDir::toNativeSeparators(copy)};
        }));
    }

    // The lock of a run that is gone is taken over, whatever its file says and however full
    // the disk; a lock that cannot be tried at all is said so with the reason, not as
    // "already running".
    void lockTakenOverOrReasonSaid_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<bool>("starts");
        QTest::newRow("killed run") << "killed" << true;
        QTest::newRow("written on another machine") << "foreign" << true;
        QTest::newRow("killed run, disk full") << "full disk" << true;
        QTest::newRow("lock is a folder") << "folder" << false;
    }
    void lockTakenOverOrReasonSaid()
    {
        QFETCH(QString, lock);
        QFETCH(bool, starts);
        ProgramFolder folder;
        const QString lockPath = folder.path(QStringLiteral("k27center.lock"));
        const auto startsInChild = [&](bool fullDisk) {
            const pid_t child = fork();
            if (child == 0) {
                if (fullDisk) {
                    std::signal(SIGXFSZ, SIG_IGN);
                    const rlimit none{0, 0};
                    setrlimit(RLIMIT_FSIZE, &none);
                }
                ScriptedDialogs dialogs;
                AppContext ctx(folder.path(), dialogs);
                Startup startup(ctx); // holds the lock until the end
                const bool started = startup.run() == Startup::Outcome::Continue;
                if (!fullDisk)
                    raise(SIGKILL);
                _exit(started ? 0 : 1);
            }
            int status = 0;
            waitpid(child, &status, 0);
            return status;
        };
        if (lock == QLatin1String("killed") || lock == QLatin1String("full disk")) {
            QVERIFY(WIFSIGNALED(startsInChild(false)));
            QVERIFY(QFile::exists(lockPath));
        } else if (lock == QLatin1String("foreign")) {
            folder.writeFile(QStringLiteral("k27center.lock"),
                             "1\nk27center\nelsewhere\n0123456789abcdef0123456789abcdef\nboot\n");
        } else {
            QVERIFY(QDir().mkpath(lockPath));
        }
        if (lock == QLatin1String("full disk")) {
            const int status = startsInChild(true);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status) == 0, starts);
            return;
        }
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        QCOMPARE(Startup(ctx).run() == Startup::Outcome::Continue, starts);
        if (!starts)
            QCOMPARE(dialogs.messageTexts(),
                     QStringList{ctx.message(231) + u'\n' + QDir::toNativeSeparators(folder.path()) + u'\n'
                                 + ctx.message(233) + u' ' + QString::fromLocal8Bit(std::strerror(EISDIR))});
    }

    // Copies that a killed automatic backup left half-made are gone after the next start;
    // other files stay.
    void leftoverBackupCopiesRemoved()
    {
        ProgramFolder folder;
        const QStringList leftovers = {QStringLiteral("Data/Bak03.kvd.a1B2c3.tmp"),
                                       QStringLiteral("Data/Bak03.kvd.a1B2c3.tmp-journal"),
                                       QStringLiteral("Data/Data.kvd.Zz09xy.tmp")};
        for (const QString& name : leftovers)
            folder.writeFile(name, QByteArray(4096, 'x'));
        folder.writeFile(QStringLiteral("Data/notes.tmp"), "mine");
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        QCOMPARE(Startup(ctx).run(), Startup::Outcome::Continue);
        for (const QString& name : leftovers)
            QVERIFY2(!QFile::exists(folder.path(name)), qPrintable(name));
        QVERIFY(QFile::exists(folder.path(QStringLiteral("Data/notes.tmp"))));
        QVERIFY(Database::isProgramDatabase(folder.databasePath()));
    }
};

QTEST_MAIN(TestStartup)
#include "StartupTest.moc"
