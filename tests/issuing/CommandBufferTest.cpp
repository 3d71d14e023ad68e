// The command buffer builds the frames the device expects, byte for byte, and the
// validity texts the reply handler stores.
#include "FrameFixtures.h"
#include "issuing/CommandBuffer.h"
#include "issuing/DeviceCommands.h"
#include "platform/SerialPort.h"
#include "startup/LanguageTable.h"

#include <QTemporaryDir>
#include <QtTest>

using k27::CommandBuffer;
using k27::IssueRequest;
namespace CF = k27::CardFrame;
using Type = CF::CommandType;
using Check = CommandBuffer::IssueCheck;
using namespace k27::test;

class CommandBufferTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void prefillAndCommandTypes();
    void newCardExample();
    void restoreExample();
    void slotsAndValidityBytes();
    void temporaryCarriesTheDay();
    void nothingTickedStopsAfterLayout();
    void refusedYearsAndCodes();
    void identificationCodeFromText();
    void completeNeedsAPreparedFrame();
    void sendWithoutDevice();

private:
    // A buffer as the page leaves it: type and range chosen, slots reset.
    static CommandBuffer chosen(Type type, int range);
    static IssueRequest request(QList<int> ticks, Type type, QDate date, bool permanent = false, int code = 0,
                                int range = 0);
    CommandBuffer issued(const IssueRequest& r);

    k27::LanguageTable m_language;
};

