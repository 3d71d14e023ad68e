#include "audit/AuditLog.h"
#include "db/Database.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace k27;
using audit::Verdict;

namespace {

const audit::Actor Clerk{QStringLiteral("张三"), QStringLiteral("desk-1")};

QString rowTime(int i)
{
    return QStringLiteral("2026-12-07T08:00:%1.000Z").arg(i, 2, 10, QLatin1Char('0'));
}

// A register with a log of `rows` rows.
void makeLog(const QString& path, int rows)
{
    Database db;
    QVERIFY2(db.create(path), qPrintable(db.lastError()));
    QVERIFY(audit::ensureLog(db));
    for (int i = 1; i <= rows; ++i)
        QVERIFY(audit::append(db, Clerk,
                              {QStringLiteral("holder.change"), QStringLiteral("李四 13800000000"),
                               QStringLiteral("部门: 保卫 → 后勤 #%1").arg(i)},
                              rowTime(i)));
}

audit::LogRow readRow(Database& db, qint64 sequence)
{
    audit::LogRow row;
    db.query(QStringLiteral("SELECT 序号, 时间, 计算机, 操作员, 动作, 对象, 详情, hash FROM 操作日志 WHERE 序号 = ?"),
             {sequence}, [&](const Row& r) {
                 row = {r.integer(0), r.text(1), r.text(2), r.text(3),
                        r.text(4),    r.text(5), r.text(6), QByteArray::fromHex(r.text(7).toLatin1())};
                 return false;
             });
    return row;
}

// What someone holding the key can do: give rows from `from` on hashes that follow again.
void rechain(Database& db, qint64 from, bool moveHead)
{
    QByteArray previous = from > 1 ? readRow(db, from - 1).hash : QByteArray(32, '\0');
    for (qint64 n = from;; ++n) {
        audit::LogRow row = readRow(db, n);
        if (row.sequence == 0)
            break;
        previous = audit::chainHash(previous, row);
        QVERIFY(db.exec(QStringLiteral("UPDATE 操作日志 SET hash = ? WHERE 序号 = ?"),
                        {QString::fromLatin1(previous.toHex()), n}));
        if (moveHead)
            QVERIFY(db.exec(QStringLiteral("UPDATE 操作日志_头 SET 序号 = ?, hash = ?"),
                            {n, QString::fromLatin1(previous.toHex())}));
    }
}

void insertForged(Database& db, qint64 sequence)
{
    audit::LogRow row{sequence,
                      rowTime(59),
                      QStringLiteral("desk-9"),
                      QStringLiteral("admin"),
                      QStringLiteral("holder.add"),
                      QStringLiteral("王五"),
                      {},
                      {}};
    row.hash = audit::chainHash(readRow(db, sequence - 1).hash, row);
    QVERIFY(db.exec(QStringLiteral("INSERT INTO 操作日志 VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                    {row.sequence, row.time, row.computer, row.operatorName, row.action, row.subject, row.details,
                     QString::fromLatin1(row.hash.toHex())}));
}

QString headCodeOf(Database& db)
{
    const Verdict v = audit::verify(db);
    return audit::headCode(v.count, v.head);
}

} // namespace

