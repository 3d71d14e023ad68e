// k27-device-sim driven as the program drives the device: through a dev/COMn
// link opened with the serial layer, card reports requested on its standard input.
#include "FrameFixtures.h"
#include "issuing/CardFrame.h"
#include "platform/SerialPort.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QtTest>

using k27::SerialPort;
using namespace k27::test;

namespace {

class Simulator
{
public:
    QProcess process;
    QByteArray output;

    bool start(const QString& folder, int port)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { output += process.readAllStandardOutput(); });
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(K27_DEVICE_SIM),
                      {QStringLiteral("--folder"), folder, QStringLiteral("--port"), QString::number(port),
                       QStringLiteral("--gap"), QStringLiteral("30")});
        return process.waitForStarted(5000) && waitFor("ready ");
    }

    bool waitFor(const QByteArray& text, int timeoutMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!output.contains(text) && t.elapsed() < timeoutMs)
            QTest::qWait(10);
        return output.contains(text);
    }

    void command(const QByteArray& line) { process.write(line + '\n'); }

    ~Simulator()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(3000))
                process.kill();
        }
    }
};

} // namespace

class DeviceSimTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void framesAnsweredAndLogged();
    void operatorReportsCards();
    void survivesRandomBytes();
    void quitRemovesLink();
    void signalRemovesLinkAndStaleLinkIsReplaced();

private:
    QByteArray exchange(const QByteArray& bytes, int replyLength);
    QByteArray collect(int count, int timeoutMs = 5000);

    QTemporaryDir m_dir;
    Simulator m_sim;
    SerialPort m_port;
};

void DeviceSimTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(m_sim.start(m_dir.path(), 3));
    QVERIFY(QFileInfo(m_dir.path() + QStringLiteral("/dev/COM3")).isSymLink());
    m_port.setProgramFolder(m_dir.path());
    QVERIFY2(k27::openDevicePort(m_port, 3, QStringLiteral("9600,n,8,1")), qPrintable(m_port.errorString()));
    QVERIFY(m_sim.output.contains(m_port.devicePath().toUtf8()));
}

QByteArray DeviceSimTest::collect(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < timeoutMs) {
        QTest::qWait(10);
        got += m_port.readAll();
    }
    return got;
}

QByteArray DeviceSimTest::exchange(const QByteArray& bytes, int replyLength)
{
    m_port.clearInput();
    if (!m_port.write(bytes))
        return QByteArray("write failed");
    return collect(replyLength);
}

void DeviceSimTest::framesAnsweredAndLogged()
{
    QCOMPARE(exchange(newCardExample(), 2), QByteArray::fromHex("AA00"));
    QVERIFY(m_sim.waitFor("frame accepted: new card; range 0 (terminals 1-46); "
                          "terminals 1 month 12, 3 month 12; year 2026; day/id 0"));
    QCOMPARE(exchange(restoreExample(), 2), QByteArray::fromHex("AA00"));
    QVERIFY(m_sim.waitFor("frame accepted: restore; range 2 (terminals 93-138)"));

    QByteArray badSum = newCardExample();
    badSum[110] = char(quint8(badSum[110]) ^ 0x80);
    QByteArray reply = exchange(badSum, 2);
    QCOMPARE(reply.size(), 2);
    QVERIFY(quint8(reply[0]) != 0xAA);
    QVERIFY(m_sim.waitFor("frame refused (wrong checksum"));

    QByteArray badCommand = newCardExample();
    badCommand[0] = 0x07;
    reply = exchange(withChecksum(badCommand), 2);
    QCOMPARE(reply.size(), 2);
    QVERIFY(quint8(reply[0]) != 0xAA);
    QVERIFY(m_sim.waitFor("frame refused (wrong command byte 0x07)"));

    reply = exchange(newCardExample().left(60), 2);
    QCOMPARE(reply.size(), 2);
    QVERIFY(quint8(reply[0]) != 0xAA);
    QVERIFY(m_sim.waitFor("frame refused (wrong length: 60 bytes"));

    // Bytes that form no frame: logged and dropped, no reply.
    QVERIFY(m_port.write(QByteArray::fromHex("0102FE")));
    QVERIFY(m_sim.waitFor("dropped 3 bytes that form no frame: 01 02 FE"));
    QTest::qWait(150);
    QVERIFY(m_port.readAll().isEmpty());
    QCOMPARE(m_sim.process.state(), QProcess::Running);

    QVERIFY(m_port.write(QByteArray(1, char(k27::CardFrame::StopByte))));
    QVERIFY(m_sim.waitFor("stop received; writing ended"));
    QTest::qWait(150);
    QVERIFY(m_port.readAll().isEmpty());
}

