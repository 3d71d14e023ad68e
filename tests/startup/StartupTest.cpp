#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "startup/AppContext.h"
#include "startup/Startup.h"

#include <QLockFile>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;
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
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0300960000" "02"));
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
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0180250000" "02"));
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
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0180250000" "02"));
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
        folder.writeFile(QStringLiteral("k27center.lock"),
                         QByteArray::number(deadPid ? deadPid : 999999) + "\nk27center\n"
                             + QSysInfo::machineHostName().toUtf8() + "\n");
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
        folder.writeFile(QStringLiteral("AppSet.dat"), QByteArray::fromHex("0180250000" "01"));
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
            {folder.path(QStringLiteral("Data")), 0755},          {folder.path(QStringLiteral("Data/img")), 0755},
            {folder.databasePath(), 0644},                         {folder.path(QStringLiteral("Data/Bak01.kvd")), 0664},
            {user.path(), 0755},                                   {backupFolder, 0755},
            {backupFolder + QStringLiteral("/Data.kvd"), 0644},
        };
        for (const auto& [path, mode] : paths)
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
        ScriptedDialogs dialogs;
        AppContext ctx(folder.path(), dialogs);
        ctx.userDataFolder = user.path();
        QCOMPARE(Startup(ctx).run(), Startup::Outcome::Continue);
        for (const auto& [path, mode] : paths) {
            struct stat info {};
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
};

QTEST_MAIN(TestStartup)
#include "StartupTest.moc"
