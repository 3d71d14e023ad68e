#include "ProgramFolder.h"
#include "audit/AuditLog.h"
#include "db/Database.h"
#include "db/RegisterCopy.h"
#include "db/Schema.h"

#include <QtTest>

using namespace k27;

// A one-desk register into a server and a server's register back into a file.
class RegisterCopyTest : public QObject
{
    Q_OBJECT

    // A file with every kind of row, texts with tabs, newlines and backslashes, and nulls.
    static void fill(const QString& path)
    {
        Database db;
        QVERIFY(db.open(path));
        QVERIFY(EnsureRecordTable(db) && audit::ensureLog(db));
        for (int i = 0; i < 25; ++i)
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话, 卡号, 部门) VALUES (?, ?, ?, ?)"),
                            {QStringLiteral("张\t三%1\\\n").arg(i), QStringLiteral("1390%1").arg(i),
                             i % 3 ? QVariant(QStringLiteral("%1").arg(i % 7)) : QVariant(), QVariant()}));
        QVERIFY(db.exec(
            QStringLiteral("INSERT INTO 用户表 (name, Password, userrote, mark) VALUES ('管理员', 'x', 1, NULL)")));
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 终端机 (终端机号, 地址) VALUES (3, '大门'), (NULL, NULL)")));
        for (int i = 0; i < 103; ++i)
            QVERIFY(db.exec(
                QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES (?, ?, ?, '星期一')"),
                {QString::number(i % 7), QStringLiteral("2024-05-01 08:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
                 i % 4}));
        for (int i = 0; i < 3; ++i)
            QVERIFY(audit::append(db, {QStringLiteral("管理员"), QStringLiteral("desk")},
                                  {QStringLiteral("add"), QStringLiteral("row %1").arg(i), QString()}));
    }

private slots:
    void initTestCase()
    {
        if (!test::onServer())
            QSKIP("needs a server register");
    }

    // What a desk is told at start comes from the kind of fault; none of these reaches past
    // this machine (a socket folder that does not exist).
    void startFaultsAndSchemaVersion()
    {
        test::ServerSchema server;
        QString error;
        QVERIFY2(createProgramDatabase(server.url(), &error), qPrintable(error));
        QVERIFY(!createProgramDatabase(server.url(), &error)); // never over an existing register
        Database db;
        QVERIFY(db.open(server.url()));
        QCOMPARE(serverSchemaState(db), SchemaState::Current);
        QVERIFY(hasRegisterTables(db));
        QVERIFY(db.exec(QStringLiteral("UPDATE k27_schema SET version = ?"), {ServerSchemaVersion + 1}));
        Database newer;
        QVERIFY(!newer.open(server.url()));
        QCOMPARE(newer.lastFault(), Database::Fault::NewerSchema);
        QVERIFY(newer.lastError().contains(QString::number(ServerSchemaVersion + 1)));
        Database nowhere;
        QVERIFY(!nowhere.open(QStringLiteral("postgresql:///k27?host=/nonexistent-k27-socket&port=1")));
        QCOMPARE(nowhere.lastFault(), Database::Fault::Unreachable);
    }

    void fileToServerResumesAndServerToFileMatches()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Data.kvd"));
        test::ProgramFolder::createDatabase(file);
        fill(file);
        test::ServerSchema server;
        RegisterCopy copy;
        copy.prepareTarget = [](Database& db) { return audit::ensureLog(db); };
        copy.batchRows = 10;
        QList<qint64> recordsSeen;
        copy.progress = [&](const QString& table, qint64 done, qint64) {
            if (table == QStringLiteral("进出记录"))
                recordsSeen << done;
        };
        QString error;
        QVERIFY2(copy.run(file, server.url(), &error), qPrintable(error));
        QCOMPARE(recordsSeen.last(), 103);
        QCOMPARE(recordsSeen.size(), 1 + 11); // the start and one line per batch

        Database fromFile, onServer;
        QVERIFY(fromFile.open(file, true) && onServer.open(server.url()));
        const QStringList digest = registerDigest(fromFile);
        QCOMPARE(registerDigest(onServer), digest);
        QVERIFY(audit::verify(onServer).intact());

        // An interruption after some batches: the rows of the batches never committed are
        // missing; the copy run again adds exactly those.
        QVERIFY(onServer.exec(QStringLiteral("DELETE FROM 进出记录 WHERE ID > 40")));
        QVERIFY(onServer.exec(QStringLiteral("DELETE FROM 操作日志 WHERE 序号 > 1")));
        QVERIFY2(copy.run(file, server.url(), &error), qPrintable(error));
        QCOMPARE(registerDigest(onServer), digest);
        // New rows on the server take numbers after the copied ones.
        QVERIFY(onServer.exec(QStringLiteral("INSERT INTO 进出记录 (卡号) VALUES ('new')")));
        QCOMPARE(onServer.lastInsertId(), 104);
        QVERIFY(onServer.exec(QStringLiteral("DELETE FROM 进出记录 WHERE ID = 104")));

        // Back into a new file: the same register, readable by a one-desk program.
        const QString back = dir.filePath(QStringLiteral("Back.kvd"));
        QVERIFY2(copy.run(server.url(), back, &error), qPrintable(error));
        QVERIFY(Database::isProgramDatabase(back));
        Database backFile;
        QVERIFY(backFile.open(back, true));
        QCOMPARE(registerDigest(backFile), digest);
        QVERIFY(!copy.run(server.url(), back, &error)); // never overwrites
    }

    // Rows the shared register keeps unique but a file may hold twice: named before anything is
    // written, by the copy and by a restore alike.
    void repeatedKeysAreNamedBeforeAnythingIsWritten()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Data.kvd"));
        test::ProgramFolder::createDatabase(file);
        fill(file);
        {
            Database db;
            QVERIFY(db.open(file));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES ('李四 ', '1'), ('李四', ' 1')")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 终端机 (终端机号) VALUES (3)")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户表 (name, Password) VALUES (' 管理员', 'y')")));
        }
        const QStringList named = {QStringLiteral("cardholder 李四 / 1 (2 rows)"),
                                   QStringLiteral("terminal 3 (2 rows)"), QStringLiteral("operator 管理员 (2 rows)")};
        test::ServerSchema server;
        RegisterCopy copy;
        QString error;
        QVERIFY(!copy.run(file, server.url(), &error));
        for (const QString& line : named)
            QVERIFY2(error.contains(line), qPrintable(error));
        Database onServer;
        QVERIFY(onServer.open(server.url()));
        QCOMPARE(serverSchemaState(onServer), SchemaState::None);

        QVERIFY2(createProgramDatabase(server.url(), &error), qPrintable(error));
        QVERIFY(onServer.open(server.url()));
        QVERIFY(onServer.exec(QStringLiteral("INSERT INTO 终端机 (终端机号) VALUES (9)")));
        Database fromFile;
        QVERIFY(fromFile.open(file, true) && onServer.beginTransaction());
        error.clear();
        QVERIFY(!copy.replaceServer(fromFile, onServer, &error));
        QVERIFY2(error.contains(named.at(1)), qPrintable(error));
        QVERIFY(onServer.rollback());
        QCOMPARE(onServer.scalar(QStringLiteral("SELECT count(*) FROM 终端机")).toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(RegisterCopyTest)
#include "RegisterCopyTest.moc"
