// What keeping the database file whole costs the window: one cardholder saved through the
// window's connection once a long run has put the file in write-ahead-log mode, with each
// commit copied into the file (as the program does) beside the engine's default (copied every
// 1,000 pages) and beside a file without the log; and the settling after an import of 20,000
// rows, which the operator waits for once at the end of the run.
#include "cardholders/CardholderFields.h"
#include "cardholders/CardholderStore.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace k27;

namespace {

constexpr int Saves = 201;
constexpr int ImportRows = 20000;

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

QString freshDatabase(const QTemporaryDir& dir, const QString& name, bool wal)
{
    const QString path = dir.filePath(name);
    Database db;
    if (!createProgramDatabase(path) || !db.open(path))
        qFatal("cannot create %s", qPrintable(path));
    if (wal && !db.useBulkWrites())
        qFatal("no write-ahead log");
    return path;
}

// Median ms of one save (an insert, as the cardholder page's add button does).
double saveMs(const QString& path, bool copyEachCommit)
{
    DatabaseSession session(path);
    Database* db = session.window();
    if (!db)
        qFatal("cannot open %s", qPrintable(path));
    if (!copyEachCommit)
        db->exec(QStringLiteral("PRAGMA wal_autocheckpoint = 1000")); // the engine's default
    const CardholderStore store(session, QDir::tempPath());
    std::vector<double> times;
    for (int i = 0; i < Saves; ++i) {
        const CardholderFields fields = CardholderFields{QStringLiteral("持卡人%1").arg(i),
                                                         QStringLiteral("男"),
                                                         QStringLiteral("部门"),
                                                         QStringLiteral("职位"),
                                                         QStringLiteral("住址"),
                                                         QString::number(13800000000LL + i)}
                                            .forInsert(QString());
        QElapsedTimer timer;
        timer.start();
        if (store.insert(fields) != CardholderStore::Done)
            qFatal("save failed");
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const double rollback = saveMs(freshDatabase(dir, QStringLiteral("rollback.kvd"), false), true);
    const double walDefault = saveMs(freshDatabase(dir, QStringLiteral("wal-default.kvd"), true), false);
    const double walWhole = saveMs(freshDatabase(dir, QStringLiteral("wal-whole.kvd"), true), true);

    const QString imported = freshDatabase(dir, QStringLiteral("import.kvd"), false);
    DatabaseSession session(imported);
    Database* runs = session.runs();
    runs->useBulkWrites();
    runs->beginTransaction();
    Statement insert(
        *runs, QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES (?, ?, 7, '星期三')"));
    for (int i = 0; i < ImportRows; ++i)
        insert.bind(1, QStringLiteral("C%1").arg(i)).bind(2, QStringLiteral("2024-05-01 08:00:00")).exec();
    runs->commit();
    QElapsedTimer timer;
    timer.start();
    const bool settled = session.settle();
    const double settleMs = double(timer.nsecsElapsed()) / 1e6;
    std::vector<double> idle;
    for (int i = 0; i < 1001; ++i) {
        QElapsedTimer t;
        t.start();
        session.settle();
        idle.push_back(double(t.nsecsElapsed()) / 1e6);
    }

    std::printf("save, file without a log             %8.3f ms\n", rollback);
    std::printf("save, log on, copied every 1000 pages %7.3f ms\n", walDefault);
    std::printf("save, log on, each commit in file    %8.3f ms  (as the window runs)\n", walWhole);
    std::printf("settle after importing %d rows    %8.3f ms%s\n", ImportRows, settleMs,
                settled ? "" : "  (NOT SETTLED)");
    std::printf("idle settle, nothing to do           %8.4f ms\n", median(idle));
    return settled ? 0 : 1;
}