class TestAuditLog : public QObject
{
    Q_OBJECT

private slots:
    void codesRoundTrip()
    {
        const QByteArray hash = QByteArray::fromHex("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
        const QString code = audit::headCode(1234, hash);
        QCOMPARE(code.size(), 19 + 5);
        QVERIFY(code.endsWith(QLatin1String("/1234")));
        qint64 count = 0;
        QByteArray prefix;
        QVERIFY(audit::parseHeadCode(code.toLower(), &count, &prefix));
        QCOMPARE(count, 1234);
        QCOMPARE(prefix, hash.left(10));
        for (const char* bad : {"", "ABCD/1", "ABCD-EFGH-IJKL-MNOP", "ABCD-EFGH-IJKL-MNO1/3", "ABCD-EFGH-IJKL-MNOP/x"})
            QVERIFY2(!audit::parseHeadCode(QString::fromLatin1(bad), &count, &prefix), bad);
    }

    // Each way of changing a six-row log, as someone with the sqlcipher shell would, is named
    // by its first row; a head code taken before the change catches even a consistent rewrite.
    void tamperingIsNamed_data()
    {
        QTest::addColumn<std::function<void(Database&)>>("tamper");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("kindAgainstOldHead");
        using K = Verdict::Kind;
        auto sql = [](const char* statements) {
            return std::function<void(Database&)>(
                [statements](Database& db) { QVERIFY(db.execScript(QString::fromUtf8(statements))); });
        };
        QTest::newRow("untouched") << std::function<void(Database&)>([](Database&) {}) << int(K::Intact) << 0
                                   << int(K::Intact);
        QTest::newRow("detail altered") << sql("UPDATE 操作日志 SET 详情 = '部门: 保卫 → 财务' WHERE 序号 = 3")
                                        << int(K::Altered) << 3 << int(K::Altered);
        QTest::newRow("operator altered")
            << sql("UPDATE 操作日志 SET 操作员 = 'admin' WHERE 序号 = 1") << int(K::Altered) << 1 << int(K::Altered);
        QTest::newRow("middle removed") << sql("DELETE FROM 操作日志 WHERE 序号 = 3") << int(K::Removed) << 3
                                        << int(K::Removed);
        QTest::newRow("last removed") << sql("DELETE FROM 操作日志 WHERE 序号 = 6") << int(K::Removed) << 6
                                      << int(K::Removed);
        QTest::newRow("removed, rest renumbered")
            << sql("DELETE FROM 操作日志 WHERE 序号 = 3; UPDATE 操作日志 SET 序号 = 序号 - 1 WHERE 序号 > 3")
            << int(K::Removed) << 3 << int(K::Removed);
        QTest::newRow("inserted, rest renumbered") << std::function<void(Database&)>([](Database& db) {
            QVERIFY(db.execScript(QStringLiteral("UPDATE 操作日志 SET 序号 = -序号 WHERE 序号 >= 3;"
                                                 "UPDATE 操作日志 SET 序号 = 1 - 序号 WHERE 序号 < 0")));
            insertForged(db, 3);
        }) << int(K::Inserted) << 3 << int(K::Inserted);
        QTest::newRow("appended past the head")
            << std::function<void(Database&)>([](Database& db) { insertForged(db, 7); }) << int(K::Inserted) << 7
            << int(K::Inserted);
        QTest::newRow("rewritten with the key") << std::function<void(Database&)>([](Database& db) {
            QVERIFY(db.exec(QStringLiteral("UPDATE 操作日志 SET 详情 = '' WHERE 序号 = 2")));
            rechain(db, 2, true);
        }) << int(K::Intact) << 0 << int(K::HeadChanged);
    }

    void tamperingIsNamed()
    {
        QFETCH(std::function<void(Database&)>, tamper);
        QFETCH(int, kind);
        QFETCH(int, row);
        QFETCH(int, kindAgainstOldHead);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.kvd"));
        makeLog(path, 6);
        Database db;
        QVERIFY(db.open(path));
        const QString before = headCodeOf(db);
        tamper(db);

        const Verdict v = audit::verify(db);
        QCOMPARE(int(v.kind), kind);
        QCOMPARE(v.row, qint64(row));
        QCOMPARE(int(audit::verifyAgainstHead(db, before).kind), kindAgainstOldHead);
        // A code taken after the change never hides one the chain itself shows.
        if (kind != int(Verdict::Kind::Intact))
            QVERIFY(!audit::verifyAgainstHead(db, audit::headCode(6, readRow(db, 6).hash)).intact());
        db.close();

        // The tool says the same, with its exit status.
        QProcess tool;
        tool.start(qEnvironmentVariable("K27_BUILD_DIR") + QStringLiteral("/k27-db"),
                   {QStringLiteral("verify-log"), path, QStringLiteral("--head"), before});
        QVERIFY(tool.waitForFinished());
        QCOMPARE(tool.exitCode() == 0, kindAgainstOldHead == int(Verdict::Kind::Intact));
        if (row > 0)
            QVERIFY2(QString::fromUtf8(tool.readAllStandardError()).contains(QStringLiteral("row %1 ").arg(row)),
                     "names the row");
    }

    void rolledBackActionLeavesNoRow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.kvd"));
        makeLog(path, 2);
        Database db;
        QVERIFY(db.open(path));
        QVERIFY(db.beginTransaction());
        QVERIFY(audit::append(db, Clerk, {QStringLiteral("holder.delete"), QStringLiteral("李四"), {}}));
        QVERIFY(db.rollback());
        const Verdict v = audit::verify(db);
        QVERIFY2(v.intact(), qPrintable(v.text));
        QCOMPARE(v.count, 2);
    }

    // Two programs appending at the same time queue on the head row and form one chain.
    void twoProcessesFormOneChain()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.kvd"));
        makeLog(path, 0);
        constexpr int each = 300;
        auto appendMany = [&](const QString& desk) {
            Database db;
            if (!db.open(path))
                return false;
            // The file's lock is not fair: on a slow disk one program may miss it for longer
            // than the busy wait. It then fails cleanly and is tried again, as an operator would.
            for (int i = 0, busy = 0; i < each; ++i) {
                if (audit::append(db, {QStringLiteral("op"), desk},
                                  {QStringLiteral("record.import"), QString::number(i), {}}))
                    continue;
                if (!db.lastErrorBusy() || ++busy > 20) {
                    qWarning("%s, append %d: %s", qPrintable(desk), i, qPrintable(db.lastError()));
                    return false;
                }
                --i;
            }
            return true;
        };
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0)
            _exit(appendMany(QStringLiteral("desk-2")) ? 0 : 1);
        const bool mine = appendMany(QStringLiteral("desk-1"));
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(mine);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        Database db;
        QVERIFY(db.open(path));
        const Verdict v = audit::verify(db);
        QVERIFY2(v.intact(), qPrintable(v.text));
        QCOMPARE(v.count, 2 * each);
    }
};

QTEST_GUILESS_MAIN(TestAuditLog)
#include "AuditLogTest.moc"
