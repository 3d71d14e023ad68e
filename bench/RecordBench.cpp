// Times the record operations on a large table: the default query over a million records,
// a few narrower queries, an import of 100,000 lines and a deletion of 10,000 rows.
#include "platform/ProcessMemory.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "records/RecordDeletion.h"
#include "records/RecordImport.h"
#include "records/RecordQuery.h"
#include "records/RecordRows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace k27;

namespace {

constexpr int Records = 1000000;
constexpr int ImportLines = 100000;
constexpr int Cardholders = 2000;
constexpr int Terminals = 368;

void report(const char* what, const QElapsedTimer& timer, qint64 count = -1)
{
    if (count >= 0)
        std::printf("%-44s %8lld ms  (%lld rows)\n", what, qint64(timer.elapsed()), count);
    else
        std::printf("%-44s %8lld ms\n", what, qint64(timer.elapsed()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Data.kvd"));
    Database db;
    if (!db.create(path) || !createProgramTables(db) || !EnsureRecordTable(db)) {
        std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(db.lastError()));
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    db.beginTransaction();
    db.exec(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                " INSERT INTO 用户信息 (姓名, 部门, 住址, 电话, 卡号)"
                " SELECT '职员' || i, '部门' || (i % 40), '住址' || (i % 300), '138' || i, printf('%010d', i) FROM n"),
            {Cardholders});
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 终端机 (终端机号, 地址) SELECT i, '大门' || i FROM n"),
            {Terminals});
    // One record a minute from 2020 on, cards and terminals spread; a few cards belong to nobody.
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期)"
                           " SELECT printf('%010d', 1 + (i * 7919) % (? + 50)),"
                           "        strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || i || ' minutes'),"
                           "        1 + i % ?, '星期' || (i % 7) FROM n"),
            {Records, Cardholders, Terminals});
    db.commit();
    report("fill 1,000,000 records", timer);

    timer.restart();
    RecordQuery::ensureIndexes(db);
    report("indexes present (no work)", timer);

    RecordRows rows;
    const long long before = residentKb();
    timer.restart();
    auto result = RecordQuery::run(db, {}, rows);
    report("default query (every record)", timer, result.rows);
    std::printf("%-44s %8lld MB\n", "  memory of the result", (residentKb() - before) / 1024);

    timer.restart();
    result = RecordQuery::run(db, {}, rows);
    report("default query again (table replaced)", timer, result.rows);

    RecordFilter card;
    card.card = QStringLiteral("0000012");
    timer.restart();
    result = RecordQuery::run(db, card, rows);
    report("card filter 0000012", timer, result.rows);

    RecordFilter span;
    span.timeSpan = true;
    span.start = QDateTime(QDate(2021, 3, 1), QTime(0, 0));
    span.end = QDateTime(QDate(2021, 3, 31), QTime(23, 59, 59));
    span.name = QStringLiteral("职员1");
    timer.restart();
    result = RecordQuery::run(db, span, rows);
    report("one month, name filter", timer, result.rows);

    RecordFilter terminal;
    terminal.terminal = QStringLiteral("7");
    timer.restart();
    result = RecordQuery::run(db, terminal, rows);
    report("terminal filter 7", timer, result.rows);

    RecordFilter recent;
    recent.recent = true;
    recent.recentText = QStringLiteral("5000");
    timer.restart();
    result = RecordQuery::run(db, recent, rows);
    report("recent 5000", timer, result.rows);

    // 100,000 new lines, the last 10,000 of them already stored.
    QByteArray file;
    file.reserve(ImportLines * 48);
    for (int i = 0; i < ImportLines; ++i) {
        const bool old = i >= ImportLines - 10000;
        const int minute = old ? i : Records + 1 + i;
        const QDateTime when = QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(minute) * 60);
        const int card = old ? 1 + (minute * 7919) % (Cardholders + 50) : 1 + i % Cardholders;
        file += QStringLiteral("%1,%2,%3,星期%4\r\n")
                    .arg(1 + i % Terminals, 4, 10, QLatin1Char('0'))
                    .arg(card, 10, 10, QLatin1Char('0'))
                    .arg(when.toString(QStringLiteral("yyyy-MM-dd,HH:mm:ss")))
                    .arg(i % 7)
                    .toUtf8();
    }
    const QString filePath = dir.filePath(QStringLiteral("records.txt"));
    QFile out(filePath);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
        return 1;
    out.close();
    timer.restart();
    const auto imported = RecordImport::run(db, filePath, rows, nullptr);
    std::printf("%-44s %8lld ms  (added %d, skipped %d)\n", "import of 100,000 lines", qint64(timer.elapsed()),
                imported.added, imported.skipped);

    timer.restart();
    const int deleted = RecordDeletion::run(db, rows, 1, 10000, nullptr);
    report("deletion of 10,000 rows", timer, deleted);
    return 0;
}
