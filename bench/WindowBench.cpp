// The program's own start-up at a large site's size, timed from outside and inside:
//   k27-bench-window            prints every figure beside its goal (median of three runs)
//   k27-bench-window --prepare  only makes the program folders (once, in /tmp), for a caller
//                               that times the rest under a lock
// Each run is a fresh process of this program doing what k27center's main() does: QApplication,
// start-up checks, the sign-in dialog, the password, the main window. A site of 100,000
// cardholders, 368 terminals and 1,000,000 records stands beside an empty register, so the
// difference shows what the data costs. The process that times them also times one database
// open (the key derivation) as the unit the other figures can be read in.
#include "cardholders/CardholderPage.h"
#include "ResidentMemory.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "mainwin/Frmmain.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "records/RecordQuery.h"
#include "signin/FrmLogin.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "startup/AppContext.h"
#include "startup/ProgramFolders.h"
#include "startup/Startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace k27;
using k27::bench::residentKb;

namespace {

constexpr int Holders = 100000;
constexpr int Terminals = 368;
constexpr int Records = 1000000;
const char* const OperatorPassword = "bench";

// The monotonic clock is the same in every process, so a child can tell how long ago its
// parent started it.
qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double msSince(qint64 startNs) { return double(nowNs() - startNs) / 1e6; }

// Answers like an operator who says No and types nothing; every text asked is shown, since a
// message during the start-up is part of what is timed.
class BenchDialogs final : public Dialogs
{
public:
    void message(QWidget*, const QString& text, Icon, const QString&) override { note("message", text); }
    bool question(QWidget*, const QString& text, const QString&, DefaultAnswer) override
    {
        note("question", text);
        return false;
    }
    QString input(QWidget*, const QString& prompt, const QString&, bool) override
    {
        note("input", prompt);
        return {};
    }
    QString openFile(QWidget*, const QString&, const QString&, FileKind) override { return {}; }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&, FileKind) override { return {}; }

private:
    static void note(const char* kind, const QString& text)
    {
        std::fprintf(stderr, "  (%s: %s)\n", kind, qPrintable(text.left(60)));
    }
};

QString folderFor(bool large)
{
    return large ? QStringLiteral("/tmp/k27-window-%1-%2-%3").arg(Holders).arg(Terminals).arg(Records)
                 : QStringLiteral("/tmp/k27-window-empty");
}

// The register of a large site: holders with cards and permissions, every terminal named,
// a record every three seconds.
bool fillLarge(Database& db)
{
    db.beginTransaction();
    bool ok = db.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
        " INSERT INTO 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
        " SELECT substr('王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗', 1 + i % 20, 1)"
        "        || substr('伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰', 1 + i / 20 % 20, 1)"
        "        || substr('伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰', 1 + i / 400 % 20, 1),"
        "        CASE i % 2 WHEN 0 THEN '男' ELSE '女' END, '部门' || (i % 40), '职员',"
        "        '广州市天河区体育西路' || (i % 500) || '号', '138' || printf('%08d', i),"
        "        CASE WHEN i % 3 = 0 THEN NULL ELSE printf('%010d', i) END,"
        "        CASE WHEN i % 3 = 0 THEN NULL ELSE (1 + i % 46) || '、' || (47 + i % 46) || '、' END,"
        "        CASE WHEN i % 3 = 0 THEN NULL ELSE '永久有效、2030：十二月、' END FROM n"),
        {Holders});
    ok = ok && db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                                      " INSERT INTO 终端机 (终端机号, 地址) SELECT i, '大门' || i FROM n"),
                       {Terminals});
    ok = ok && db.exec(QStringLiteral(
             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
             " INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期)"
             " SELECT printf('%010d', 1 + (i * 7919) % 120000),"
             "        strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || (i * 3) || ' seconds'),"
             "        1 + i % ?, '星期' || (i % 7) FROM n"),
             {Records, Terminals});
    return db.commit() && ok;
}