void CommandBufferTest::initTestCase()
{
    QVERIFY(m_language.loadFile(qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/res/Smp_Chs.lag")));
    QCOMPARE(m_language.message(19), QStringLiteral("永久有效"));
}

CommandBuffer CommandBufferTest::chosen(Type type, int range)
{
    CommandBuffer b;
    b.SetCommandType(type);
    b.setRange(range);
    b.resetSlots();
    return b;
}

IssueRequest CommandBufferTest::request(QList<int> ticks, Type type, QDate date, bool permanent, int code, int range)
{
    return IssueRequest{std::move(ticks), type, permanent, date, code, range};
}

CommandBuffer CommandBufferTest::issued(const IssueRequest& r)
{
    CommandBuffer b = chosen(r.type, r.rangeIndex);
    if (b.prepareIssue(r) != Check::Ready || !b.completeIssue(m_language))
        qWarning("issue frame not built");
    return b;
}

void CommandBufferTest::prefillAndCommandTypes()
{
    CommandBuffer b;
    QCOMPARE(b.bytes().size(), 111);
    QCOMPARE(b.at(0), quint8(0x00));
    QCOMPARE(b.at(1), quint8(0x08));
    for (int k = 2; k <= 110; ++k)
        QCOMPARE(b.at(k), quint8(k == 60 ? 0x2E : k == 61 ? 0x2F : 0xFF));

    const QByteArray site = CF::siteCardCode();
    const QByteArray none(6, char(0xFF));
    const struct
    {
        Type type;
        QByteArray first, second;
    } table[] = {{Type::NewCard, none, site},
                 {Type::Temporary, site, site},
                 {Type::Renewal, site, site},
                 {Type::Restore, site, none}};
    for (const auto& row : table) {
        b.SetCommandType(row.type);
        QCOMPARE(b.at(0), quint8(0x09));
        QCOMPARE(b.bytes().mid(2, 6), row.first);
        QCOMPARE(b.bytes().mid(8, 6), row.second);
    }
    const QByteArray before = b.bytes();
    b.SetCommandType(Type::Unknown);
    QCOMPARE(b.bytes(), before);

    b.setRange(7);
    QCOMPARE(b.at(1), quint8(0x0F));
    b.setRange(12);
    QCOMPARE(b.at(1), quint8(0x0F));
    b.setRange(-1);
    QCOMPARE(b.at(1), quint8(0x08));
}

void CommandBufferTest::newCardExample()
{
    CommandBuffer b = issued(request({1, 3}, Type::NewCard, QDate(2026, 12, 20)));
    QCOMPARE(b.bytes().toHex(' '), k27::test::newCardExample().toHex(' '));
    QCOMPARE(b.at(110), quint8(0x10 ^ siteXor()));

    const QString december = QStringLiteral("2026：十二月");
    for (int n = 0; n <= k27::MaxRecordedTerminal; ++n)
        QCOMPARE(b.validityText()[n], n == 1 || n == 3 ? december : QString());

    // A second start with the same choices sends the same bytes.
    const QByteArray first = b.bytes();
    QCOMPARE(b.prepareIssue(request({1, 3}, Type::NewCard, QDate(2026, 12, 20))), Check::Ready);
    QVERIFY(b.completeIssue(m_language));
    QCOMPARE(b.bytes(), first);
}

void CommandBufferTest::restoreExample()
{
    // Ticks only fill the restore list: the frame clears the whole range.
    for (const QList<int>& ticks : {QList<int>{95, 100}, QList<int>{}}) {
        CommandBuffer b = issued(request({1}, Type::NewCard, QDate(2026, 1, 1)));
        b.SetCommandType(Type::Restore);
        b.setRange(2);
        b.prepareRestore(ticks, 2);
        QVERIFY(b.completeRestore());
        QCOMPARE(b.bytes().toHex(' '), k27::test::restoreExample().toHex(' '));
        QCOMPARE(b.at(110), quint8(0x03 ^ siteXor()));
        for (int n = 0; n <= k27::MaxRecordedTerminal; ++n) {
            QCOMPARE(b.restoreList()[n], ticks.contains(n) ? QString::number(n) : QString());
            QVERIFY(b.validityText()[n].isEmpty());
        }
    }
}

void CommandBufferTest::slotsAndValidityBytes()
{
    // Last terminal of the second range.
    CommandBuffer b = issued(request({92}, Type::NewCard, QDate(2026, 3, 1), false, 0, 1));
    QCOMPARE(b.at(1), quint8(0x09));
    QCOMPARE(b.at(14 + 45), quint8(0x2D));
    QCOMPARE(b.at(62 + 45), quint8(0x3A));
    QCOMPARE(b.validityText()[92], QStringLiteral("2026：三月"));
    QCOMPARE(CF::validateFrame(b.bytes()), CF::Validation::Ok);

    // Permanent: month nibble 0, the permanent text, the year still sent.
    b = issued(request({7}, Type::NewCard, QDate(2030, 5, 9), true, 42));
    QCOMPARE(b.at(62 + 6), quint8(0x0A));
    QCOMPARE(b.at(108), quint8(22));
    QCOMPARE(b.at(109), quint8(42));
    QCOMPARE(b.validityText()[7], QStringLiteral("永久有效"));
    b = issued(request({7}, Type::Temporary, QDate(2030, 5, 9), true, 42));
    QCOMPARE(b.at(62 + 6), quint8(0x0B));
    QCOMPARE(b.at(109), quint8(9));
    QCOMPARE(b.validityText()[7], QStringLiteral("永久有效"));

    // Renewal: shared code blocks, issue nibble, identification code in byte 109.
    b = issued(request({5}, Type::Renewal, QDate(2026, 12, 31), false, 7));
    QCOMPARE(b.bytes().toHex(' '), sharedBlocksExample(0xCA, 7).toHex(' '));

    // Grid order does not matter; every ticked terminal gets the same validity.
    b = issued(request({40, 2, 17, 2}, Type::NewCard, QDate(2027, 1, 1), false, 0, 7));
    QList<int> granted;
    for (int i = 0; i < 46; ++i) {
        if (b.at(14 + i) != 0xFF) {
            QCOMPARE(b.at(14 + i), quint8(i));
            QCOMPARE(b.at(62 + i), quint8(0x1A));
            granted << 46 * 7 + i + 1;
        }
    }
    QCOMPARE(granted, (QList<int>{324, 339, 362}));
    QCOMPARE(b.validityText()[362], QStringLiteral("2027：一月"));

    k27::LanguageTable english;
    QVERIFY(english.loadFile(qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/res/English.lag")));
    QCOMPARE(b.prepareIssue(request({1}, Type::NewCard, QDate(2026, 2, 1))), Check::Ready);
    QVERIFY(b.completeIssue(english));
    QCOMPARE(b.validityText()[1], QStringLiteral("2026：February"));
}

void CommandBufferTest::temporaryCarriesTheDay()
{
    CommandBuffer b = issued(request({5}, Type::Temporary, QDate(2026, 3, 15), false, 200));
    QCOMPARE(b.at(14 + 4), quint8(0x04));
    QCOMPARE(b.at(62 + 4), quint8(0x3B));
    QCOMPARE(b.at(108), quint8(0x12));
    QCOMPARE(b.at(109), quint8(0x0F));
    QCOMPARE(b.bytes().toHex(' '), sharedBlocksExample(0x3B, 15).toHex(' '));
    QCOMPARE(b.validityText()[5], QStringLiteral("2026：三月")); // the day is not part of it
}

void CommandBufferTest::nothingTickedStopsAfterLayout()
{
    CommandBuffer b = issued(request({1, 3}, Type::NewCard, QDate(2026, 12, 1)));
    const QByteArray sent = b.bytes();
    // Zero and negative numbers are empty cells of the grid.
    for (const QList<int>& ticks : {QList<int>{}, QList<int>{0, -4}}) {
        QCOMPARE(b.prepareIssue(request(ticks, Type::NewCard, QDate(2031, 6, 1), false, 9, 3)), Check::NoTerminal);
        QVERIFY(!b.completeIssue(m_language));
        for (int i = 0; i < 46; ++i) {
            QCOMPARE(b.at(14 + i), quint8(0xFF));
            QCOMPARE(b.at(62 + i), quint8(0xFF));
        }
        QCOMPARE(b.bytes().left(14), sent.left(14)); // range byte untouched
        QCOMPARE(b.bytes().mid(108), sent.mid(108)); // year, code, checksum untouched
        QVERIFY(b.validityText()[1].isEmpty());
    }
}

void CommandBufferTest::refusedYearsAndCodes()
{
    CommandBuffer b = issued(request({1}, Type::NewCard, QDate(2026, 12, 1)));
    const QByteArray before = b.bytes();
    for (const QDate& date : {QDate(2008, 12, 31), QDate(2264, 1, 1), QDate(1999, 5, 5), QDate()}) {
        QCOMPARE(b.prepareIssue(request({1}, Type::NewCard, date)), Check::YearOutOfRange);
        QCOMPARE(b.bytes(), before);
        QVERIFY(!b.completeIssue(m_language));
    }
    // Also for a permanent card: its year byte is sent all the same.
    QCOMPARE(b.prepareIssue(request({1}, Type::NewCard, QDate(2300, 1, 1), true)), Check::YearOutOfRange);
    for (int code : {-1, 256})
        QCOMPARE(b.prepareIssue(request({1}, Type::NewCard, QDate(2026, 1, 1), false, code)),
                 Check::BadIdentificationCode);
    QCOMPARE(b.bytes(), before);
    QVERIFY(!b.validityText()[1].isEmpty());

    QCOMPARE(issued(request({1}, Type::NewCard, QDate(2009, 1, 1), false, 255)).at(108), quint8(0x01));
    QCOMPARE(issued(request({1}, Type::NewCard, QDate(2009, 1, 1), false, 255)).at(109), quint8(0xFF));
    QCOMPARE(issued(request({1}, Type::NewCard, QDate(2262, 12, 31))).at(108), quint8(0xFE));
    QCOMPARE(b.prepareIssue(request({1}, Type::NewCard, QDate(2263, 1, 1))), Check::YearOutOfRange);
}

void CommandBufferTest::identificationCodeFromText()
{
    const struct
    {
        const char* text;
        int code;
    } cases[] = {{"00", 0},    {"0", 0},  {"255", 255},   {"256", -1},   {"-1", -1},     {"abc", 0}, {"", 0},
                 {"12ab", 12}, {" 7", 7}, {"254.5", 255}, {"255.4", -1}, {"254.4", 254}, {"0.4", 0}, {"-0.2", -1}};
    for (const auto& c : cases) {
        const std::optional<int> code = CommandBuffer::identificationCode(QString::fromUtf8(c.text));
        QCOMPARE(code.value_or(-1), c.code);
    }
}

void CommandBufferTest::completeNeedsAPreparedFrame()
{
    CommandBuffer b = chosen(Type::NewCard, 0);
    QVERIFY(!b.completeIssue(m_language));
    QVERIFY(!b.completeRestore());
    QCOMPARE(b.prepareIssue(request({1}, Type::NewCard, QDate(2026, 1, 1))), Check::Ready);
    QVERIFY(!b.completeRestore()); // an issue is waiting, not a restore
    QVERIFY(b.completeIssue(m_language));
    QVERIFY(!b.completeIssue(m_language)); // once only
    b.prepareRestore({}, 0);
    QVERIFY(!b.completeIssue(m_language));
    QVERIFY(b.completeRestore());
}

void CommandBufferTest::sendWithoutDevice()
{
    // Port 0 is no port: nothing opens, nothing is written, the checksum is in place.
    QTemporaryDir dir;
    k27::SerialPort port;
    port.setProgramFolder(dir.path());
    port.setPortNumber(0);
    CommandBuffer b = chosen(Type::NewCard, 0);
    QCOMPARE(b.prepareIssue(request({1, 3}, Type::NewCard, QDate(2026, 12, 1))), Check::Ready);
    QVERIFY(b.completeIssue(m_language));
    QVERIFY(!k27::SendFrame(port, b));
    QCOMPARE(CF::validateFrame(b.bytes()), CF::Validation::Ok);
    QVERIFY(!k27::SendStop(port));
    QVERIFY(!port.isOpen());
}

QTEST_GUILESS_MAIN(CommandBufferTest)
#include "CommandBufferTest.moc"
