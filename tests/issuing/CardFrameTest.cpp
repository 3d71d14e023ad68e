#include "FrameFixtures.h"
#include "issuing/CardFrame.h"

#include <QRandomGenerator>
#include <QtTest>

namespace CF = k27::CardFrame;
using namespace k27::test;

class CardFrameTest : public QObject
{
    Q_OBJECT
private slots:
    void checksumOfTheExamples();
    void checksumFollowsEveryBit();
    void validation();
    void describesEachCommandType();
    void describeSurvivesAnyInput();
    void replies();
};

void CardFrameTest::checksumOfTheExamples()
{
    QCOMPARE(CF::siteCardCode().size(), 6);
    const QByteArray issue = newCardExample();
    QCOMPARE(CF::checksum(issue), quint8(0x10 ^ siteXor()));
    QCOMPARE(quint8(issue[110]), quint8(0x10 ^ siteXor()));
    QCOMPARE(CF::checksum(restoreExample()), quint8(0x03 ^ siteXor()));
}

void CardFrameTest::checksumFollowsEveryBit()
{
    QByteArray zero(CF::FrameLength, '\0');
    QCOMPARE(CF::checksum(zero), quint8(0));
    const QByteArray base = newCardExample();
    for (int k = 0; k < 110; ++k) {
        QByteArray f = base;
        f[k] = char(quint8(f[k]) ^ 0x5A);
        QCOMPARE(quint8(CF::checksum(f) ^ CF::checksum(base)), quint8(0x5A));
    }
    // Byte 110 itself is not part of the sum.
    QByteArray f = base;
    f[110] = 0;
    QCOMPARE(CF::checksum(f), CF::checksum(base));
}

void CardFrameTest::validation()
{
    QCOMPARE(CF::validateFrame(newCardExample()), CF::Validation::Ok);
    QCOMPARE(CF::validateFrame(restoreExample()), CF::Validation::Ok);
    QCOMPARE(CF::validateFrame(QByteArray()), CF::Validation::WrongLength);
    QCOMPARE(CF::validateFrame(newCardExample().left(110)), CF::Validation::WrongLength);
    QCOMPARE(CF::validateFrame(newCardExample() + '\x0D'), CF::Validation::WrongLength);

    QByteArray wrongCommand = newCardExample();
    wrongCommand[0] = 0x08;
    QCOMPARE(CF::validateFrame(withChecksum(wrongCommand)), CF::Validation::WrongCommand);

    QByteArray wrongSum = newCardExample();
    wrongSum[110] = char(quint8(wrongSum[110]) ^ 0x01);
    QCOMPARE(CF::validateFrame(wrongSum), CF::Validation::WrongChecksum);
    QByteArray changedBody = newCardExample();
    changedBody[62] = char(0xBA);
    QCOMPARE(CF::validateFrame(changedBody), CF::Validation::WrongChecksum);
}

void CardFrameTest::describesEachCommandType()
{
    QCOMPARE(
        CF::describeFrame(newCardExample()),
        QStringLiteral("new card; range 0 (terminals 1-46); terminals 1 month 12, 3 month 12; year 2026; day/id 0"));
    QCOMPARE(
        CF::describeFrame(restoreExample()),
        QStringLiteral("restore; range 2 (terminals 93-138); terminals 93-138 no validity; year none; day/id 255"));

    // Temporary and renewal share their code blocks; the validity nibble tells them apart.
    QCOMPARE(CF::commandType(sharedBlocksExample(0x3B, 15)), CF::CommandType::Temporary);
    QCOMPARE(CF::describeFrame(sharedBlocksExample(0x3B, 15)),
             QStringLiteral("temporary card; range 0 (terminals 1-46); terminals 5 month 3; year 2026; day/id 15"));
    QCOMPARE(CF::commandType(sharedBlocksExample(0x0B, 1)), CF::CommandType::Temporary);
    QVERIFY(CF::describeFrame(sharedBlocksExample(0x0B, 1)).contains(QStringLiteral("terminals 5 permanent")));
    QCOMPARE(CF::commandType(sharedBlocksExample(0xCA, 7)), CF::CommandType::Renewal);
    QCOMPARE(CF::commandType(sharedBlocksExample(0x0A, 7)), CF::CommandType::Renewal);

    // Last range, last slot: terminal 368.
    QByteArray last = emptyFrame();
    last[1] = 0x0F;
    setBlock(last, 8, CF::siteCardCode());
    last[14 + 45] = 0x2D;
    last[62 + 45] = 0x0A;
    last[108] = 0x01;
    QVERIFY(CF::describeFrame(withChecksum(last)).contains(QStringLiteral("terminals 368 permanent; year 2009")));

    // Odd contents are named, not guessed.
    QByteArray odd = newCardExample();
    odd[1] = 0x20;
    odd[2] = 0x01;
    odd[16] = 0x07;
    odd[64] = char(0xD3);
    const QString text = CF::describeFrame(odd);
    QVERIFY2(text.contains(QStringLiteral("unknown code blocks")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("bad range byte 0x20")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("bad validity 0xD3 [slot 2 holds 0x07]")), qPrintable(text));
}

void CardFrameTest::describeSurvivesAnyInput()
{
    QCOMPARE(CF::describeFrame(QByteArray()), QStringLiteral("not a frame (0 bytes)"));
    QCOMPARE(CF::commandType(QByteArray(5, '\x09')), CF::CommandType::Unknown);
    auto* rng = QRandomGenerator::global();
    for (int round = 0; round < 500; ++round) {
        QByteArray f(CF::FrameLength, '\0');
        for (char& c : f)
            c = char(rng->bounded(256));
        QVERIFY(!CF::describeFrame(f).isEmpty());
        CF::validateFrame(f);
    }
}

void CardFrameTest::replies()
{
    QCOMPARE(CF::cardWrittenReply(12345), QByteArray::fromHex("BBBBBBCC39300000"));
    QCOMPARE(CF::cardReadReply(12345), QByteArray::fromHex("39300000"));
    QCOMPARE(CF::cardReadReply(0xFFFFFF), QByteArray::fromHex("FFFFFF00"));
    QCOMPARE(CF::cardWrittenReply(0x1ABCDEF), QByteArray::fromHex("BBBBBBCCEFCDAB00")); // 24 bits only
    QCOMPARE(CF::ackReply(true), QByteArray::fromHex("AA00"));
    const QByteArray refused = CF::ackReply(false);
    QCOMPARE(refused.size(), 2);
    QVERIFY(quint8(refused[0]) != 0xAA);
}

QTEST_APPLESS_MAIN(CardFrameTest)
#include "CardFrameTest.moc"
