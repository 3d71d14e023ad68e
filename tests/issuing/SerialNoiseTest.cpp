// Line noise from the device: a thousand random blocks into the port, while idle and while a
// run waits for its card report. Nothing may crash, nothing is written to the database, no box
// opens, the window keeps handling its events, and the link still works afterwards.

#include "../mainwin/MainWindowFixture.h"
#include "FakeDevice.h"

#include "issuing/CardFrame.h"
#include "issuing/DeviceReplyHandler.h"
#include "issuing/IssuingPage.h"
#include "mainwin/Frmmain.h"
#include "platform/Grid.h"
#include "platform/SerialPort.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

using namespace k27;
using namespace k27::test;

namespace {

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

QString storedCard(const QString& path, const QString& name)
{
    Database db;
    if (!db.open(path, true))
        return {};
    return db.scalar(QStringLiteral("select 卡号 from 用户信息 where 姓名 = ?"), {name}).toString();
}

// 1..16 random bytes; never 0xBB, so no run of blocks can form a card report.
QByteArray noiseBlock(QRandomGenerator& random)
{
    QByteArray block(int(random.bounded(1, 17)), Qt::Uninitialized);
    for (char& byte : block) {
        do
            byte = char(random.bounded(256));
        while (quint8(byte) == 0xBB);
    }
    return block;
}

} // namespace

class SerialNoiseTest : public QObject
{
    Q_OBJECT

private slots:
    void noise_data()
    {
        QTest::addColumn<bool>("runWaiting");
        QTest::newRow("idle") << false;
        QTest::newRow("run waiting for its reply") << true;
    }

    void noise()
    {
        QFETCH(bool, runWaiting);
        MainWindowFixture fx;
        {
            Database db;
            QVERIFY(db.open(fx.databasePath()));
            QVERIFY(db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话) values ('张三', '1')")));
            QVERIFY(db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (1, '门')")));
        }
        FakeDevice device(fx.folder.path());
        fx.context->settings.port = 1;
        Frmmain w(*fx.context);
        w.OpenDevicePort();
        QVERIFY(w.serialPort().isOpen());
        IssuingPage* page = w.issuingPage();

        if (runWaiting) {
            page->GridU2->setCurrentCell(1, 1);
            page->GridZ->setCellText(1, IssuingPage::tickColumn(0), QStringLiteral("1"));
            page->DT1->setDate(QDate(2030, 12, 1));
            fx.dialogs.questionAnswers = {true};
            page->btnStart->click();
            QCOMPARE(device.received(CardFrame::FrameLength).size(), CardFrame::FrameLength);
            QVERIFY(w.issuingActive());
        }
        fx.dialogs.clear();
        const QByteArray before = fileHash(fx.databasePath());

        // The blocks go out from a timer, so that they keep coming while a reply is awaited;
        // the gaps between its ticks show how responsive the window stays.
        QRandomGenerator random(27);
        int sent = 0;
        qint64 longestGap = 0;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer sender;
        sender.setInterval(1);
        connect(&sender, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, sinceTick.restart());
            if (sent < 1000) {
                device.send(noiseBlock(random));
                ++sent;
            }
        });
        sender.start();
        QTRY_VERIFY_WITH_TIMEOUT(sent == 1000, 60000);
        QTest::qWait(3 * 100 + 200); // the last replies are read and handled
        sender.stop();

        QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
        QCOMPARE(fileHash(fx.databasePath()), before);
        QVERIFY(fx.dialogs.calls.isEmpty());
        QVERIFY(!w.deviceReplies()->commBusy());
        QCOMPARE(w.issuingActive(), runWaiting);

        // The link still works: an acknowledgement, and in a run the awaited card.
        device.send(QByteArray::fromHex("AA00"));
        QTRY_COMPARE(page->Lbltip->text(), fx.context->message(51));
        if (runWaiting) {
            // Read cards among the noise filled the search fields; the operator clears them
            // and picks the holder again.
            for (QComboBox* field : page->CmbF)
                field->setEditText(QString());
            QTRY_COMPARE(page->GridU2->rows(), 2);
            page->GridU2->setCurrentCell(1, 1);
            QTest::qWait(200);
            device.send(CardFrame::cardWrittenReply(4242));
            QTRY_COMPARE(storedCard(fx.databasePath(), QStringLiteral("张三")), QStringLiteral("0000004242"));
        }
    }
};

QTEST_MAIN(SerialNoiseTest)
#include "SerialNoiseTest.moc"
