// Replies of the device, the merge of a written card's terminals with the holder's
// stored ones, and the database update for the selected holder.
#include "ProgramFolder.h"
#include "db/Database.h"
#include "issuing/ApplyIssuedCard.h"
#include "issuing/CardPermissions.h"
#include "issuing/DeviceReply.h"

#include <QtTest>

using namespace k27;
using Kind = DeviceReply::Kind;

namespace {

TerminalTexts texts(std::initializer_list<std::pair<int, const char*>> entries)
{
    TerminalTexts t;
    for (const auto& [n, text] : entries)
        t[n] = QString::fromUtf8(text);
    return t;
}

CardPermissions perms(const char* terminals, const char* validity)
{
    return {QString::fromUtf8(terminals), QString::fromUtf8(validity)};
}

} // namespace

class DeviceReplyTest : public QObject
{
    Q_OBJECT
private slots:
    void decodesByLength();
    void mergeOfAnIssue();
    void mergeOfARestore();
    void mismatch();
    void applyToTheSelectedHolder();

private:
    void addHolder(Database& db, const QString& name, const QString& phone, const QVariant& card,
                   const QVariant& terminals, const QVariant& validity);
    QStringList holder(Database& db, const QString& phone);
};

void DeviceReplyTest::decodesByLength()
{
    auto decode = [](const char* hex) { return decodeReply(QByteArray::fromHex(hex)); };
    QCOMPARE(decode("AA00").kind, Kind::Accepted);
    QCOMPARE(decode("AAFF").kind, Kind::Accepted);
    QCOMPARE(decode("00AA").kind, Kind::Refused);
    QCOMPARE(decode("5500").kind, Kind::Refused);

    const DeviceReply written = decode("BBBBBBCC39300000");
    QCOMPARE(written.kind, Kind::CardWritten);
    QCOMPARE(written.cardNumber, 12345u);
    QCOMPARE(written.cardNumberText, QStringLiteral("0000012345"));
    QCOMPARE(decode("BBBBBBCCFFFFFF77").cardNumberText, QStringLiteral("0016777215"));
    QCOMPARE(decode("BBBBBBCB39300000").kind, Kind::UnknownEightByte);
    QCOMPARE(decode("CCBBBBBB39300000").kind, Kind::UnknownEightByte);
    QVERIFY(decode("CCBBBBBB39300000").cardNumberText.isEmpty());

    const DeviceReply read = decode("393000FF");
    QCOMPARE(read.kind, Kind::CardRead);
    QCOMPARE(read.cardNumberText, QStringLiteral("0000012345"));
    QCOMPARE(decode("00000000").cardNumberText, QStringLiteral("0000000000"));

    for (const char* other : {"", "AA", "393000", "BBBBBBCC393000", "BBBBBBCC3930000000"})
        QCOMPARE(decode(other).kind, Kind::Other);
    QCOMPARE(decodeReply(QByteArray(111, char(0xAA))).kind, Kind::Other);
    QCOMPARE(cardNumberText(0x1000000 + 5), QStringLiteral("0000000005")); // 24 bits only
}

void DeviceReplyTest::mergeOfAnIssue()
{
    // The frame's terminal takes the new validity; the others keep theirs.
    QCOMPARE(mergeIssued(QStringLiteral("5、9、"), QStringLiteral("A、B、"), texts({{9, "C"}})),
             perms("5、9、", "A、C、"));
    // Sorted by number, whatever the stored order.
    QCOMPARE(mergeIssued(QStringLiteral("17、5、"), QStringLiteral("X、Y、"), texts({{9, "C"}, {368, "D"}})),
             perms("5、9、17、368、", "Y、C、X、D、"));
    // Nothing stored (empty, blank or Null): the frame alone.
    for (const QString& none : {QString(), QStringLiteral(""), QStringLiteral("  ")})
        QCOMPARE(mergeIssued(none, QStringLiteral("junk、"), texts({{3, "2026：十二月"}, {1, "永久有效"}})),
                 perms("1、3、", "永久有效、2026：十二月、"));
    // Numbers the lists cannot hold and entries without a validity drop out; the first
    // stored entry of a repeated number wins.
    QCOMPARE(mergeIssued(QStringLiteral("600、4、7、4、"), QStringLiteral("P、Q、、R、"), TerminalTexts{}),
             perms("4、", "Q、"));
    // An empty frame leaves the stored entries (sorted).
    QCOMPARE(mergeIssued(QStringLiteral("9、5、"), QStringLiteral("B、A、"), TerminalTexts{}),
             perms("5、9、", "A、B、"));
}

void DeviceReplyTest::mergeOfARestore()
{
    QCOMPARE(mergeRestore(QStringLiteral("5、9、"), QStringLiteral("A、B、"), texts({{9, "9"}})), perms("5、", "A、"));
    // The stored order stays; terminals the holder does not have change nothing.
    QCOMPARE(mergeRestore(QStringLiteral("17、5、9、"), QStringLiteral("X、Y、Z、"), texts({{5, "5"}, {40, "40"}})),
             perms("17、9、", "X、Z、"));
    QCOMPARE(mergeRestore(QStringLiteral("5、9、"), QStringLiteral("A、B、"), texts({{5, "5"}, {9, "9"}})),
             perms("", ""));
    QCOMPARE(mergeRestore(QString(), QString(), texts({{5, "5"}})), perms("", ""));
    // A shorter validity list cuts the terminal list.
    QCOMPARE(mergeRestore(QStringLiteral("5、9、11、"), QStringLiteral("A、B"), TerminalTexts{}),
             perms("5、9、", "A、B、"));
}

