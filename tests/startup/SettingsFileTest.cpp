#include "startup/AppSettings.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;

class TestSettings : public QObject
{
    Q_OBJECT

    QByteArray fileBytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void recordLayout()
    {
        const AppSettings s{3, 19200, 2};
        QCOMPARE(s.toBytes(), QByteArray::fromHex("03004b000002"));
        QCOMPARE(AppSettings::fromBytes(QByteArray::fromHex("03004b000002")), s);
        // Bytes past the record are ignored; a short record leaves the rest at 0.
        QCOMPARE(AppSettings::fromBytes(QByteArray::fromHex("038025000001ffff")), (AppSettings{3, 9600, 1}));
        QCOMPARE(AppSettings::fromBytes(QByteArray::fromHex("0780")), (AppSettings{7, 0x80, 0}));
        QCOMPARE(AppSettings::fromBytes({}), AppSettings{});
        // Signed 32-bit speed.
        QCOMPARE(AppSettings::fromBytes(QByteArray::fromHex("01ffffffff00")).baudRate, -1);
    }

    void missingFileIsCreatedEmpty()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("AppSet.dat"));
        QCOMPARE(readSettingsFile(path), AppSettings{});
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void writerKeepsLaterBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("AppSet.dat"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromHex("0102030405060708"));
        f.close();
        QVERIFY(writeSettingsFile(path, AppSettings{3, 19200, 0}));
        QCOMPARE(fileBytes(path), QByteArray::fromHex("03004b0000000708"));
        QCOMPARE(readSettingsFile(path), (AppSettings{3, 19200, 0}));
    }

    void unwritableFileKeepsOldContents()
    {
        if (geteuid() == 0)
            QSKIP("root writes read-only files");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("AppSet.dat"));
        QVERIFY(writeSettingsFile(path, AppSettings{2, 4800, 1}));
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        QVERIFY(!writeSettingsFile(path, AppSettings{5, 9600, 0}));
        QCOMPARE(readSettingsFile(path), (AppSettings{2, 4800, 1}));
    }

    void corrections_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<QString>("baudText");
        QTest::addColumn<int>("correctedLanguage");
        QTest::newRow("empty file") << 0 << 0 << 0 << 1 << "9600" << 0;
        QTest::newRow("lowest speed") << 1 << 2400 << 1 << 1 << "2400" << 1;
        QTest::newRow("highest speed") << 8 << 256000 << 2 << 8 << "256000" << 2;
        QTest::newRow("speed below") << 9 << 2399 << 3 << 1 << "9600" << 0;
        QTest::newRow("speed above") << 4 << 256001 << 255 << 4 << "9600" << 0;
        QTest::newRow("negative speed") << 2 << -9600 << 0 << 2 << "9600" << 0;
    }

    void corrections()
    {
        QFETCH(int, port);
        QFETCH(int, baud);
        QFETCH(int, language);
        AppSettings s{quint8(port), baud, quint8(language)};
        const CorrectedSettings c = correctSettings(s);
        QTEST(c.portNumber, "portNumber");
        QTEST(c.baudText, "baudText");
        QTEST(int(s.language), "correctedLanguage");
        // The record's own port and speed stay as read.
        QCOMPARE(int(s.port), port);
        QCOMPARE(s.baudRate, baud);
        QCOMPARE(serialSettingsString(c.baudText), c.baudText + QStringLiteral(",n,8,1"));
    }

    void typedSpeeds()
    {
        qint32 v = 0;
        QVERIFY(parseBaudRate(QStringLiteral("  38400  "), &v));
        QCOMPARE(v, 38400);
        QVERIFY(parseBaudRate(QStringLiteral("19200"), &v));
        QCOMPARE(v, 19200);
        QVERIFY(parseBaudRate(QStringLiteral("9600.5"), &v)); // half to even
        QCOMPARE(v, 9600);
        QVERIFY(!parseBaudRate(QStringLiteral("abc"), &v));
        QVERIFY(!parseBaudRate(QStringLiteral(""), &v));
        QVERIFY(!parseBaudRate(QStringLiteral("96 00"), &v));
        QVERIFY(!parseBaudRate(QStringLiteral("99999999999"), &v));
    }

    void randomFilesNeverCrash()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("AppSet.dat"));
        for (int n = 0; n <= 10; ++n) {
            QByteArray bytes(n, '\0');
            for (char& b : bytes)
                b = char(QRandomGenerator::global()->bounded(256));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
            f.close();
            AppSettings s = readSettingsFile(path);
            const CorrectedSettings c = correctSettings(s);
            QVERIFY(c.portNumber >= 1 && c.portNumber <= 8);
            QVERIFY(s.language <= 2);
            QCOMPARE(s.toBytes().left(qMin(n, 5)), bytes.left(qMin(n, 5))); // port and speed as read
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "SettingsFileTest.moc"
