#include "ProgramFolder.h"
#include "db/CardholderKey.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Schema.h"

#include <QFile>
#include <cstdio>
#include <QtTest>

using namespace k27;
using test::ProgramFolder;

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void fileIsEncrypted()
    {
        ProgramFolder folder;
        Database db;
        QVERIFY(db.open(folder.databasePath()));
        QVERIFY2(!db.cipherVersion().isEmpty(), "the linked SQLite does not encrypt");
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, ?)"),
                        {QStringLiteral("secret-name-张三"), QStringLiteral("13800000000")}));
        db.close();
        const QByteArray bytes = folder.readFile(QStringLiteral("Data/Data.kvd"));
        QVERIFY(bytes.size() > 1000);
        QVERIFY(!bytes.startsWith("SQLite format 3"));
        QVERIFY(!bytes.contains("secret-name"));
        QVERIFY(!bytes.contains(QStringLiteral("用户信息").toUtf8()));
    }

    void wrongPasswordFailsAtOpen()
    {
        ProgramFolder folder;
        // A plain SQLite file and a file keyed with another password both fail to open.
        const QString other = folder.path(QStringLiteral("other.kvd"));
        {
            Database db;
            QVERIFY(db.create(other));
            QVERIFY(db.exec(QStringLiteral("PRAGMA rekey = 'another-password'")));
            QVERIFY(db.exec(QStringLiteral("CREATE TABLE t (x)")));
        }
        Database db;
        QVERIFY(!db.open(other));
        QVERIFY(!db.isOpen());
        QVERIFY(!Database::isProgramDatabase(other));
        QVERIFY(db.open(folder.databasePath()));
        QVERIFY(Database::isProgramDatabase(folder.databasePath()));
    }

    void textsAreStoredAndFoundExactly()
    {
        ProgramFolder folder;
        Database db;
        QVERIFY(db.open(folder.databasePath()));
        const QStringList names{QStringLiteral("O'Brien"),
                                QStringLiteral("say \"hi\""),
                                QStringLiteral("100%"),
                                QStringLiteral("a_b"),
                                QStringLiteral("x'; DROP TABLE 用户信息; --"),
                                QStringLiteral("nul\u0000inside"),
                                QStringLiteral("emoji 😀 𠀀"),
                                QStringLiteral("  blanks  "),
                                QStringLiteral("#2024-01-01#")};
        for (const QString& name : names)
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, ?)"), {name, name}));
        QVERIFY(db.hasTable(QStringLiteral("用户信息")));
        for (const QString& name : names) {
            QVERIFY2(db.exists(QStringLiteral("SELECT 1 FROM 用户信息 WHERE 姓名 = ? AND 电话 = ?"), {name, name}),
                     qPrintable(name));
            QCOMPARE(db.scalar(QStringLiteral("SELECT 姓名 FROM 用户信息 WHERE 电话 = ?"), {name}).toString(), name);
        }
        // LIKE wildcards in the value itself only match when the caller asks for a pattern.
        QCOMPARE(
            db.scalar(QStringLiteral("SELECT count(*) FROM 用户信息 WHERE 姓名 = ?"), {QStringLiteral("100_")}).toInt(),
            0);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 用户信息")).toInt(), names.size());
    }

    void nullsAndTypes()
    {
        ProgramFolder folder;
        Database db;
        QVERIFY(db.open(folder.databasePath()));
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 终端机 (终端机号, 地址) VALUES (?, ?)"), {7, QVariant()}));
        bool seen = false;
        QVERIFY(db.query(QStringLiteral("SELECT 终端机号, 地址 FROM 终端机"), {}, [&](const Row& r) {
            seen = true;
            return r.integer(0) == 7 && r.isNull(1) && r.text(1).isEmpty() && !r.value(1).isValid();
        }));
        QVERIFY(seen);
        QVERIFY(!db.exec(QStringLiteral("SELECT * FROM no_such_table")));
        QVERIFY(!db.lastError().isEmpty());
    }

    // The imports' duplicate lookups find their rows through an index, also in files made
    // before the index was part of the tables.
    void duplicateLookupsUseAnIndex_data()
    {
        QTest::addColumn<QString>("lookup");
        QTest::addColumn<QString>("index");
        QTest::newRow("cardholder") << cardholderKeyCondition().prepend("select 1 from 用户信息") << "用户信息_键";
        QTest::newRow("terminal") << "select 1 from 终端机 where 终端机号 = ?"
                                  << "终端机_号";
    }
    void duplicateLookupsUseAnIndex()
    {
        QFETCH(QString, lookup);
        QFETCH(QString, index);
        ProgramFolder folder;
        Database db;
        QVERIFY(db.open(folder.databasePath()));
        const auto plan = [&] {
            QString text;
            db.query(QStringLiteral("EXPLAIN QUERY PLAN ") + lookup,
                     QVariantList{QStringLiteral("a"), QStringLiteral("b")}.mid(0, lookup.count(u'?')),
                     [&](const Row& r) {
                         text += r.text(r.count() - 1);
                         return true;
                     });
            return text;
        };
        QVERIFY2(plan().contains(index), qPrintable(plan()));
        QVERIFY(db.exec(QStringLiteral("DROP INDEX ") + index));
        QVERIFY(!plan().contains(index));
        QVERIFY(ensureLookupIndexes(db));
        QVERIFY2(plan().contains(index), qPrintable(plan()));
    }

    void recordTableCreatedOnceAndLeftAlone()
    {
        ProgramFolder folder;
        Database db;
        QVERIFY(db.open(folder.databasePath()));
        QVERIFY(!db.hasTable(QStringLiteral("进出记录")));
        QVERIFY(EnsureRecordTable(db));
        QVERIFY(
            db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES (?, ?, ?, ?)"),
                    {QStringLiteral("00012345"), QStringLiteral("2011-03-15 08:30:05"), 3, QStringLiteral("星期二")}));
        QCOMPARE(db.lastInsertId(), 1); // the counter starts at 1
        QVERIFY(EnsureRecordTable(db));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toInt(), 1);
        // Text dates order and compare as dates.
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间) VALUES ('1', '2011-03-15 08:30:04')")));
        QCOMPARE(db.scalar(QStringLiteral("SELECT 进出时间 FROM 进出记录 ORDER BY 进出时间 DESC")).toString(),
                 QStringLiteral("2011-03-15 08:30:05"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录 WHERE 进出时间 BETWEEN ? AND ?"),
                           {QStringLiteral("2011-03-15 08:30:05"), QStringLiteral("2011-03-15 08:30:05")})
                     .toInt(),
                 1);
    }

    void badFilesFailCleanly()
    {
        ProgramFolder folder(false);
        Database db;
        folder.writeFile(QStringLiteral("Data/Data.kvd"), QByteArray());
        QVERIFY(!Database::isProgramDatabase(folder.databasePath()));
        QCOMPARE(folder.readFile(QStringLiteral("Data/Data.kvd")), QByteArray());
        folder.writeFile(QStringLiteral("Data/Data.kvd"), QByteArray(4096, '\x5a'));
        QVERIFY(!db.open(folder.databasePath()));
        QVERIFY(!db.open(folder.path(QStringLiteral("missing.kvd"))));
        QVERIFY(!QFile::exists(folder.path(QStringLiteral("missing.kvd"))));
        QVERIFY(!db.exec(QStringLiteral("SELECT 1")));
    }

    // The run's connections: each key derived once however often they are used, and the file
    // followed when it is replaced, removed or left with a failed write's transaction.
    void sessionOpensEachConnectionOnce()
    {
        ProgramFolder folder;
        DatabaseSession session(folder.databasePath());
        const auto holders = [](Database* db) {
            return db ? db->scalar(QStringLiteral("SELECT count(*) FROM 用户信息")).toInt() : -1;
        };
        const int keys = Database::keyDerivations();
        Database* window = session.window();
        Database* runs = session.runs();
        Database* background = session.background();
        QVERIFY(window && runs && background && window != runs && background != window && background != runs);
        for (int i = 0; i < 100; ++i)
            QVERIFY(session.window() == window && session.runs() == runs && session.background() == background);
        QCOMPARE(Database::keyDerivations() - keys, 3);

        // A write the file refused halfway leaves a transaction; the next use starts clean.
        QVERIFY(runs->beginTransaction());
        QVERIFY(runs->exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES ('left open')")));
        QCOMPARE(holders(session.runs()), 0);
        QVERIFY(!runs->inTransaction());

        // Another file put in the database's place (a restore by hand) is opened.
        const QString other = folder.path(QStringLiteral("other.kvd"));
        QVERIFY(createProgramDatabase(other));
        {
            Database db;
            QVERIFY(db.open(other));
            QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (姓名) VALUES ('restored')")));
        }
        QVERIFY(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(folder.databasePath()).constData())
                == 0);
        QCOMPARE(holders(session.window()), 1);
        QCOMPARE(holders(session.runs()), 1);
        QCOMPARE(holders(session.background()), 1);

        // A database taken away fails as at an open, and comes back with its file.
        QVERIFY(QFile::rename(folder.databasePath(), other));
        QVERIFY(!session.window() && !session.runs() && !session.background());
        QVERIFY(!session.lastError().isEmpty());
        QVERIFY(QFile::rename(other, folder.databasePath()));
        QCOMPARE(holders(session.window()), 1);

        session.close();
        QVERIFY(!session.isOpen());
        QCOMPARE(holders(session.window()), 1);
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "DatabaseTest.moc"
