#include "TestRegister.h"
#include "audit/AuditBackup.h"
#include "audit/AuditLog.h"
#include "db/Backup.h"
#include "db/Database.h"
#include "db/RegisterCopy.h"
#include "db/Schema.h"
#include "db/ServerRestore.h"

#include <QtTest>
#include <libpq-fe.h>

using namespace k27;

// Backups of a register on a server and its restore.
class ServerBackupTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ServerSchema> m_server;
    QTemporaryDir m_dir;

    QString url() const { return m_server->url(); }
    QString path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }

    static QStringList withoutLog(QStringList digest)
    {
        digest.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("操作日志")); });
        return digest;
    }
    QStringList serverDigest() const
    {
        Database db;
        return db.open(url()) ? registerDigest(db) : QStringList();
    }
    // Server desks of earlier test processes take a moment to leave.
    static bool noOtherDesk(Database& db)
    {
        for (int i = 0; i < 100; ++i, QTest::qWait(100))
            if (otherDesks(db).isEmpty())
                return true;
        return false;
    }

private slots:
    void init()
    {
        if (!test::onServer())
            QSKIP("needs a server register");
        m_server = std::make_unique<test::ServerSchema>();
        QString error;
        QVERIFY2(createProgramDatabase(url(), &error), qPrintable(error));
        Database db;
        QVERIFY(db.open(url()) && audit::ensureLog(db));
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户表 (name, Password, userrote) VALUES ('admin', 'x', 1), "
                                       "('clerk', 'y', 0)")));
        for (int i = 0; i < 30; ++i)
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话, 卡号) VALUES (?, ?, ?)"),
                            {QStringLiteral("张\t三%1\\").arg(i), QString::number(i), QString::number(i % 4)}));
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 终端机 (终端机号, 地址) VALUES (1, '大门')")));
        for (int i = 0; i < 50; ++i)
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号) VALUES (?, ?, 1)"),
                            {QString::number(i % 9), QStringLiteral("2024-05-01 08:00:%1").arg(i)}));
        QVERIFY(audit::append(db, {QStringLiteral("admin"), QStringLiteral("desk")},
                              {QStringLiteral("add"), QStringLiteral("row"), QString()}));
    }
    void cleanup() { m_server.reset(); }

    // The rotating and the manual backup of a server: a one-desk program's file holding the
    // snapshot, owner-only, a second copy replacing the first; a write of another desk during
    // the copy is wholly outside it.
    void backupIsOneSnapshotInAProgramFile()
    {
        const QStringList before = serverDigest();
        QVERIFY(!before.isEmpty());
        bool written = false;
        const BackupWriter write = audit::serverBackup(url(), [&](const QString&, qint64, qint64) {
            if (written)
                return;
            written = true;
            Database desk;
            QVERIFY(desk.open(url()) && desk.beginTransaction());
            QVERIFY(desk.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES ('late', '1')")));
            QVERIFY(desk.exec(QStringLiteral("INSERT INTO 进出记录 (卡号) VALUES ('late')")));
            QVERIFY(desk.commit());
        });
        const QString databasePath = path("Data/Data.kvd");
        const QString copy = automaticBackup(databasePath, write);
        QCOMPARE(copy, path("Data/Bak01.kvd"));
        QVERIFY(written);
        QString problem;
        QVERIFY2(Database::isProgramDatabase(copy, &problem), qPrintable(problem));
        QVERIFY(!(QFileInfo(copy).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
        Database file;
        QVERIFY(file.open(copy, true));
        QCOMPARE(registerDigest(file), before);
        file.close();

        // The manual backup takes the register as it is now, in place of the last one.
        QVERIFY(manualBackup(databasePath, path("user"), nullptr, audit::serverBackup(url())));
        QVERIFY(manualBackup(databasePath, path("user"), nullptr, audit::serverBackup(url())));
        QVERIFY(file.open(manualBackupPath(path("user")), true));
        QCOMPARE(registerDigest(file), serverDigest());
        QVERIFY(registerDigest(file) != before);
    }

    // Refusals change nothing: a clerk, another desk connected (named), a step that fails
    // after every row went in. Then the restore itself brings the backup's rows back and
    // keeps the register's own log.
    void restoreRefusalsAndRoundTrip()
    {
        const QString backup = path("Data.kvd");
        QVERIFY(audit::serverBackup(url())(backup));
        const QStringList backedUp = serverDigest();
        {
            Database db;
            QVERIFY(db.open(url()));
            QVERIFY(db.exec(QStringLiteral("DELETE FROM 用户信息 WHERE ID > 10")));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号) VALUES ('new')")));
            QVERIFY(db.exec(QStringLiteral("UPDATE 终端机 SET 地址 = 'changed'")));
            QVERIFY(noOtherDesk(db));
        }
        const QStringList changed = serverDigest();

        const QString base = qEnvironmentVariable("K27_TEST_REGISTER");
        PGconn* desk = PQconnectdb(
            (base + (base.contains(u'?') ? u'&' : u'?') + QStringLiteral("application_name=k27center%40other"))
                .toUtf8()
                .constData());
        QCOMPARE(PQstatus(desk), CONNECTION_OK);
        struct Case
        {
            const char* operatorName;
            bool deskConnected;
            bool finishes;
            RestoreResult result;
        };
        for (const Case& c : {Case{"admin", true, true, RestoreResult::DesksConnected},
                              Case{"clerk", false, true, RestoreResult::NotAdministrator},
                              Case{"nobody", false, true, RestoreResult::NotAdministrator},
                              Case{"admin", false, false, RestoreResult::Failed}}) {
            if (!c.deskConnected && desk) {
                PQfinish(desk);
                desk = nullptr;
                Database db;
                QVERIFY(db.open(url()) && noOtherDesk(db));
            }
            ServerRestore restore{url(), backup, QString::fromUtf8(c.operatorName)};
            restore.finish = [&](Database&) { return c.finishes; };
            QCOMPARE(restore.run(), c.result);
            QCOMPARE(restore.desks, c.deskConnected ? QStringList{QStringLiteral("other")} : QStringList());
            QCOMPARE(serverDigest(), changed);
        }

        ServerRestore restore{url(), backup, QStringLiteral("admin")};
        QList<QString> tables;
        restore.progress = [&](const QString& table, qint64, qint64) {
            if (!tables.contains(table))
                tables << table;
        };
        restore.finish = [](Database& server) {
            return audit::append(server, {QStringLiteral("admin"), QStringLiteral("desk")},
                                 {QStringLiteral("restore"), QStringLiteral("Data.kvd"), QString()});
        };
        QCOMPARE(restore.run(), RestoreResult::Restored);
        QVERIFY2(restore.problem.isEmpty(), qPrintable(restore.problem));
        const QStringList restored = serverDigest();
        QCOMPARE(withoutLog(restored), withoutLog(backedUp));
        QVERIFY(!tables.contains(QStringLiteral("操作日志"))); // the register's log stays
        Database db;
        QVERIFY(db.open(url()));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 操作日志")).toInt(), 2);
        QVERIFY(audit::verify(db).intact());
        // The card lists follow the rows; new rows are numbered after every number handed out.
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录_卡号")).toInt(), 9);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 用户信息_重复卡号")).toInt(), 4);
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号) VALUES ('after')")));
        QCOMPARE(db.lastInsertId(), 52);
    }
};

QTEST_GUILESS_MAIN(ServerBackupTest)
#include "ServerBackupTest.moc"
