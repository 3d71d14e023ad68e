#include "RecordFixture.h"
#include "TestRegister.h"
#include "db/Schema.h"
#include "records/RecordImport.h"
#include "records/RecordRows.h"

#include <QProcess>
#include <QtTest>

using namespace k27;
using test::RecordingProgress;

// The server stopped in the middle of a record import and started again: what was committed
// stays, the run says it failed, and the same file imported again adds exactly what is missing.
// On a cluster of its own, so that the other tests' server keeps running.
class ServerStopTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    bool cluster(const char* command, QString* url = nullptr)
    {
        QProcess script;
        script.start(qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/tools/test-register.sh"),
                     {QString::fromLatin1(command), m_folder.path()});
        if (!script.waitForFinished(60000) || script.exitCode() != 0) {
            qWarning("%s", script.readAllStandardError().constData());
            return false;
        }
        if (url)
            *url = QString::fromUtf8(script.readAllStandardOutput()).trimmed();
        return true;
    }

private slots:
    void initTestCase()
    {
        if (!test::onServer())
            QSKIP("needs the server's programs");
        QFile::setPermissions(m_folder.path(), QFile::permissions(m_folder.path()) | QFileDevice::ReadOther
                                                   | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                                   | QFileDevice::ExeGroup);
    }

    // Never left running, however the test ends.
    void cleanupTestCase()
    {
        if (QFile::exists(m_folder.filePath(QStringLiteral("port"))))
            cluster("stop");
    }

    void importAcrossAStopAddsWhatIsMissing()
    {
        QString url;
        QVERIFY(cluster("start", &url));
        QString error;
        QVERIFY2(createProgramDatabase(url, &error), qPrintable(error));
        QByteArray lines;
        for (int i = 0; i < 3000; ++i)
            lines += QStringLiteral("1,c%1,2024-05-01,%2:%3:00,x\r\n")
                         .arg(i)
                         .arg(i / 60 % 24, 2, 10, QLatin1Char('0'))
                         .arg(i % 60, 2, 10, QLatin1Char('0'))
                         .toUtf8();
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(lines) == lines.size());
        file.close();

        RecordImport::Result first;
        {
            Database db;
            QVERIFY(db.open(url));
            RecordingProgress progress;
            bool stopped = false;
            progress.onPump = [&] {
                if (!std::exchange(stopped, true))
                    QVERIFY(cluster("stop"));
            };
            RecordRows rows;
            first = RecordImport::run(db, file.fileName(), rows, &progress);
            QVERIFY(stopped);
            QVERIFY(!db.isLinked());
        }
        QVERIFY(first.writeFailed);
        QVERIFY(first.added > 0 && first.added < 3000);

        QVERIFY(cluster("again"));
        Database db;
        QVERIFY(db.open(url));
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toInt(), first.added);
        RecordRows rows;
        const RecordImport::Result second = RecordImport::run(db, file.fileName(), rows, nullptr);
        QVERIFY(!second.writeFailed);
        QCOMPARE(second.added, 3000 - first.added);
        QCOMPARE(second.skipped, first.added);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(DISTINCT 卡号) FROM 进出记录")).toInt(), 3000);
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toInt(), 3000);
    }
};

QTEST_GUILESS_MAIN(ServerStopTest)
#include "ServerStopTest.moc"
