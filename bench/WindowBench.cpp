// The real program's start-up at a large site's size, timed from outside:
//   k27-bench-window [RECORDS]            prints every figure beside its goal (medians of five
//                                         runs; a site of RECORDS records, default 1,000,000)
//   k27-bench-window --prepare [RECORDS]  only makes the program folders (once, in /tmp), for a
//                                         caller that times the rest under a lock
//   k27-bench-window --clicks [RECORDS]   only the records page's clicks on the large site
// Each run starts the k27center executable of this build on a folder (--folder). Its benchmark
// hook (K27CENTER_BENCH_STAGES) writes the monotonic time of each stage to stderr and signs in
// through the sign-in dialog with the operator and password given, then ends once the main
// window is usable: the figures are the program's own start-up, not a copy of it. A site of
// 100,000 cardholders, 368 terminals and 1,000,000 records (or as many as given) stands beside
// an empty register, so the difference shows what the data costs. The bench also times one database open (the key
// derivation) as the unit the other figures can be read in.
// One more run on the large site clicks the records page's queries (K27CENTER_BENCH_CLICKS): the
// program marks each click of the page's query button and the grid's paint of the result's first
// screen. The whole list stands beside its plain statement with LIMIT 1024, and beside the same
// statement shown the plain way (a string model in a table view of the grid's shape, painted),
// which is the whole of the work the click does; a card's records stand beside the plain way
// through the list of cards, timed here on the same file.
#include "db/Database.h"
#include "db/Schema.h"
#include "records/RecordQuery.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace k27;

namespace {

constexpr int Holders = 100000;
constexpr int Terminals = 368;
int Records = 1000000; // the records of the large site, as given on the command line
const char* const OperatorName = "管理员";
const char* const OperatorPassword = "bench";
constexpr int Runs = 5;

// The monotonic clock is the same in every process, so the program's stages can be set
// against the moment the bench started it.
qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double msSince(qint64 startNs)
{
    return double(nowNs() - startNs) / 1e6;
}

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
    bool ok = db.exec(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
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
    ok = ok
         && db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                                   " INSERT INTO 终端机 (终端机号, 地址) SELECT i, '大门' || i FROM n"),
                    {Terminals});
    ok = ok
         && db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
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
        ok = ok && db.open(partial)
             && addOperator(db,
                            {QString::fromUtf8(OperatorName), hashPassword(QLatin1String(OperatorPassword)), true, {}});
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

// One run's stages as the program reports them: monotonic time, key derivations and resident
// memory at each, and what the last one adds.
struct Stage
{
    qint64 ns = 0;
    int keys = 0;
    long long rssKb = 0;
    QMap<QByteArray, QByteArray> more;
};

QMap<QByteArray, Stage> parseStages(const QByteArray& output)
{
    QMap<QByteArray, Stage> stages;
    for (const QByteArray& line : output.split('\n')) {
        if (!line.startsWith("k27center-stage ")) {
            if (!line.trimmed().isEmpty())
                std::fprintf(stderr, "  (%s)\n", line.constData());
            continue;
        }
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 3)
            continue;
        Stage stage;
        stage.ns = words[2].toLongLong();
        for (int i = 3; i < words.size(); ++i) {
            const int equals = words[i].indexOf('=');
            if (equals > 0)
                stage.more.insert(words[i].left(equals), words[i].mid(equals + 1));
        }
        stage.keys = stage.more.value("keys").toInt();
        stage.rssKb = stage.more.value("rss").toLongLong();
        stages.insert(words[1], stage);
    }
    return stages;
}

enum Figure {
    ToDialog,
    ToDialogInside,
    Password,
    Constructed,
    Window,
    OpensToDialog,
    OpensSignIn,
    OpensWindow,
    GrownKb,
    BytesPerHolder,
    HolderCount,
    FigureCount
};

