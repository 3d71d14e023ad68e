#include "ManPage.h"
#include "db/Database.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;

class TestDbTool : public QObject
{
    Q_OBJECT

    struct Result
    {
        int code;
        QString err;
        QString out;
    };
    static Result run(const QStringList& args)
    {
        QProcess p;
        p.start(qEnvironmentVariable("K27_BUILD_DIR") + QStringLiteral("/k27-db"), args);
        p.waitForFinished();
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError()),
                QString::fromUtf8(p.readAllStandardOutput())};
    }

private slots:
    void initThenCheck()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.kvd"));
        QCOMPARE(run({QStringLiteral("init"), path}).code, 0);
        QVERIFY(Database::isProgramDatabase(path));
        Database db;
        QVERIFY(db.open(path));
        QVERIFY(db.hasTable(QStringLiteral("进出记录")));
        db.close();
        QCOMPARE(run({QStringLiteral("check"), path}).code, 0);

        // Never overwrites.
        const Result again = run({QStringLiteral("init"), path});
        QCOMPARE(again.code, 1);
        QCOMPARE(again.err.count(u'\n'), 1);
        QVERIFY(Database::isProgramDatabase(path));
    }

    void checkRefusesBadFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.kvd"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'k'));
        f.close();
        const Result r = run({QStringLiteral("check"), path});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err.count(u'\n'), 1);
        QCOMPARE(run({QStringLiteral("check"), dir.filePath(QStringLiteral("none.kvd"))}).code, 1);
        QCOMPARE(run({QStringLiteral("bogus"), path}).code, 1);
        QCOMPARE(run({}).code, 1);
    }

    // Both spellings print the usage and succeed; it names every option of the manual page.
    void helpPrintsTheUsage()
    {
        const QSet<QString> options = test::manPageOptions(QStringLiteral("k27-db.1"));
        QVERIFY(options.contains(QStringLiteral("-h")));
        for (const char* help : {"--help", "-h"}) {
            const Result r = run({QString::fromLatin1(help)});
            QCOMPARE(r.code, 0);
            QVERIFY(r.err.isEmpty());
            for (const QString& word : options + QSet<QString>{QStringLiteral("init"), QStringLiteral("check")})
                QVERIFY2(r.out.contains(word), qPrintable(word));
        }
    }

    // A log beside the file that holds committed work the file lacks fails the check (a copy
    // of the file alone would miss it); once that work is in the file, the check passes, also
    // with the log's frames still there.
    void checkSaysWhenTheLogHoldsWork()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Data.kvd"));
        QCOMPARE(run({QStringLiteral("init"), path}).code, 0);
        Database writer;
        QVERIFY(writer.open(path));
        QCOMPARE(writer.scalar(QStringLiteral("PRAGMA journal_mode = WAL")).toString(), QStringLiteral("wal"));
        QVERIFY(writer.exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0")));
        QVERIFY(writer.beginTransaction());
        for (int i = 0; i < 500; ++i)
            QVERIFY(
                writer.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, '1')"), {QString::number(i)}));
        QVERIFY(writer.commit());
        const Result missing = run({QStringLiteral("check"), path});
        QCOMPARE(missing.code, 1);
        QVERIFY(missing.err.contains(QStringLiteral("Data.kvd-wal")));
        QCOMPARE(missing.err.count(u'\n'), 1);

        QCOMPARE(writer.scalar(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")).toInt(), 0);
        QVERIFY(QFileInfo(path + QStringLiteral("-wal")).size() > 0);
        QCOMPARE(run({QStringLiteral("check"), path}).code, 0);
        QVERIFY(writer.checkpoint());
        QCOMPARE(QFileInfo(path + QStringLiteral("-wal")).size(), 0);
        QCOMPARE(run({QStringLiteral("check"), path}).code, 0);
    }
};

QTEST_GUILESS_MAIN(TestDbTool)
#include "DbToolTest.moc"
