#include "ManPage.h"
#include "db/Database.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;

class TestDbTool : public QObject
{
    Q_OBJECT

    struct Result {
        int code;
        QString err;
        QString out;
    };
    static Result run(const QStringList& args)
    {
        QProcess p;
        p.start(qEnvironmentVariable("K27_BUILD_DIR") + QStringLiteral("/k27-db"), args);
        p.waitForFinished();
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardError()), QString::fromUtf8(p.readAllStandardOutput())};
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
};

QTEST_GUILESS_MAIN(TestDbTool)
#include "DbToolTest.moc"