// A program folder as k27center --folder uses it; the database is made once and reused.
bool prepareFolder(bool large)
{
    const QString folder = folderFor(large);
    QDir dir(folder);
    dir.mkpath(QStringLiteral("res"));
    dir.mkpath(QStringLiteral("Data/img"));
    dir.mkpath(QStringLiteral("dev"));
    for (const char* name : {"Smp_Chs.lag", "big_Chs.lag", "English.lag"}) {
        const QString target = dir.filePath(QStringLiteral("res/") + QLatin1String(name));
        QFile::remove(target);
        QFile::copy(QStringLiteral(K27_SOURCE_DIR "/res/") + QLatin1String(name), target);
    }
    // COM1 at 9600 bit/s, Simplified Chinese.
    QFile settings(dir.filePath(QStringLiteral("AppSet.dat")));
    if (!settings.open(QIODevice::WriteOnly) || settings.write(QByteArray("\001\200\045\000\000\000", 6)) != 6)
        return false;
    settings.close();

    const QString path = dir.filePath(QStringLiteral("Data/Data.kvd"));
    if (QFile::exists(path))
        return true;
    QElapsedTimer timer;
    timer.start();
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    QString error;
    bool ok = createProgramDatabase(partial, &error);
    {
        Database db;
        ok = ok && db.open(partial) && addOperator(db, {QStringLiteral("管理员"), hashPassword(QLatin1String(OperatorPassword)), true, {}});
        ok = ok && (!large || fillLarge(db));
        if (large && ok) {
            RecordQuery::ensureIndexes(db);
            ensureLookupIndexes(db);
        }
    }
    ok = ok && QFile::rename(partial, path);
    if (!ok) {
        std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(path), qPrintable(error));
        QFile::remove(partial);
        return false;
    }
    std::printf("made %s in %.1f s\n", qPrintable(folder), timer.elapsed() / 1000.0);
    return true;
}

// Lets every event queued so far run, the paints of the shown windows among them.
void drainEvents()
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}

class PaintWatch final : public QObject
{
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// One run of the program's start-up, as main() does it; prints its figures on one line.
int child(int argc, char** argv, const QString& folder, qint64 spawnedNs)
{
    const qint64 mainNs = nowNs();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("K27Center"));
    QApplication::setApplicationDisplayName(QStringLiteral("K27 Center"));
    QApplication::setDesktopFileName(QStringLiteral("org.k27center.K27Center"));
    QIcon icon;
    for (int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/k27center/icons/k27center-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // The window's place is kept beside the bench's folder, not in the operator's settings.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder + QStringLiteral("/user"));

    const FolderFacts facts = probeFolderFacts(folder, QApplication::applicationDirPath());
    const ProgramFolders folders = chooseProgramFolders(facts);
    BenchDialogs dialogs;
    AppContext context(folders.programFolder, dialogs);
    context.setResFolder(folders.resFolder);
    context.userDataFolder = folder + QStringLiteral("/backup");

    const int opensAtStart = Database::keyDerivations();
    Startup startup(context);
    if (startup.run() == Startup::Outcome::Exit)
        return 1;
    FrmLogin login(context);
    login.show();
    if (!QTest::qWaitForWindowExposed(&login))
        return 1;
    const double toDialog = msSince(spawnedNs);
    const double toDialogInside = msSince(mainNs);
    const int opensToDialog = Database::keyDerivations() - opensAtStart;

    // The operator types once the dialog has opened (its opening animation has played).
    QElapsedTimer wait;
    wait.start();
    while (login.width() < FrmLogin::NarrowWidth / FrmLogin::Twips - 2 && wait.elapsed() < 3000)
        QTest::qWait(10);
    login.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QLatin1String(OperatorPassword));
    const int opensBeforeSignIn = Database::keyDerivations();
    const qint64 clickNs = nowNs();
    login.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    if (login.result() != QDialog::Accepted) {
        std::fprintf(stderr, "the sign-in was refused\n");
        return 1;
    }
    const double passwordMs = msSince(clickNs);

    const long long kbBefore = residentKb();
    const int opensBeforeWindow = Database::keyDerivations();
    const qint64 acceptedNs = nowNs();
    Frmmain mainWindow(context);
    const double constructedMs = msSince(acceptedNs);
    PaintWatch watch;
    QWidget* list = mainWindow.cardholderPage()->GridU->view()->viewport();
    list->installEventFilter(&watch);
    mainWindow.show();
    if (!QTest::qWaitForWindowExposed(&mainWindow))
        return 1;
    drainEvents();
    for (int i = 0; i < 100 && !watch.painted; ++i)
        QTest::qWait(1);
    // Offscreen, the window system paints on exposure; should it not, the list is painted here.
    if (!watch.painted) {
        std::fprintf(stderr, "  (the list was not painted by the window system: painted by the bench)\n");
        list->grab();
    }
    drainEvents();
    const double windowMs = msSince(acceptedNs);
    const int opensWindow = Database::keyDerivations() - opensBeforeWindow;
    const long long grownKb = residentKb() - kbBefore;

    std::printf("figures %.3f %.3f %.3f %.3f %.3f %d %d %d %lld %.1f %d\n", toDialog, toDialogInside, passwordMs,
                constructedMs, windowMs, opensToDialog, opensBeforeWindow - opensBeforeSignIn, opensWindow, grownKb,
                mainWindow.cardholders().rowCount() ? double(mainWindow.cardholders().memoryBytes())
                                                          / mainWindow.cardholders().rowCount()
                                                    : 0.0,
                mainWindow.cardholders().rowCount());
    std::fflush(stdout);
    return watch.painted ? 0 : 1;
}