// The program's environment for a run signed in by its benchmark hook.
QProcessEnvironment benchEnvironment(const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The window's place, the manual backup and Qt's runtime folder stay beside the bench's folder.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/user"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/user-data"));
    QDir().mkpath(folder + QStringLiteral("/runtime"));
    QFile::setPermissions(folder + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("K27CENTER_BENCH_STAGES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("K27CENTER_BENCH_OPERATOR"), QString::fromUtf8(OperatorName));
    environment.insert(QStringLiteral("K27CENTER_BENCH_PASSWORD"), QLatin1String(OperatorPassword));
    environment.remove(QStringLiteral("K27CENTER_QUIT_AT_SIGNIN"));
    environment.remove(QStringLiteral("K27CENTER_BENCH_CLICKS"));
    return environment;
}

// One start of the real program, signed in by its benchmark hook; false when a stage is missing.
bool runProgram(bool large, std::vector<double>& figures)
{
    const QString folder = folderFor(large);
    QProcess process;
    process.setProcessEnvironment(benchEnvironment(folder));
    const qint64 spawnedNs = nowNs();
    process.start(QStringLiteral(K27_PROGRAM), {QStringLiteral("--folder"), folder});
    const bool finished = process.waitForFinished(60000);
    if (!finished)
        process.kill();
    process.waitForFinished(5000);
    const QMap<QByteArray, Stage> stages = parseStages(process.readAllStandardError());
    for (const char* name :
         {"main", "sign-in-dialog-shown", "sign-in-clicked", "signed-in", "window-built", "window-usable"}) {
        if (!stages.contains(name)) {
            std::fprintf(stderr, "k27center on %s did not report \"%s\" (%s, status %d)\n", qPrintable(folder), name,
                         finished ? "ended" : "stopped after 60 s", process.exitCode());
            return false;
        }
    }
    const auto ms = [&](const char* from, const char* to) {
        return double(stages[to].ns - (from ? stages[from].ns : spawnedNs)) / 1e6;
    };
    const Stage& usable = stages["window-usable"];
    const double holders = usable.more.value("holders").toDouble();
    figures.assign(FigureCount, 0.0);
    figures[ToDialog] = ms(nullptr, "sign-in-dialog-shown");
    figures[ToDialogInside] = ms("main", "sign-in-dialog-shown");
    figures[Password] = ms("sign-in-clicked", "signed-in");
    figures[Constructed] = ms("signed-in", "window-built");
    figures[Window] = ms("signed-in", "window-usable");
    figures[OpensToDialog] = stages["sign-in-dialog-shown"].keys;
    figures[OpensSignIn] = stages["signed-in"].keys - stages["sign-in-clicked"].keys;
    figures[OpensWindow] = usable.keys - stages["signed-in"].keys;
    figures[GrownKb] = double(usable.rssKb - stages["signed-in"].rssKb);
    figures[BytesPerHolder] = holders > 0 ? usable.more.value("holder-bytes").toDouble() / holders : 0.0;
    figures[HolderCount] = holders;
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Fresh processes on one folder; the median of each figure.
bool runMany(bool large, std::vector<double>& medians)
{
    std::vector<std::vector<double>> runs(Runs);
    for (auto& run : runs)
        if (!runProgram(large, run))
            return false;
    medians.assign(FigureCount, 0.0);
    for (size_t f = 0; f < medians.size(); ++f) {
        std::vector<double> v;
        for (const auto& run : runs)
            v.push_back(run[f]);
        std::sort(v.begin(), v.end());
        medians[f] = v[v.size() / 2];
    }
    return true;
}

// The records page in one run of the program on the large site: each click of its query
// button to the grid's paint of the new first screen, as the hook reports them in order.
struct Clicks
{
    QMap<QByteArray, std::vector<double>> ms; // by click name, in click order
    QMap<QByteArray, QByteArray> card;        // the card text each click typed
    QMap<QByteArray, QByteArray> grid;        // the records grid's shape (view=, row=, heads=, widths=)
    QMap<QByteArray, qint64> rssKb;           // the program's resident memory at a stage's first mark
};

bool runClicks(Clicks& clicks)
{
    const QString folder = folderFor(true);
    QProcessEnvironment environment = benchEnvironment(folder);
    environment.insert(QStringLiteral("K27CENTER_BENCH_CLICKS"), QStringLiteral("all"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(K27_PROGRAM), {QStringLiteral("--folder"), folder});
    const bool finished = process.waitForFinished(300000);
    if (!finished)
        process.kill();
    process.waitForFinished(5000);
    QMap<QByteArray, qint64> clickedAt;
    for (const QByteArray& line : process.readAllStandardError().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 3 || words[0] != "k27center-stage")
            continue;
        if (words[1].startsWith("click-"))
            clickedAt[words[1].mid(6)] = words[2].toLongLong();
        if (words[1].startsWith("painted-") && clickedAt.contains(words[1].mid(8))) {
            const QByteArray name = words[1].mid(8);
            clicks.ms[name].push_back(double(words[2].toLongLong() - clickedAt.take(name)) / 1e6);
            for (const QByteArray& word : words)
                if (word.startsWith("card="))
                    clicks.card[name] = word.mid(5);
        }
        for (const QByteArray& word : words)
            if (word.startsWith("rss=") && !clicks.rssKb.contains(words[1]))
                clicks.rssKb[words[1]] = word.mid(4).toLongLong();
        if (words[1] == "painted-records-page")
            for (const QByteArray& word : words)
                if (const qsizetype eq = word.indexOf('='); eq > 0)
                    clicks.grid[word.left(eq)] = word.mid(eq + 1);
        if (words[1] == "clicks-impossible")
            std::fprintf(stderr, "k27center found no records page to click on\n");
    }
    if (!finished || process.exitCode() != 0 || clicks.ms.size() < 5) {
        std::fprintf(stderr, "the clicks on %s did not end well (%s, status %d)\n", qPrintable(folder),
                     finished ? "ended" : "stopped after 300 s", process.exitCode());
        return false;
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// The plain statement through the C API, every row stepped and its texts read, on a
// connection opened as the program opens its own (same file, indexes and engine settings).
double plainMs(Database& db, const QByteArray& sql, const QByteArray& card = {})
{
    std::vector<double> runs;
    for (int i = 0; i < Runs; ++i) {
        const qint64 start = nowNs();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &st, nullptr) != SQLITE_OK)
            return -1;
        const QByteArray pattern = '%' + card + '%';
        if (!card.isEmpty())
            sqlite3_bind_text(st, 1, pattern.constData(), int(pattern.size()), SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                sqlite3_column_text(st, c);
        sqlite3_finalize(st);
        runs.push_back(msSince(start));
    }
    return median(runs);
}

// The rows of a statement as the plainest table model shows them: texts by row and column.
class PlainRows final : public QAbstractTableModel
{
public:
    std::vector<QStringList> rows;
    int columns = 0;
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(rows.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : columns; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(rows[size_t(index.row())].value(index.column())) : QVariant();
    }
    void fill(sqlite3_stmt* st)
    {
        beginResetModel();
        rows.clear();
        columns = sqlite3_column_count(st);
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                         sqlite3_column_bytes(st, c));
            rows.push_back(std::move(row));
        }
        endResetModel();
    }
};

// The whole of a click done the plain way, in this process: the statement's rows into a table
// model and a table view of the program's grid's shape (size, row height, column widths, same
// style and fonts), painted. The program's click includes such a paint, so the statement alone
// understates what showing the rows costs.
double plainPaintedMs(Database& db, const QByteArray& sql, const Clicks& clicks)
{
    const QList<QByteArray> size = clicks.grid.value("view").split('x');
    if (size.size() != 2)
        return -1;
    PlainRows model;
    QTableView view;
    view.setModel(&model);
    view.resize(size[0].toInt(), size[1].toInt());
    view.verticalHeader()->setDefaultSectionSize(clicks.grid.value("row").toInt());
    const QByteArray heads = clicks.grid.value("heads");
    view.horizontalHeader()->setVisible(heads.startsWith('1'));
    view.verticalHeader()->setVisible(heads.endsWith('1'));
    view.show();
    QCoreApplication::processEvents();
    std::vector<double> runs;
    for (int i = 0; i <= Runs; ++i) {
        const qint64 start = nowNs();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &st, nullptr) != SQLITE_OK)
            return -1;
        model.fill(st);
        sqlite3_finalize(st);
        if (i == 0) {
            // Once: the columns the grid shows, as wide as there.
            const QList<QByteArray> widths = clicks.grid.value("widths").split(',');
            for (int c = 0; c < model.columnCount(); ++c)
                view.setColumnWidth(c, c < widths.size() ? widths[c].toInt() : 0);
        }
        view.repaint();
        if (i > 0) // the first shows the view's columns for the first time
            runs.push_back(msSince(start));
    }
    return median(runs);
}

