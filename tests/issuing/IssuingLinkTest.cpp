// Frames built by the command buffer go through the serial layer to the device
// simulator, which decodes them; its replies decode back into card numbers.
#include "issuing/CommandBuffer.h"
#include "issuing/DeviceCommands.h"
#include "issuing/DeviceReply.h"
#include "platform/SerialPort.h"
#include "startup/LanguageTable.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;
using Type = CardFrame::CommandType;

class IssuingLinkTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void issueRestoreAndStop();

private:
    bool simulatorSays(const QByteArray& text);
    QByteArray reply(int count);

    QTemporaryDir m_dir;
    QProcess m_sim;
    QByteArray m_log;
    SerialPort m_port;
};

void IssuingLinkTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    connect(&m_sim, &QProcess::readyReadStandardOutput, this, [this] { m_log += m_sim.readAllStandardOutput(); });
    m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim.start(QStringLiteral(K27_DEVICE_SIM), {QStringLiteral("--folder"), m_dir.path(), QStringLiteral("--port"),
                                                 QStringLiteral("4"), QStringLiteral("--gap"), QStringLiteral("30")});
    QVERIFY(m_sim.waitForStarted(5000));
    QVERIFY(simulatorSays("ready "));
    // Configured but closed: the sends open the port themselves.
    m_port.setProgramFolder(m_dir.path());
    m_port.setPortNumber(4);
    QVERIFY(m_port.setSettings(QStringLiteral("9600,n,8,1")));
}

void IssuingLinkTest::cleanupTestCase()
{
    m_port.close();
    m_sim.write("quit\n");
    if (!m_sim.waitForFinished(5000))
        m_sim.kill();
}

bool IssuingLinkTest::simulatorSays(const QByteArray& text)
{
    QElapsedTimer t;
    t.start();
    while (!m_log.contains(text) && t.elapsed() < 5000)
        QTest::qWait(10);
    return m_log.contains(text);
}

QByteArray IssuingLinkTest::reply(int count)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < count && t.elapsed() < 5000) {
        QTest::qWait(10);
        got += m_port.readAll();
    }
    return got;
}

void IssuingLinkTest::issueRestoreAndStop()
{
    LanguageTable language;
    CommandBuffer buffer;
    buffer.SetCommandType(Type::Temporary);
    buffer.setRange(1);
    buffer.resetSlots();
    QCOMPARE(buffer.prepareIssue(IssueRequest{{50, 92}, Type::Temporary, false, QDate(2026, 3, 15), 0, 1}),
             CommandBuffer::IssueCheck::Ready);
    QVERIFY(buffer.completeIssue(language));

    QVERIFY(!m_port.isOpen());
    QVERIFY2(SendFrame(m_port, buffer), qPrintable(m_port.errorString()));
    QVERIFY(m_port.isOpen());
    QCOMPARE(decodeReply(reply(2)).kind, DeviceReply::Kind::Accepted);
    QVERIFY(simulatorSays("frame accepted: temporary card; range 1 (terminals 47-92); "
                          "terminals 50 month 3, 92 month 3; year 2026; day/id 15"));

    m_sim.write("write 12345\n");
    const DeviceReply written = decodeReply(reply(8));
    QCOMPARE(written.kind, DeviceReply::Kind::CardWritten);
    QCOMPARE(written.cardNumberText, QStringLiteral("0000012345"));

    buffer.SetCommandType(Type::Restore);
    buffer.prepareRestore({93}, 2);
    QVERIFY(buffer.completeRestore());
    m_port.close();
    QVERIFY(SendFrame(m_port, buffer));
    QCOMPARE(reply(2), QByteArray::fromHex("AA00"));
    QVERIFY(simulatorSays("frame accepted: restore; range 2 (terminals 93-138); terminals 93-138 no validity"));

    m_port.close();
    QVERIFY(SendStop(m_port));
    QVERIFY(simulatorSays("stop received; writing ended"));
}

QTEST_GUILESS_MAIN(IssuingLinkTest)
#include "IssuingLinkTest.moc"