// Three fresh processes on one folder; the median of each figure.
bool runChildren(const QString& program, bool large, std::vector<double>& medians)
{
    std::vector<std::vector<double>> runs;
    for (int i = 0; i < 3; ++i) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList arguments{QStringLiteral("--child"), folderFor(large), QString::number(nowNs())};
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitCode() != 0) {
            std::fprintf(stderr, "the run on %s failed (%d)\n", qPrintable(folderFor(large)), process.exitCode());
            return false;
        }
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (!line.startsWith("figures "))
                continue;
            std::vector<double> values;
            for (const QByteArray& word : line.mid(8).split(' '))
                values.push_back(word.toDouble());
            runs.push_back(values);
        }
    }
    if (runs.size() != 3)
        return false;
    medians.assign(runs[0].size(), 0.0);
    for (size_t f = 0; f < medians.size(); ++f) {
        std::vector<double> v{runs[0][f], runs[1][f], runs[2][f]};
        std::sort(v.begin(), v.end());
        medians[f] = v[1];
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt warns on every start without one.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            const QByteArray runtime = QByteArray(argv[2]) + "/runtime";
            ::mkdir(runtime.constData(), 0700);
            qputenv("XDG_RUNTIME_DIR", runtime);
        }
        return child(argc, argv, QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong());
    }
    QCoreApplication app(argc, argv);
    if (!prepareFolder(false) || !prepareFolder(true))
        return 1;
    if (argc > 1 && QByteArray(argv[1]) == "--prepare")
        return 0;

    // COM1 is a pseudo-terminal that nobody answers: the port opens as with the device
    // attached, and no real serial port is touched.
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
        std::fprintf(stderr, "no pseudo-terminal for COM1\n");
        return 1;
    }
    for (bool large : {false, true}) {
        const QString link = folderFor(large) + QStringLiteral("/dev/COM1");
        QFile::remove(link);
        QFile::link(QString::fromLocal8Bit(ptsname(terminal)), link);
    }

    // The unit: one open of the large file with its key derivation.
    std::vector<double> opens;
    for (int i = 0; i < 3; ++i) {
        Database db;
        const qint64 start = nowNs();
        db.open(folderFor(true) + QStringLiteral("/Data/Data.kvd"));
        opens.push_back(msSince(start));
    }
    std::sort(opens.begin(), opens.end());
    const double openMs = opens[1];

    std::vector<double> large, empty;
    const QString program = QCoreApplication::applicationFilePath();
    if (!runChildren(program, false, empty) || !runChildren(program, true, large))
        return 1;
    enum { ToDialog, ToDialogInside, Password, Constructed, Window, OpensToDialog, OpensSignIn, OpensWindow, GrownKb,
           BytesPerHolder, HolderCount };
    std::printf("%d holders, %d terminals, %d records: %s (medians of three runs, each a new process)\n",
                int(large[HolderCount]), Terminals, Records, qPrintable(folderFor(true)));
    std::printf("%-44s %9s %9s %9s %8s   %s\n", "", "site", "empty", "ratio", "opens", "goal");
    const auto line = [&](const char* what, int f, int opensField, const char* goal) {
        const QByteArray opensText =
            opensField < 0 ? QByteArray() : QByteArray::number(int(large[size_t(opensField)]));
        std::printf("%-44s %6.1f ms %6.1f ms %8.2fx %8s   %s\n", what, large[size_t(f)], empty[size_t(f)],
                    empty[size_t(f)] > 0 ? large[size_t(f)] / empty[size_t(f)] : 0.0, opensText.constData(), goal);
    };
    ::close(terminal);
    line("start-up to the sign-in dialog shown", ToDialog, OpensToDialog, "< 300 ms");
    line("  of which after main() began", ToDialogInside, -1, "");
    line("password checked (OK to accepted)", Password, OpensSignIn, "");
    line("sign-in accepted to a usable main window", Window, OpensWindow, "< 1500 ms");
    line("  of which the window's construction", Constructed, -1, "");
    std::printf("%-44s %6.1f ms %29s   the unit of the opens above\n", "one database open (key derivation)", openMs, "");
    std::printf("%-44s %6.1f MB %6.1f MB\n", "memory grown by the main window", large[GrownKb] / 1024.0,
                empty[GrownKb] / 1024.0);
    std::printf("%-44s %6.1f B %38s   < 250 B\n", "cardholder table per holder", large[BytesPerHolder], "");
    return 0;
}