void printClicks(const Clicks& clicks)
{
    Database db;
    db.open(folderFor(true) + QStringLiteral("/Data/Data.kvd"));
    // The whole list the plain way, and a card's records through the list of cards and the
    // card index (the plain way to find them), each as the same statement with LIMIT 1024.
    const QByteArray select = "SELECT r.进出时间, r.星期, u.姓名, u.部门, u.住址, r.终端机号, t.地址, r.卡号"
                              " FROM 进出记录 r LEFT JOIN 用户信息 u ON u.卡号 = r.卡号"
                              " LEFT JOIN 终端机 t ON t.终端机号 = r.终端机号";
    const QByteArray cardSelect = QByteArray(select).replace(
                                      " FROM 进出记录 r",
                                      " FROM 进出记录_卡号 c CROSS JOIN 进出记录 r ON r.卡号 = c.卡号")
                                  + " WHERE c.卡号 LIKE ?";
    const QByteArray firstScreen = " ORDER BY r.进出时间 DESC LIMIT 1024";
    std::printf("records page, one run of the program: the query button clicked %d times each, click to the grid's"
                " paint of the new first screen (median, first click)\n",
                int(clicks.ms.value("whole-list").size()));
    std::printf("  %-42s %9s %9s   %-34s %17s   %s\n", "", "median", "first", "reference", "ratio", "goal");
    const auto line = [&](const QByteArray& name, const QByteArray& what, const char* reference, double refMs,
                          const char* goal) {
        const std::vector<double>& v = clicks.ms[name];
        const double ms = median(v);
        const QByteArray ref = refMs > 0 ? QString::asprintf("%6.1f ms %6.2fx", refMs, ms / refMs).toLatin1()
                                         : QByteArray();
        std::printf("  %-42s %6.1f ms %6.1f ms   %-34s %17s   %s\n", what.constData(), ms, v.empty() ? 0.0 : v.front(),
                    reference, ref.constData(), goal);
    };
    line("records-page", "open the page (its ribbon tab)", "", 0, "");
    line("newest-200", "newest 200", "", 0, "< 20 ms");
    // The better of the two plain ways: few cards through the list of cards, many along the
    // entry-time index, stopping at the first screen.
    for (const auto& [name, width] : {std::pair{"card-narrow", "narrow"}, std::pair{"card-broad", "broad"}}) {
        const QByteArray card = clicks.card.value(name);
        const double viaList = plainMs(db, cardSelect + firstScreen, card);
        const double inOrder = plainMs(db, select + " WHERE r.卡号 LIKE ?" + firstScreen, card);
        line(name, "card contains \"" + card + "\" (" + width + ")",
             viaList <= inOrder ? "plain LIMIT 1024, via card list" : "plain LIMIT 1024, in time order",
             std::min(viaList, inOrder), "< 100 ms");
    }
    line("whole-list", "whole list", "plain LIMIT 1024, the statement", plainMs(db, select + firstScreen), "");
    line("whole-list", "", "same, shown in a plain table, painted", plainPaintedMs(db, select + firstScreen, clicks),
         "< 2x the reference");
    // The program's own memory for the whole list: the grid's rows and the list's blocks and
    // cache, as the count goes on behind the clicks.
    const qint64 before = clicks.rssKb.value("painted-records-page"), after = clicks.rssKb.value("painted-whole-list");
    std::printf("  resident memory of the program: %.1f MB with the page open, %.1f MB at the whole list's first"
                " screen (+%.1f MB)   goal: at most +150 MB\n",
                double(before) / 1024, double(after) / 1024, double(after - before) / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    // The plain table of the references is painted as the program's window is: off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool prepareOnly = arguments.removeAll(QStringLiteral("--prepare")) > 0;
    const bool clicksOnly = arguments.removeAll(QStringLiteral("--clicks")) > 0;
    if (!arguments.isEmpty())
        Records = qMax(1, arguments.first().toInt());
    if (!prepareFolder(false) || !prepareFolder(true))
        return 1;
    if (prepareOnly)
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
    Clicks clicks;
    const bool ran = (clicksOnly || (runMany(false, empty) && runMany(true, large))) && runClicks(clicks);
    ::close(terminal);
    if (!ran)
        return 1;
    if (clicksOnly) {
        std::printf("%d records: %s\n", Records, qPrintable(folderFor(true)));
        printClicks(clicks);
        return 0;
    }
    std::printf("%d holders, %d terminals, %d records: %s\n", int(large[HolderCount]), Terminals, Records,
                qPrintable(folderFor(true)));
    std::printf("medians of %d runs each of %s, a new process signed in by its benchmark hook\n", Runs, K27_PROGRAM);
    std::printf("%-44s %9s %9s %9s %8s   %s\n", "", "site", "empty", "ratio", "opens", "goal");
    const auto line = [&](const char* what, int f, int opensField, const char* goal) {
        const QByteArray opensText = opensField < 0 ? QByteArray() : QByteArray::number(int(large[size_t(opensField)]));
        std::printf("%-44s %6.1f ms %6.1f ms %8.2fx %8s   %s\n", what, large[size_t(f)], empty[size_t(f)],
                    empty[size_t(f)] > 0 ? large[size_t(f)] / empty[size_t(f)] : 0.0, opensText.constData(), goal);
    };
    line("start-up to the sign-in dialog shown", ToDialog, OpensToDialog, "< 300 ms");
    line("  of which after main() began", ToDialogInside, -1, "");
    line("password checked (OK to accepted)", Password, OpensSignIn, "");
    line("sign-in accepted to a usable main window", Window, OpensWindow, "< 1500 ms");
    line("  of which the window's construction", Constructed, -1, "");
    std::printf("%-44s %6.1f ms %29s   the unit of the opens above\n", "one database open (key derivation)", openMs,
                "");
    std::printf("%-44s %6.1f MB %6.1f MB\n", "memory grown by the main window", large[GrownKb] / 1024.0,
                empty[GrownKb] / 1024.0);
    std::printf("%-44s %6.1f B %38s   < 250 B\n", "cardholder table per holder", large[BytesPerHolder], "");
    printClicks(clicks);
    return 0;
}