void DeviceSimTest::operatorReportsCards()
{
    QSignalSpy spy(&m_port, &SerialPort::commEvent);
    m_port.clearInput();
    m_sim.command("write 12345");
    QTRY_VERIFY(spy.count() >= 1);
    QCOMPARE(spy.first().first().value<SerialPort::Event>(), SerialPort::Event::DataReceived);
    QCOMPARE(collect(8), QByteArray::fromHex("BBBBBBCC39300000"));

    m_sim.command("read 12345");
    QCOMPARE(collect(4), QByteArray::fromHex("39300000"));

    // Without a number the report carries some 24-bit number.
    m_sim.command("write");
    const QByteArray random = collect(8);
    QCOMPARE(random.size(), 8);
    QCOMPARE(random.left(4), QByteArray::fromHex("BBBBBBCC"));
    QCOMPARE(random[7], '\0');

    m_sim.command("nak");
    QCOMPARE(collect(2), k27::CardFrame::ackReply(false));
    m_sim.command("raw 00 aa");
    QCOMPARE(collect(2), QByteArray::fromHex("00AA"));

    m_sim.command("write 99999999");
    QVERIFY(m_sim.waitFor("usage: write [number 0..16777215]"));
    m_sim.command("launch");
    QVERIFY(m_sim.waitFor("unknown command 'launch'"));
    m_sim.command("raw xyz");
    QVERIFY(m_sim.waitFor("usage: raw <hex bytes>"));
    QTest::qWait(100);
    QVERIFY(m_port.readAll().isEmpty());
    m_sim.command("status");
    QVERIFY(m_sim.waitFor("status: COM3"));
}

void DeviceSimTest::survivesRandomBytes()
{
    auto* rng = QRandomGenerator::global();
    for (int round = 0; round < 40; ++round) {
        QByteArray noise(int(rng->bounded(1, 300)), '\0');
        for (char& c : noise)
            c = char(rng->bounded(256));
        if (round % 4 == 0)
            noise[0] = char(k27::CardFrame::CommandByte);
        if (round % 10 == 5)
            noise = noise.left(1) + QByteArray(110, char(rng->bounded(256)));
        QVERIFY(m_port.write(noise));
        QTest::qWait(45);
    }
    m_sim.command("ping \x01\xff");
    // Let the last refusals arrive (the machine may be busy): wait for a quiet line.
    QElapsedTimer quiet, total;
    quiet.start();
    total.start();
    while (quiet.elapsed() < 400 && total.elapsed() < 5000) {
        QTest::qWait(50);
        if (!m_port.readAll().isEmpty())
            quiet.restart();
    }
    m_sim.command("status");
    QVERIFY(m_sim.waitFor("unknown command 'ping"));
    QCOMPARE(m_sim.process.state(), QProcess::Running);
    QCOMPARE(exchange(newCardExample(), 2), QByteArray::fromHex("AA00"));
}

void DeviceSimTest::quitRemovesLink()
{
    m_port.close();
    m_sim.command("quit");
    QVERIFY(m_sim.process.waitForFinished(5000));
    QCOMPARE(m_sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_sim.process.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(m_dir.path() + QStringLiteral("/dev/COM3")));
    QVERIFY(!QFileInfo(m_dir.path() + QStringLiteral("/dev/COM3")).isSymLink());
    // With the simulator gone the port number maps to the real port again.
    QCOMPARE(SerialPort::devicePathFor(m_dir.path(), 3), QStringLiteral("/dev/ttyS2"));
}

void DeviceSimTest::signalRemovesLinkAndStaleLinkIsReplaced()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("dev")));
    const QString link = dir.path() + QStringLiteral("/dev/COM1");
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such-terminal"), link));

    Simulator sim;
    QVERIFY(sim.start(dir.path(), 1));
    QVERIFY(QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
    QVERIFY(QFileInfo::exists(link));

    SerialPort port;
    port.setProgramFolder(dir.path());
    QVERIFY(k27::openDevicePort(port, 1, QStringLiteral("9600,n,8,1")));
    sim.process.terminate(); // SIGTERM
    QVERIFY(sim.process.waitForFinished(5000));
    QVERIFY(!QFileInfo(link).isSymLink());
    // The program's port notices the device is gone.
    QTRY_VERIFY(!port.isOpen());
}

QTEST_GUILESS_MAIN(DeviceSimTest)
#include "DeviceSimTest.moc"
