#include "TestRegister.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/RegisterWatch.h"
#include "db/Schema.h"
#include "db/ServerConnection.h"

#include <QSignalSpy>
#include <QtTest>
#include <array>
#include <thread>

using namespace k27;

// What one desk hears of the changes another desk makes to a register on a server.
class RegisterWatchTest : public QObject
{
    Q_OBJECT

    static unsigned allChanged(const QSignalSpy& spy)
    {
        unsigned tables = 0;
        for (const QList<QVariant>& signal : spy)
            tables |= signal.at(0).toUInt();
        return tables;
    }

private slots:
    void initTestCase()
    {
        if (!test::onServer())
            QSKIP("needs a server register");
    }

    void changesOfOtherDesksAreHeard()
    {
        test::ServerSchema server;
        QString error;
        QVERIFY2(createProgramDatabase(server.url(), &error), qPrintable(error));
        Database other;
        QVERIFY(other.open(server.url()));
        RegisterWatch watch;
        QSignalSpy changed(&watch, &RegisterWatch::changed);
        watch.start(server.url());
        QTRY_VERIFY_WITH_TIMEOUT(watch.isListening(), 5000);

        // Each table alone, then a burst of a hundred single saves, heard as one or two reports.
        const struct
        {
            const char* sql;
            unsigned table;
        } cases[] = {
            {"INSERT INTO 用户信息 (姓名, 电话) VALUES ('甲', '1')", RegisterWatch::Cardholders},
            {"INSERT INTO 用户表 (name, Password, userrote) VALUES ('乙', 'x', 0)", RegisterWatch::Operators},
            {"UPDATE 终端机 SET 地址 = '门' WHERE 终端机号 = 1", RegisterWatch::Terminals},
            {"DELETE FROM 进出记录 WHERE ID = 1", RegisterWatch::Records},
        };
        for (const auto& c : cases) {
            changed.clear();
            QVERIFY(other.exec(QString::fromUtf8(c.sql)));
            QTRY_VERIFY_WITH_TIMEOUT(changed.size() == 1, 1000);
            QCOMPARE(changed.at(0).at(0).toUInt(), c.table);
        }
        changed.clear();
        for (int i = 0; i < 100; ++i)
            QVERIFY(other.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, ?)"),
                               {QStringLiteral("丙%1").arg(i), QString::number(i)}));
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 1000);
        QTest::qWait(3 * RegisterWatch::GatherMs);
        QVERIFY2(changed.size() <= 3, qPrintable(QString::number(changed.size())));
        QCOMPARE(allChanged(changed), unsigned(RegisterWatch::Cardholders));

        // This desk's own saves are not reported back to it.
        const int own = other.serverConnection()->processId();
        watch.setOwnProcesses([own] { return QList<int>{own}; });
        changed.clear();
        QVERIFY(other.exec(QStringLiteral("INSERT INTO 终端机 (终端机号) VALUES (9)")));
        QTest::qWait(4 * RegisterWatch::GatherMs);
        QCOMPARE(changed.size(), 0);
        watch.setOwnProcesses({});

        // A link cut by the server is told, made again by itself, and everything counts as changed.
        QSignalSpy lost(&watch, &RegisterWatch::linkLost);
        QSignalSpy restored(&watch, &RegisterWatch::linkRestored);
        QVERIFY(other.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                          " WHERE query = 'LISTEN k27_' || md5(current_schema())")));
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 3000);
        QVERIFY(!watch.isListening());
        QTRY_COMPARE_WITH_TIMEOUT(restored.size(), 1, 5000);
        QCOMPARE(allChanged(changed), unsigned(RegisterWatch::AllTables));
        changed.clear();
        QVERIFY(other.exec(QStringLiteral("DELETE FROM 终端机")));
        QTRY_COMPARE_WITH_TIMEOUT(allChanged(changed), unsigned(RegisterWatch::Terminals), 1000);
    }

    // A register made by the first program of the shared register (version 1: no notices, no
    // row versions, keys not unique) is brought up to date by the first desk that opens it;
    // desks starting at the same moment do it once between them.
    void olderRegisterIsBroughtUpToDateOnce()
    {
        test::ServerSchema server;
        QString error;
        QVERIFY2(createProgramDatabase(server.url(), &error), qPrintable(error));
        {
            Database db;
            QVERIFY(db.open(server.url()));
            QVERIFY2(db.execNative(QStringLiteral(
                         "DROP FUNCTION k27_changed() CASCADE; DROP FUNCTION k27_next_version() CASCADE;"
                         "ALTER TABLE 用户信息 DROP COLUMN 版本; ALTER TABLE 用户表 DROP COLUMN 版本;"
                         "ALTER TABLE 终端机 DROP COLUMN 版本; DROP INDEX 用户表_名;"
                         "DROP INDEX 用户信息_键; CREATE INDEX 用户信息_键 ON 用户信息 (trim(姓名), trim(电话));"
                         "DROP INDEX 终端机_号; CREATE INDEX 终端机_号 ON 终端机 (终端机号 NULLS FIRST);"
                         "UPDATE k27_schema SET version = 1")),
                     qPrintable(db.lastError()));
        }
        std::array<bool, 3> opened{};
        std::vector<std::thread> desks;
        for (bool& ok : opened)
            desks.emplace_back([&ok, &server] {
                Database db;
                ok = db.open(server.url());
                if (!ok)
                    qWarning("%s", qPrintable(db.lastError()));
            });
        for (std::thread& desk : desks)
            desk.join();
        QCOMPARE(opened, (std::array<bool, 3>{true, true, true}));

        Database db;
        QVERIFY(db.open(server.url()));
        QCOMPARE(db.scalar(QStringLiteral("SELECT version FROM k27_schema")).toInt(), ServerSchemaVersion);
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 终端机 (终端机号) VALUES (7)")));
        QVERIFY(!db.exec(QStringLiteral("INSERT INTO 终端机 (终端机号) VALUES (7)")));
        QVERIFY(db.lastErrorDuplicateKey());
        RegisterWatch watch;
        QSignalSpy changed(&watch, &RegisterWatch::changed);
        watch.start(server.url());
        QTRY_VERIFY_WITH_TIMEOUT(watch.isListening(), 5000);
        QVERIFY(db.exec(QStringLiteral("UPDATE 终端机 SET 地址 = '门' WHERE 终端机号 = 7")));
        QTRY_COMPARE_WITH_TIMEOUT(allChanged(changed), unsigned(RegisterWatch::Terminals), 1000);
        QCOMPARE(db.scalar(QStringLiteral("SELECT 版本 FROM 终端机 WHERE 终端机号 = 7")).toInt(), 1);
    }

    // A link lost during work: the open transaction is gone with it (nothing of it committed),
    // the next use connects again by itself; a statement that hangs is cancelled.
    void lostLinkIsMadeAgainAndHangsAreCancelled()
    {
        test::ServerSchema server;
        QString error;
        QVERIFY2(createProgramDatabase(server.url(), &error), qPrintable(error));
        qputenv("K27_STATEMENT_TIMEOUT_MS", "300");
        DatabaseSession session(server.url());
        Database* db = session.window();
        // The server keeps the pages: a desk's count of a large result needs no link of its own.
        QCOMPARE(session.background(), db);
        QVERIFY(db && db->beginTransaction());
        QVERIFY(db->exec(QStringLiteral("INSERT INTO 终端机 (终端机号) VALUES (1)")));
        QElapsedTimer hang;
        hang.start();
        QVERIFY(!db->exec(QStringLiteral("SELECT pg_sleep(5)")));
        QVERIFY(hang.elapsed() < 3000);
        QCOMPARE(db->serverConnection()->state(), QStringLiteral("57014"));
        qunsetenv("K27_STATEMENT_TIMEOUT_MS");

        Database other;
        QVERIFY(other.open(server.url()));
        QVERIFY(other.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(session.serverProcesses().at(0))));
        QVERIFY(!db->exec(QStringLiteral("COMMIT")));
        QVERIFY(!db->isLinked());
        db = session.window();
        QVERIFY(db && db->isLinked());
        QCOMPARE(db->scalar(QStringLiteral("SELECT count(*) FROM 终端机")).toInt(), 0);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO 终端机 (终端机号) VALUES (1)")));
        QCOMPARE(other.scalar(QStringLiteral("SELECT count(*) FROM 终端机")).toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(RegisterWatchTest)
#include "RegisterWatchTest.moc"