void DeviceReplyTest::mismatch()
{
    const QString card = QStringLiteral("0000012345");
    QVERIFY(!isCardMismatch(QString(), card));
    QVERIFY(!isCardMismatch(QStringLiteral("   "), card));
    QVERIFY(!isCardMismatch(card, card));
    QVERIFY(!isCardMismatch(QStringLiteral(" 0000012345 "), card));
    QVERIFY(isCardMismatch(QStringLiteral("0000099999"), card));
    QVERIFY(isCardMismatch(QStringLiteral("12345"), card));
}

void DeviceReplyTest::addHolder(Database& db, const QString& name, const QString& phone, const QVariant& card,
                                const QVariant& terminals, const QVariant& validity)
{
    QVERIFY2(
        db.exec(QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                               " values (?, '男', '未填写', '未填写', '未填写', ?, ?, ?, ?)"),
                {name, phone, card, terminals, validity}),
        qPrintable(db.lastError()));
}

// 卡号, 权限终端机, 时间期限 and the storage type of 权限终端机 of the holder with that phone.
QStringList DeviceReplyTest::holder(Database& db, const QString& phone)
{
    QStringList out;
    db.query(QStringLiteral("select 卡号, 权限终端机, 时间期限, typeof(权限终端机) from 用户信息 where 电话 = ?"),
             {phone}, [&](const Row& r) {
                 out = QStringList{r.text(0), r.text(1), r.text(2), r.text(3)};
                 return false;
             });
    return out;
}

void DeviceReplyTest::applyToTheSelectedHolder()
{
    test::ProgramFolder folder;
    Database db;
    QVERIFY(db.open(folder.databasePath()));
    const QString card = QStringLiteral("0000012345");
    // Inserts store the name with one trailing blank; a change stores it without.
    addHolder(db, QStringLiteral("O'Brien "), QStringLiteral("555-1'2"), QVariant(), QStringLiteral("5、9、"),
              QStringLiteral("A、B、"));
    addHolder(db, QStringLiteral("O'Brien "), QStringLiteral("777"), QVariant(), QStringLiteral("5、"),
              QStringLiteral("A、"));
    addHolder(db, QStringLiteral("张三"), QStringLiteral("888"), QStringLiteral("0000099999"), QStringLiteral("1、"),
              QStringLiteral("永久有效、"));

    const TerminalTexts frame = texts({{9, "C"}});
    const TerminalTexts none;
    QCOMPARE(ApplyIssuedCard(db, QStringLiteral(" O'Brien"), QStringLiteral("555-1'2 "), card, false, frame, none),
             ApplyOutcome::Written);
    QCOMPARE(holder(db, QStringLiteral("555-1'2")),
             (QStringList{card, QStringLiteral("5、9、"), QStringLiteral("A、C、"), "text"}));
    // The namesake with another phone is untouched.
    QCOMPARE(holder(db, QStringLiteral("777")).first(), QString());

    // The same card again: no mismatch, written again.
    QCOMPARE(
        ApplyIssuedCard(db, QStringLiteral("O'Brien"), QStringLiteral("555-1'2"), card, false, texts({{2, "D"}}), none),
        ApplyOutcome::Written);
    QCOMPARE(holder(db, QStringLiteral("555-1'2")).mid(1, 2),
             (QStringList{QStringLiteral("2、5、9、"), QStringLiteral("D、A、C、")}));

    // A restore removes the restored terminals; removing all leaves empty texts, not Null.
    QCOMPARE(ApplyIssuedCard(db, QStringLiteral("O'Brien"), QStringLiteral("555-1'2"), card, true, frame,
                             texts({{9, "9"}, {2, "2"}})),
             ApplyOutcome::Written);
    QCOMPARE(holder(db, QStringLiteral("555-1'2")).mid(1, 2),
             (QStringList{QStringLiteral("5、"), QStringLiteral("A、")}));
    QCOMPARE(
        ApplyIssuedCard(db, QStringLiteral("O'Brien"), QStringLiteral("555-1'2"), card, true, none, texts({{5, "5"}})),
        ApplyOutcome::Written);
    QCOMPARE(holder(db, QStringLiteral("555-1'2")), (QStringList{card, QString(), QString(), "text"}));

    // Another card number stored: nothing written.
    const QStringList before = holder(db, QStringLiteral("888"));
    QCOMPARE(ApplyIssuedCard(db, QStringLiteral("张三"), QStringLiteral("888"), card, false, frame, none),
             ApplyOutcome::Mismatch);
    QCOMPARE(holder(db, QStringLiteral("888")), before);

    QCOMPARE(ApplyIssuedCard(db, QStringLiteral("李四"), QStringLiteral("888"), card, false, frame, none),
             ApplyOutcome::NotFound);
    QCOMPARE(ApplyIssuedCard(db, QStringLiteral("O'Brien' or '1'='1"), QStringLiteral("x"), card, false, frame, none),
             ApplyOutcome::NotFound);

    db.close();
    QCOMPARE(ApplyIssuedCard(db, QStringLiteral("张三"), QStringLiteral("888"), card, false, frame, none),
             ApplyOutcome::Failed);
}

QTEST_GUILESS_MAIN(DeviceReplyTest)
#include "DeviceReplyTest.moc"
