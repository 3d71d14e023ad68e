// Where the program keeps its files, its command line and the display check.
#include "ManPage.h"
#include "startup/AppSettings.h"
#include "startup/ProgramFolders.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;
using Kind = ProgramFolders::Kind;

Q_DECLARE_METATYPE(k27::ProgramFolders::Kind)

class TestProgramFolders : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("optionHasRes");
        QTest::addColumn<bool>("exeHasRes");
        QTest::addColumn<bool>("exeWritable");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("res");
        // The executable is /opt/k/bin, the user's data /home/u/.local/share.
        QTest::newRow("option with its own res") << "/srv/k" << true << false << false << Kind::Option << "/srv/k"
                                                 << "/srv/k/res";
        QTest::newRow("option, installed res") << "/srv/k" << false << false << false << Kind::Option << "/srv/k"
                                               << "/opt/k/share/k27center/res";
        QTest::newRow("option beside a build") << "/srv/k" << false << true << true << Kind::Option << "/srv/k"
                                               << "/opt/k/bin/res";
        QTest::newRow("portable copy") << "" << false << true << true << Kind::Portable << "/opt/k/bin"
                                       << "/opt/k/bin/res";
        QTest::newRow("installed") << "" << false << false << false << Kind::UserData
                                   << "/home/u/.local/share/k27center"
                                   << "/opt/k/share/k27center/res";
        QTest::newRow("installed, writable bin")
            << "" << false << false << true << Kind::UserData << "/home/u/.local/share/k27center"
            << "/opt/k/share/k27center/res";
        QTest::newRow("read-only copy") << "" << false << true << false << Kind::UserData
                                        << "/home/u/.local/share/k27center"
                                        << "/opt/k/bin/res";
        // Its register is not left for a new, empty one: start-up says that it cannot be written.
        QTest::newRow("read-only copy with a register")
            << "" << false << true << false << Kind::Portable << "/opt/k/bin"
            << "/opt/k/bin/res";
    }
    void choice()
    {
        QFETCH(QString, option);
        QFETCH(bool, optionHasRes);
        QFETCH(bool, exeHasRes);
        QFETCH(bool, exeWritable);
        FolderFacts facts{option,
                          QStringLiteral("/opt/k/bin"),
                          exeHasRes,
                          exeWritable,
                          optionHasRes,
                          QStringLiteral("/home/u/.local/share"),
                          QStringLiteral("/opt/k/share/k27center/res"),
                          QByteArray(QTest::currentDataTag()).endsWith("with a register")};
        const ProgramFolders got = chooseProgramFolders(facts);
        QTEST(got.kind, "kind");
        QTEST(got.programFolder, "folder");
        QTEST(got.resFolder, "res");
    }

    // The facts come from the disk and XDG_DATA_HOME (a relative one is ignored).
    void probe()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("bin/res"));
        QDir(dir.path()).mkpath(QStringLiteral("opt"));
        for (const auto& [xdg, home] :
             {std::pair{dir.path() + QStringLiteral("/xdg"), dir.path() + QStringLiteral("/xdg")},
              std::pair{QStringLiteral("rel/xdg"), QDir::homePath() + QStringLiteral("/.local/share")}}) {
            qputenv("XDG_DATA_HOME", xdg.toLocal8Bit());
            const FolderFacts facts = probeFolderFacts(dir.path() + QStringLiteral("/opt/"),
                                                       dir.path() + QStringLiteral("/bin"));
            QCOMPARE(facts.userDataHome, home);
            QCOMPARE(facts.optionFolder, dir.path() + QStringLiteral("/opt"));
            QVERIFY(!facts.optionHasRes);
            QVERIFY(facts.executableHasRes);
            QVERIFY(facts.executableWritable);
            QCOMPARE(facts.sharedResFolder, dir.path() + QStringLiteral("/share/k27center/res"));
        }
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(manualBackupFolder(QStringLiteral("/h/.local/share")),
                 QStringLiteral("/h/.local/share/k27center-backup"));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("version");
        QTest::addColumn<bool>("error");
        QTest::newRow("none") << QStringList{} << "" << false << false << false;
        QTest::newRow("--folder DIR") << QStringList{"--folder", "/d"} << "/d" << false << false << false;
        QTest::newRow("--folder=DIR") << QStringList{"--folder=/d"} << "/d" << false << false << false;
        QTest::newRow("help") << QStringList{"-h"} << "" << true << false << false;
        QTest::newRow("version") << QStringList{"--version"} << "" << false << true << false;
        QTest::newRow("Qt's own") << QStringList{"-platform", "offscreen"} << "" << false << false << false;
        QTest::newRow("folder missing") << QStringList{"--folder"} << "" << false << false << true;
        QTest::newRow("folder empty") << QStringList{"--folder="} << "" << false << false << true;
        QTest::newRow("unknown") << QStringList{"--colour"} << "" << false << false << true;
        QTest::newRow("--register URL") << QStringList{"--register", "postgresql://k27@db/k27"} << "" << false << false
                                        << false;
        QTest::newRow("--register file") << QStringList{"--register=/tmp/Data.kvd"} << "" << false << false << true;
        QTest::newRow("register missing") << QStringList{"--register"} << "" << false << false << true;
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        args.prepend(QStringLiteral("k27center"));
        const CommandLine line = parseCommandLine(args);
        QTEST(line.folder, "folder");
        QTEST(line.help, "help");
        QTEST(line.version, "version");
        QTEST(!line.error.isEmpty(), "error");
    }

    // The usage text names every option of the manual page, and the desktop entry the window
    // class the program gives its windows.
    void usageAndDesktopEntryAgreeWithTheProgram()
    {
        const QSet<QString> options = test::manPageOptions(QStringLiteral("k27center.1"));
        QVERIFY(options.contains(QStringLiteral("-h")));
        for (const QString& option : options)
            QVERIFY2(usageText().contains(option), qPrintable(option));
        QFile entry(qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/dist/") + QLatin1String(DesktopFileId)
                    + QStringLiteral(".desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(entry.readAll()).split(u'\n');
        QVERIFY(lines.contains(QStringLiteral("StartupWMClass=") + QLatin1String(ApplicationName)));
    }

    void display_data()
    {
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("missing");
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "" << QStringList{} << true;
        QTest::newRow("X11") << ":0"
                             << ""
                             << "" << QStringList{} << false;
        QTest::newRow("Wayland") << ""
                                 << "wayland-0"
                                 << "" << QStringList{} << false;
        QTest::newRow("xcb without X11") << ""
                                         << "wayland-0"
                                         << "xcb" << QStringList{} << true;
        QTest::newRow("list falls back") << ":0"
                                         << ""
                                         << "wayland;xcb" << QStringList{} << false;
        QTest::newRow("offscreen") << ""
                                   << ""
                                   << "offscreen" << QStringList{} << false;
        QTest::newRow("argument wins") << ""
                                       << ""
                                       << "xcb" << QStringList{"-platform", "offscreen"} << false;
    }
    void display()
    {
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(QString, platform);
        QFETCH(QStringList, args);
        const QByteArray saved = qgetenv("QT_QPA_PLATFORM");
        qputenv("DISPLAY", display.toLatin1());
        qputenv("WAYLAND_DISPLAY", wayland.toLatin1());
        qputenv("QT_QPA_PLATFORM", platform.toLatin1());
        args.prepend(QStringLiteral("k27center"));
        const bool missing = !missingDisplayReason(args).isEmpty();
        qputenv("QT_QPA_PLATFORM", saved);
        QTEST(missing, "missing");
    }

    void languageOfTheLocale()
    {
        const std::pair<const char*, int> cases[] = {{"zh_CN", 0}, {"zh_SG", 0},      {"zh_TW", 1},
                                                     {"zh_HK", 1}, {"zh_Hant_CN", 1}, {"zh_Hans_HK", 0},
                                                     {"en_US", 2}, {"de_DE", 2},      {"C", 2}};
        for (const auto& [name, language] : cases)
            QCOMPARE(int(languageForLocale(QLocale(QString::fromLatin1(name)))), language);
    }
};

QTEST_GUILESS_MAIN(TestProgramFolders)
#include "ProgramFoldersTest.moc"
