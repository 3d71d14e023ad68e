// The issuing page inside the main window: terminal grid, target selection and ticks,
// searches, the start button's checks and questions, the device's replies (through a
// pseudo-terminal) and one run end to end with the device simulator.

#include "../mainwin/MainWindowFixture.h"
#include "FakeDevice.h"

#include "issuing/CardFrame.h"
#include "issuing/DeviceReplyHandler.h"
#include "issuing/IssuingController.h"
#include "issuing/IssuingPage.h"
#include "cardholders/CardholderPage.h"
#include "records/RecordPage.h"
#include "db/DatabaseSession.h"
#include "mainwin/Frmmain.h"
#include "pagehost/ProgressPanel.h"
#include "platform/Grid.h"
#include "platform/SerialPort.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTableView>
#include <QTest>

#include <optional>
#include <unistd.h>

using namespace k27;
using namespace k27::test;
using Call = ScriptedDialogs::Call;

using k27::test::FakeDevice;

namespace {

const QColor Green = IssuingPage::SuccessColour;
const QColor Red = IssuingPage::FailureColour;

struct Holder
{
    QString card, terminals, validity;
    bool operator==(const Holder&) const = default;
};

// Four cardholders as GridU2 lists them: 张三 and 赵六 without card, then 李四 and 王五.
// Terminals 1..60 except 7.
void seed(const QString& path)
{
    Database db;
    QVERIFY(db.open(path));
    const QVariantList rows[] = {
        {QStringLiteral("张三 "), QStringLiteral("111"), QString(), QStringLiteral("3、50、"),
         QStringLiteral("2027：一月、2027：二月、")},
        {QStringLiteral("李四 "), QStringLiteral("222"), QStringLiteral("0000054321"), QStringLiteral("5、9、"),
         QStringLiteral("A、B、")},
        {QStringLiteral("王五 "), QStringLiteral("333"), QStringLiteral("0000067890"), QString(), QString()},
        {QStringLiteral("赵六 "), QStringLiteral("444"), QString(), QVariant(), QVariant()},
    };
    for (const QVariantList& r : rows)
        QVERIFY(db.exec(
            QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                           " values (?1, '男', 'D', 'J', 'A', ?2, ?3, ?4, ?5)"),
            r));
    for (int t = 1; t <= 60; ++t)
        if (t != 7)
            QVERIFY(db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (?, ?)"),
                            {t, QStringLiteral("门%1").arg(t)}));
}

Holder stored(const QString& path, const QString& name)
{
    Holder h;
    Database db;
    if (!db.open(path))
        return h;
    db.query(QStringLiteral("select 卡号, 权限终端机, 时间期限 from 用户信息 where rtrim(姓名) = ?"), {name},
             [&](const Row& r) {
                 h = {r.text(0), r.text(1), r.text(2)};
                 return false;
             });
    return h;
}

int rowOf(Grid* grid, const QString& name)
{
    for (int r = 1; r < grid->rows(); ++r)
        if (grid->cellText(r, 1).trimmed() == name)
            return r;
    return 0;
}

// The row notification of the grid, as a click or an arrow key raises it.
void select(Frmmain& w, const QString& name)
{
    Grid* grid = w.issuingPage()->GridU2;
    const int row = rowOf(grid, name);
    QVERIFY2(row > 0, qPrintable(name));
    grid->setCurrentCell(row, 1);
}

void clearCurrent(Grid* grid)
{
    grid->view()->setCurrentIndex(QModelIndex());
}

void tickOnly(IssuingPage* page, const QList<int>& numbers)
{
    page->clearTicks();
    for (int row = 1; row <= IssuingPage::GridZRows; ++row)
        for (int group = 0; group < 3; ++group) {
            const int col = IssuingPage::tickColumn(group);
            if (numbers.contains(page->GridZ->cellText(row, col + 1).toInt()))
                page->GridZ->setCellText(row, col, QStringLiteral("1"));
        }
}

void chooseRange(IssuingPage* page, int range)
{
    page->CmbNo->setCurrentIndex(range);
    emit page->CmbNo->activated(range);
}

// The window over the seeded register, with the fake device as COM1 when the test talks to it.
struct IssuingWindow : MainWindowFixture
{
    std::optional<FakeDevice> device;
    std::optional<Frmmain> window;

    explicit IssuingWindow(bool withDevice = true)
    {
        seed(databasePath());
        if (withDevice) {
            device.emplace(folder.path()); // a start counts only when the frame is written
            context->settings.port = 1;
        }
        window.emplace(*context);
    }
};

QString dated(const LanguageTable& l, int year, int month)
{
    return QString::number(year) + QStringLiteral("：") + l.message(19 + month);
}

} // namespace

class IssuingPageTest : public QObject
{
    Q_OBJECT

private slots:
    void rangeLayoutAndMissingTerminal();
    void commandTypesSetTheCodeBlocksAndTheList();
    void selectingAHolderTicksHisTerminalsOfTheShownRange();
    void searchingAFullCardNumberSelectsItsHolder();
    void identificationCodeBounds_data();
    void identificationCodeBounds();
    void startChecksAndQuestions();
    void restoreWithAnEmptyListSendsWithoutTarget();
    void deviceGoneNothingSentButtonsStay_data();
    void deviceGoneNothingSentButtonsStay();
    void repliesShowInTheStatusLine();
    void writtenCardIsRecordedMergedOrRefused();
    void cardWrittenDuringTheMismatchBoxIsNotLost();
    void reloadDuringARunKeepsTheTarget();
    void cardReadFillsBothSearchesAndSelectsTheHolder();
    void cardWrittenDuringARunIsStoredAndShown_data();
    void cardWrittenDuringARunIsStoredAndShown();
    void issuingRunWithTheSimulator();
};

void IssuingPageTest::rangeLayoutAndMissingTerminal()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    Grid* z = page->GridZ;
    QVERIFY(z->cellText(7, 3).isEmpty()); // terminal 7 is not registered
    QCOMPARE(z->cellText(6, 3), QStringLiteral("门6"));

    // A missing terminal can still be ticked and issued.
    select(w, QStringLiteral("赵六"));
    tickOnly(page, {7});
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QVERIFY(w.issuingActive());
    QCOMPARE(w.commandBuffer().at(CardFrame::TerminalSlotOffset + 6), quint8(6));

    chooseRange(page, 1);
    // Terminal 7's tick would now stand for terminal 53: a new range starts without ticks
    // (赵六 has no terminals of his own to tick).
    QVERIFY(page->tickedTerminals().isEmpty());
    const int expected[][3] = {{1, 2, 47}, {16, 2, 62}, {1, 6, 63}, {16, 6, 78}, {1, 10, 79}, {14, 10, 92}};
    for (const auto& [row, col, number] : expected)
        QCOMPARE(z->cellText(row, col), QString::number(number));
    QVERIFY(z->cellText(15, 10).isEmpty());
    QVERIFY(z->cellText(16, 10).isEmpty());
    QVERIFY(z->cellText(15, 11).isEmpty());
    QCOMPARE(z->cellText(14, 3), QStringLiteral("门60"));
    QVERIFY(z->cellText(15, 3).isEmpty()); // 61 and up are not registered
    QCOMPARE(w.commandBuffer().at(CardFrame::RangeOffset), quint8(0x09));
    for (int i = 0; i < 46; ++i) // the slots of the last frame are reset
        QCOMPARE(w.commandBuffer().at(CardFrame::TerminalSlotOffset + i), quint8(0xFF));
}

void IssuingPageTest::commandTypesSetTheCodeBlocksAndTheList()
{
    IssuingWindow fx(false);
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    const QByteArray site = CardFrame::siteCardCode();
    const QByteArray empty(6, char(0xFF));
    QCOMPARE(page->GridU2->rows(), 5);

    page->OptO->click(); // renewals: only holders with a card
    QCOMPARE(page->GridU2->rows(), 3);
    QCOMPARE(page->GridU2->cellText(1, 1).trimmed(), QStringLiteral("李四"));
    QCOMPARE(w.commandBuffer().bytes().mid(2, 12), site + site);
    page->OptR->click();
    QCOMPARE(page->GridU2->rows(), 3);
    QCOMPARE(w.commandBuffer().bytes().mid(2, 12), site + empty);
    page->OptT->click();
    QCOMPARE(page->GridU2->rows(), 5);
    QCOMPARE(w.commandBuffer().bytes().mid(2, 12), site + site);
    page->OptN->click();
    QCOMPARE(w.commandBuffer().bytes().mid(2, 12), empty + site);
    QCOMPARE(w.commandBuffer().at(0), quint8(0x09));

    // The issuing tab selects the new card again.
    page->OptR->click();
    w.TabClick(QStringLiteral("3"));
    QVERIFY(page->OptN->isChecked());
    QCOMPARE(w.commandBuffer().bytes().mid(2, 12), empty + site);
    QCOMPARE(page->GridU2->rows(), 5);
}

void IssuingPageTest::selectingAHolderTicksHisTerminalsOfTheShownRange()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();

    select(w, QStringLiteral("张三")); // terminals 3 and 50
    QCOMPARE(page->tickedTerminals(), QList<int>{3});
    QCOMPARE(page->txtUser->text().trimmed(), QStringLiteral("张三"));
    QCOMPARE(w.issuing()->holderTerminals(), (QStringList{"3", "50", ""}));

    select(w, QStringLiteral("王五")); // no terminals: ticks stay
    QCOMPARE(page->tickedTerminals(), QList<int>{3});
    QCOMPARE(page->txtUser->text().trimmed(), QStringLiteral("王五"));
    select(w, QStringLiteral("赵六")); // Null terminals: ticks stay
    QCOMPARE(page->tickedTerminals(), QList<int>{3});

    select(w, QStringLiteral("李四")); // outside a run his ticks replace the others
    QCOMPARE(page->tickedTerminals(), (QList<int>{5, 9}));

    // A range change ticks the target's terminals of the new range.
    select(w, QStringLiteral("张三"));
    chooseRange(page, 1);
    QCOMPARE(page->tickedTerminals(), QList<int>{50});
    chooseRange(page, 0);
    QCOMPARE(page->tickedTerminals(), QList<int>{3});

    // During a run a second holder's terminals are added.
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QVERIFY(w.issuingActive());
    QVERIFY(!page->btnStart->isEnabled());
    QVERIFY(page->btnStop->isEnabled());
    QCOMPARE(page->Lbltip->text(), fx.context->message(108));
    select(w, QStringLiteral("李四"));
    QCOMPARE(page->tickedTerminals(), (QList<int>{3, 5, 9}));

    // Double-click selects too.
    page->GridU2->setCurrentCell(rowOf(page->GridU2, QStringLiteral("王五")), 3);
    page->txtUser->clear();
    emit page->GridU2->doubleClicked();
    QCOMPARE(page->txtUser->text().trimmed(), QStringLiteral("王五"));

    // Drop-downs of columns 8 and 9 offer the holder's lists and keep the pair together.
    Grid* u2 = page->GridU2;
    const int li = rowOf(u2, QStringLiteral("李四"));
    u2->setCurrentCell(li, 8);
    emit u2->clicked();
    QCOMPARE(u2->dropDownList(8), (QStringList{"5", "9"}));
    u2->setCellText(li, 8, QStringLiteral("9"));
    emit u2->dropDownChosen(8);
    QCOMPARE(u2->cellText(li, 9), QStringLiteral("B"));
    u2->setCurrentCell(li, 9);
    emit u2->clicked();
    QCOMPARE(u2->dropDownList(9), (QStringList{"A", "B"}));
    u2->setCellText(li, 9, QStringLiteral("A"));
    emit u2->dropDownChosen(9);
    QCOMPARE(u2->cellText(li, 8), QStringLiteral("5"));
}

void IssuingPageTest::searchingAFullCardNumberSelectsItsHolder()
{
    IssuingWindow fx(false);
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    Grid* u2 = page->GridU2;

    page->CmbF[1]->setEditText(QStringLiteral("0000054321"));
    QCOMPARE(u2->rows(), 2);
    QCOMPARE(u2->currentRow(), 1);
    QCOMPARE(page->txtUser->text().trimmed(), QStringLiteral("李四"));
    QCOMPARE(page->tickedTerminals(), (QList<int>{5, 9}));

    // A text that matches nobody leaves no target.
    page->CmbF[1]->setEditText(QStringLiteral("99999"));
    QCOMPARE(u2->rows(), 1);
    QVERIFY(page->txtUser->text().isEmpty());

    // Part of a number that leaves one holder: he becomes the target, and his row is the
    // one a written card is recorded for.
    page->CmbF[1]->setEditText(QStringLiteral("6789"));
    QCOMPARE(u2->rows(), 2);
    QCOMPARE(u2->currentRow(), 1);
    QCOMPARE(page->txtUser->text().trimmed(), QStringLiteral("王五"));

    // The name field searches too.
    page->CmbF[1]->setEditText(QString());
    clearCurrent(u2);
    page->CmbF[0]->setEditText(QStringLiteral("张"));
    QCOMPARE(u2->rows(), 2);
    QCOMPARE(u2->cellText(1, 1).trimmed(), QStringLiteral("张三"));
}

void IssuingPageTest::identificationCodeBounds_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("message");
    QTest::newRow("256") << "256" << 106;
    QTest::newRow("-1") << "-1" << 106;
    QTest::newRow("255") << "255" << 107;
    QTest::newRow("0") << "0" << 107;
    QTest::newRow("letters") << "ab" << 107;
}

void IssuingPageTest::identificationCodeBounds()
{
    QFETCH(QString, code);
    QFETCH(int, message);
    IssuingWindow fx(false);
    Frmmain& w = *fx.window;
    w.issuingPage()->TxtC->setText(code);
    w.issuingPage()->btnStart->click(); // no target: a code that passes meets 107
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].text, fx.context->message(message));
    QCOMPARE(fx.dialogs.calls[0].icon, message == 106 ? Dialogs::Icon::Warning : Dialogs::Icon::None);
    QVERIFY(!w.issuingActive());
}

void IssuingPageTest::startChecksAndQuestions()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    const LanguageTable& l = fx.context->language;
    const auto lastTexts = [&] { return fx.dialogs.messageTexts(); };

    select(w, QStringLiteral("赵六"));
    page->btnStart->click(); // nothing ticked
    QCOMPARE(lastTexts(), QStringList{l.message(109)});
    QCOMPARE(fx.dialogs.calls[0].icon, Dialogs::Icon::Warning);

    fx.dialogs.clear();
    tickOnly(page, {2, 17, 46});
    page->DT1->setDate(QDate(2026, 3, 15));
    page->btnStart->click(); // validity question answered No
    QCOMPARE(lastTexts(), QStringList{l.message(110) + QStringLiteral("2026-3")});
    QVERIFY(!w.issuingActive());
    QVERIFY(page->btnStart->isEnabled());

    fx.dialogs.clear();
    page->Check1->click();
    QVERIFY(!page->DT1->isEnabled());
    page->btnStart->click();
    QCOMPARE(lastTexts(), QStringList{l.message(110) + page->Check1->text()});
    page->Check1->click();
    QVERIFY(page->DT1->isEnabled());

    fx.dialogs.clear();
    page->DT1->setDate(QDate(2264, 1, 1)); // the year byte cannot hold it
    page->btnStart->click();
    QCOMPARE(lastTexts(), QStringList{l.message(138)});

    fx.dialogs.clear();
    page->DT1->setDate(QDate(2026, 12, 1));
    page->OptO->click(); // renewal asks first; 赵六 has no card
    QCOMPARE(page->GridU2->rows(), 3);
    select(w, QStringLiteral("李四"));
    page->btnStart->click();
    QCOMPARE(lastTexts(), QStringList{l.message(67)});

    fx.dialogs.clear();
    fx.dialogs.questionAnswers = {true, true};
    tickOnly(page, {2, 17, 46});
    page->btnStart->click();
    QCOMPARE(lastTexts(), (QStringList{l.message(67), l.message(110) + QStringLiteral("2026-12")}));
    QVERIFY(w.issuingActive());
    const CommandBuffer& b = w.commandBuffer();
    QCOMPARE(b.at(CardFrame::ValiditySlotOffset + 16), quint8(0xCA));
    QCOMPARE(b.at(CardFrame::YearOffset), quint8(0x12));
    QCOMPARE(b.validityText()[17], dated(l, 2026, 12));
    QVERIFY(b.validityText()[3].isEmpty());
    QCOMPARE(CardFrame::validateFrame(b.bytes()), CardFrame::Validation::Ok);

    // No target at all.
    page->btnStop->click();
    fx.dialogs.clear();
    page->txtUser->clear();
    page->btnStart->click();
    QCOMPARE(lastTexts(), QStringList{l.message(107)});
}

void IssuingPageTest::deviceGoneNothingSentButtonsStay_data()
{
    QTest::addColumn<bool>("portOpen"); // the port was open when the device went away
    QTest::addColumn<bool>("inRun");    // the device goes during a run: the stop fails
    QTest::newRow("start, link dangling") << false << false;
    QTest::newRow("start, open port lost") << true << false;
    QTest::newRow("stop, link dangling") << false << true;
    QTest::newRow("stop, open port lost") << true << true;
}

// A frame or stop that never reached the device must not say "command sent": the operator
// is told, and the buttons and the run stay as they were before the click.
void IssuingPageTest::deviceGoneNothingSentButtonsStay()
{
    QFETCH(bool, portOpen);
    QFETCH(bool, inRun);
    IssuingWindow fx;
    std::optional<FakeDevice>& device = fx.device;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    const LanguageTable& l = fx.context->language;
    select(w, QStringLiteral("张三"));
    fx.dialogs.questionAnswers = {true};
    if (inRun) {
        page->btnStart->click();
        QVERIFY(w.issuingActive());
        QCOMPARE(device->received(111).size(), 111);
    }
    w.OpenDevicePort();
    QCOMPARE(w.serialPort().isOpen(), true);
    if (!portOpen)
        w.serialPort().close();
    device.reset();
    page->showTip(QStringLiteral("before"));
    fx.dialogs.clear();
    fx.dialogs.questionAnswers = {true};

    (inRun ? page->btnStop : page->btnStart)->click();
    QCOMPARE(fx.dialogs.calls.last().text, l.message(145));
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::Warning);
    QCOMPARE(page->Lbltip->text(), QStringLiteral("before"));
    QCOMPARE(w.issuingActive(), inRun);
    QCOMPARE(page->btnStart->isEnabled(), !inRun);
    QCOMPARE(page->btnStop->isEnabled(), inRun);
    QCOMPARE(w.runs().active(), inRun);
}

void IssuingPageTest::restoreWithAnEmptyListSendsWithoutTarget()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    const LanguageTable& l = fx.context->language;

    page->OptR->click();
    page->btnStart->click(); // cardholders listed, none chosen
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{l.message(107)});

    fx.dialogs.clear();
    page->CmbF[0]->setEditText(QStringLiteral("nobody"));
    QCOMPARE(page->GridU2->rows(), 1);
    tickOnly(page, {5});
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].text, l.message(101));
    QCOMPARE(fx.dialogs.calls[0].title, l.message(102));
    const QByteArray frame = device.received(111);
    QCOMPARE(frame.size(), 111);
    QCOMPARE(CardFrame::commandType(frame), CardFrame::CommandType::Restore);
    QCOMPARE(quint8(frame[CardFrame::YearOffset]), quint8(0xFF));
    QCOMPARE(quint8(frame[CardFrame::TerminalSlotOffset + 45]), quint8(45));
    QCOMPARE(w.commandBuffer().restoreList()[5], QStringLiteral("5"));
    QVERIFY(w.issuingActive());

    page->btnStop->click();
    QCOMPARE(device.received(1), QByteArray(1, 0x0D));
    QVERIFY(!w.issuingActive());
    QVERIFY(page->btnStart->isEnabled());
    QVERIFY(!page->btnStop->isEnabled());
    QCOMPARE(page->Lbltip->text(), l.message(108));
    QCOMPARE(page->tipColour(), Green);
}

void IssuingPageTest::repliesShowInTheStatusLine()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    w.OpenDevicePort();
    QVERIFY(w.serialPort().isOpen());
    IssuingPage* page = w.issuingPage();
    const LanguageTable& l = fx.context->language;

    device.send(QByteArray::fromHex("AA00"));
    QTRY_COMPARE(page->Lbltip->text(), l.message(51));
    QCOMPARE(page->tipColour(), Green);
    device.send(QByteArray::fromHex("00AA"));
    QTRY_COMPARE(page->Lbltip->text(), l.message(52));
    QCOMPARE(page->tipColour(), Red);
    device.send(QByteArray::fromHex("AA00"));
    QTRY_COMPARE(page->Lbltip->text(), l.message(51));
    device.send(QByteArray::fromHex("BBBBBBCD39300000")); // wrong head
    QTRY_COMPARE(page->Lbltip->text(), l.message(54));
    QCOMPARE(page->tipColour(), Red);

    // Other lengths only refresh the list: a holder added meanwhile appears.
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话) values ('新人 ', '9')")));
        QVERIFY(w.cardholders().load(db)); // the table only: the list shows it after the reply
    }
    const int before = page->GridU2->rows();
    device.send(QByteArray::fromHex("010203"));
    QTRY_COMPARE(page->GridU2->rows(), before + 1);
    QCOMPARE(page->Lbltip->text(), l.message(54));
}

void IssuingPageTest::writtenCardIsRecordedMergedOrRefused()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    const LanguageTable& l = fx.context->language;
    const QString path = fx.databasePath();

    // 李四 holds 5、9、 / A、B、; a new frame grants 9 with December 2026.
    select(w, QStringLiteral("李四"));
    tickOnly(page, {9});
    page->DT1->setDate(QDate(2026, 12, 1));
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QCOMPARE(device.received(111).size(), 111);
    device.send(CardFrame::cardWrittenReply(54321)); // his own number: no mismatch
    QTRY_COMPARE(page->Lbltip->text(), l.message(53) + QStringLiteral("0000054321"));
    QCOMPARE(page->tipColour(), Green);
    QCOMPARE(stored(path, QStringLiteral("李四")), (Holder{"0000054321", "5、9、", "A、" + dated(l, 2026, 12) + "、"}));

    // A second start abandoned at its question changes nothing the device writes: the run's
    // cards are still recorded with terminal 9 of the frame that was sent.
    w.TabClick(QStringLiteral("3"));
    select(w, QStringLiteral("李四"));
    tickOnly(page, {20});
    fx.dialogs.questionAnswers = {false};
    page->btnStart->click();
    QVERIFY(w.issuingActive());

    // The next card of the run goes to whoever is selected then: 张三 (3、50、) gets 9 too.
    select(w, QStringLiteral("张三"));
    device.send(CardFrame::cardWrittenReply(12345));
    QTRY_COMPARE(stored(path, QStringLiteral("张三")).card, QStringLiteral("0000012345"));
    QCOMPARE(stored(path, QStringLiteral("张三")),
             (Holder{"0000012345", "3、9、50、",
                     dated(l, 2027, 1) + "、" + dated(l, 2026, 12) + "、" + dated(l, 2027, 2) + "、"}));
    // The lists were reloaded: his row now sits among the card holders.
    QCOMPARE(page->GridU2->cellText(rowOf(page->GridU2, QStringLiteral("张三")), 7), QStringLiteral("0000012345"));

    // Another number for a holder who has one: box 99, nothing written.
    select(w, QStringLiteral("李四"));
    fx.dialogs.clear();
    device.send(CardFrame::cardWrittenReply(777));
    QTRY_COMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].text, l.message(99));
    QCOMPARE(fx.dialogs.calls[0].kind, ScriptedDialogs::Kind::Message);
    QCOMPARE(page->Lbltip->text(), l.message(54));
    QCOMPARE(page->tipColour(), Red);
    QCOMPARE(stored(path, QStringLiteral("李四")).card, QStringLiteral("0000054321"));
    QVERIFY(!w.deviceReplies()->commBusy());

    // A restore of terminal 9 removes it from 李四's lists.
    page->btnStop->click();
    QCOMPARE(device.received(1), QByteArray(1, 0x0D));
    fx.dialogs.questionAnswers = {true};
    page->OptR->click();
    select(w, QStringLiteral("李四"));
    tickOnly(page, {9});
    page->btnStart->click();
    QCOMPARE(device.received(111).size(), 111);
    device.send(CardFrame::cardWrittenReply(54321));
    QTRY_COMPARE(stored(path, QStringLiteral("李四")).terminals, QStringLiteral("5、"));
    QCOMPARE(stored(path, QStringLiteral("李四")).validity, QStringLiteral("A、"));

    // No target: the card is only reported.
    clearCurrent(page->GridU2);
    device.send(CardFrame::cardWrittenReply(4242));
    QTRY_COMPARE(page->Lbltip->text(), l.message(53) + QStringLiteral("0000004242"));
}

void IssuingPageTest::reloadDuringARunKeepsTheTarget()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    const QString path = fx.databasePath();
    select(w, QStringLiteral("赵六"));
    tickOnly(page, {9});
    page->DT1->setDate(QDate(2026, 12, 1));
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QCOMPARE(device.received(111).size(), 111);

    // An import (or a deletion, a restore) reloads the table during the run: a new first row
    // moves everybody down, and the next card still goes to 赵六.
    {
        Database db;
        QVERIFY(db.open(path));
        QVERIFY(db.exec(QStringLiteral("insert into 用户信息 (姓名, 电话) values ('丁一 ', '9')")));
    }
    w.LoadCardholders();
    device.send(CardFrame::cardWrittenReply(4242));
    QTRY_COMPARE(stored(path, QStringLiteral("赵六")).card, QStringLiteral("0000004242"));
    QVERIFY(stored(path, QStringLiteral("丁一")).card.isEmpty());

    // A target who is gone gets nobody in his place: the card is only reported.
    {
        Database db;
        QVERIFY(db.open(path));
        QVERIFY(db.exec(QStringLiteral("delete from 用户信息 where trim(姓名) = '赵六'")));
    }
    w.LoadCardholders();
    QVERIFY(page->txtUser->text().isEmpty());
    device.send(CardFrame::cardWrittenReply(5151));
    QTRY_COMPARE(page->Lbltip->text(), fx.context->language.message(53) + QStringLiteral("0000005151"));
    Database db;
    QVERIFY(db.open(path));
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from 用户信息 where 卡号 = '0000005151'")).toInt(), 0);
}

void IssuingPageTest::cardWrittenDuringTheMismatchBoxIsNotLost()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    w.OpenDevicePort();
    IssuingPage* page = w.issuingPage();
    select(w, QStringLiteral("李四"));
    bool sentDuringBox = false;
    fx.dialogs.onMessage = [&](const Call&) {
        if (sentDuringBox)
            return;
        sentDuringBox = true;
        QVERIFY(w.deviceReplies()->commBusy());
        // The operator reselects and the device writes the next card while the box is open.
        select(w, QStringLiteral("赵六"));
        device.send(CardFrame::cardWrittenReply(31337));
        QTest::qWait(250);
    };
    device.send(CardFrame::cardWrittenReply(777));
    QTRY_VERIFY(sentDuringBox);
    QTRY_COMPARE(stored(fx.databasePath(), QStringLiteral("赵六")).card, QStringLiteral("0000031337"));
    QCOMPARE(stored(fx.databasePath(), QStringLiteral("李四")).card, QStringLiteral("0000054321"));
    QCOMPARE(page->Lbltip->text(), fx.context->message(53) + QStringLiteral("0000031337"));
}

void IssuingPageTest::cardReadFillsBothSearchesAndSelectsTheHolder()
{
    IssuingWindow fx;
    FakeDevice& device = *fx.device;
    Frmmain& w = *fx.window;
    w.OpenDevicePort();
    IssuingPage* page = w.issuingPage();
    CardholderPage* holders = w.cardholderPage();
    page->CmbF[0]->setEditText(QStringLiteral("张"));
    page->CmbF[2]->setEditText(QStringLiteral("D"));
    holders->CmbF[3]->setEditText(QStringLiteral("A"));

    device.send(CardFrame::cardReadReply(54321));
    QTRY_COMPARE(page->CmbF[1]->currentText(), QStringLiteral("0000054321"));
    QCOMPARE(holders->CmbF[1]->currentText(), QStringLiteral("0000054321"));
    for (int i : {0, 2, 3}) {
        QVERIFY(page->CmbF[i]->currentText().isEmpty());
        QVERIFY(holders->CmbF[i]->currentText().isEmpty());
    }
    QCOMPARE(page->GridU2->rows(), 2);
    QCOMPARE(page->GridU2->currentRow(), 1);
    QCOMPARE(page->txtUser->text().trimmed(), QStringLiteral("李四"));
    QCOMPARE(page->tickedTerminals(), (QList<int>{5, 9}));
}

void IssuingPageTest::cardWrittenDuringARunIsStoredAndShown_data()
{
    QTest::addColumn<bool>("duringExport");
    // An export may run beside the issuing run: the card is recorded as it comes.
    QTest::newRow("record export beside the issuing run") << true;
    // An import holds its transaction open between commits: the card waits for its end.
    QTest::newRow("run that writes") << false;
}

void IssuingPageTest::cardWrittenDuringARunIsStoredAndShown()
{
    QFETCH(bool, duringExport);
    IssuingWindow fx;
    Frmmain& w = *fx.window;
    IssuingPage* page = w.issuingPage();
    QPushButton* startRun = nullptr;
    if (duringExport) {
        QByteArray lines;
        for (int i = 0; i < 3000; ++i)
            lines += QStringLiteral("0007,C%1,2024-05-01,08:%2:%3,星期三\r\n")
                         .arg(i)
                         .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                         .arg(i % 60, 2, 10, QLatin1Char('0'))
                         .toUtf8();
        QFile file(fx.folder.filePath(QStringLiteral("records.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lines) == lines.size());
        file.close();
        fx.dialogs.fileAnswers << file.fileName();
        w.recordPage()->btnInputD->click();
        w.recordPage()->find();
        select(w, QStringLiteral("赵六"));
        tickOnly(page, {9});
        fx.dialogs.questionAnswers = {true};
        page->btnStart->click();
        QCOMPARE(fx.device->received(111).size(), 111);
        fx.dialogs.fileAnswers << fx.folder.filePath(QStringLiteral("out.csv"));
        startRun = w.recordPage()->btnOutD;
    } else {
        w.OpenDevicePort();
        select(w, QStringLiteral("赵六"));
        // A run that writes, its transaction open: the card waits for its end, not failed.
        RunGuard::Scope run = w.runs().start(RunGuard::Run::CardholderImport);
        Database* db = fx.context->databases().runs();
        QVERIFY(db && db->exec(QStringLiteral("begin immediate")));
        QVERIFY(db->exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (99, 'x')")));
        fx.device->send(CardFrame::cardWrittenReply(4242));
        QTest::qWait(3 * DeviceReplyHandler::ReplyWaitMs);
        QVERIFY(stored(fx.databasePath(), QStringLiteral("赵六")).card.isEmpty());
        QVERIFY(page->Lbltip->text() != fx.context->message(54));
        QVERIFY(db->exec(QStringLiteral("commit")));
    }
    if (startRun) {
        // The device writes a card once the run's progress is up.
        bool sent = false;
        QTimer whileRunning;
        connect(&whileRunning, &QTimer::timeout, this, [&] {
            if (!sent && !w.progressPanel()->isHidden()) {
                sent = true;
                fx.device->send(CardFrame::cardWrittenReply(4242));
            }
        });
        whileRunning.start(0);
        startRun->click();
        whileRunning.stop();
        QVERIFY(sent);
    }
    QTRY_COMPARE(stored(fx.databasePath(), QStringLiteral("赵六")).card, QStringLiteral("0000004242"));
    QTRY_COMPARE(page->Lbltip->text(), fx.context->message(53) + QStringLiteral("0000004242"));
    QCOMPARE(page->tipColour(), Green);
}

void IssuingPageTest::issuingRunWithTheSimulator()
{
    MainWindowFixture fx;
    seed(fx.databasePath());
    QProcess sim;
    QByteArray log;
    connect(&sim, &QProcess::readyReadStandardOutput, this, [&] { log += sim.readAllStandardOutput(); });
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(K27_DEVICE_SIM), {QStringLiteral("--folder"), fx.folder.path(), QStringLiteral("--port"),
                                               QStringLiteral("1"), QStringLiteral("--gap"), QStringLiteral("30")});
    QVERIFY(sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("ready "), 5000);
    const auto finish = qScopeGuard([&] {
        sim.write("quit\n");
        if (!sim.waitForFinished(5000))
            sim.kill();
    });

    fx.context->settings.port = 1;
    Frmmain w(*fx.context);
    w.show();
    w.TabClick(QStringLiteral("3"));
    IssuingPage* page = w.issuingPage();
    const LanguageTable& l = fx.context->language;

    select(w, QStringLiteral("赵六"));
    tickOnly(page, {3, 46});
    page->DT1->setDate(QDate(2026, 12, 31));
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("frame accepted: new card; range 0 (terminals 1-46); "
                                          "terminals 3 month 12, 46 month 12; year 2026; day/id 0"),
                             5000);
    QTRY_COMPARE(page->Lbltip->text(), l.message(51));
    QCOMPARE(page->tipColour(), Green);

    sim.write("write 12345\n");
    QTRY_COMPARE(page->Lbltip->text(), l.message(53) + QStringLiteral("0000012345"));
    QCOMPARE(page->tipColour(), Green);
    QCOMPARE(stored(fx.databasePath(), QStringLiteral("赵六")),
             (Holder{"0000012345", "3、46、", dated(l, 2026, 12) + "、" + dated(l, 2026, 12) + "、"}));
    QCOMPARE(w.cardholders().rowText(w.cardholders().rowCount(), 1).trimmed(), QStringLiteral("赵六"));
    // His row moved among the card holders; he stays the target.
    QCOMPARE(page->GridU2->currentRow(), rowOf(page->GridU2, QStringLiteral("赵六")));
    QCOMPARE(page->GridU2->currentRow(), 4);
    QCOMPARE(page->txtUser->text().trimmed(), QStringLiteral("赵六"));
    QCOMPARE(page->tickedTerminals(), (QList<int>{3, 46}));

    select(w, QStringLiteral("王五")); // has 0000067890
    fx.dialogs.clear();
    sim.write("write 12346\n");
    QTRY_COMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].text, l.message(99));
    QCOMPARE(stored(fx.databasePath(), QStringLiteral("王五")).card, QStringLiteral("0000067890"));

    sim.write("read 12345\n");
    QTRY_COMPARE(page->txtUser->text().trimmed(), QStringLiteral("赵六"));
    QCOMPARE(page->CmbF[1]->currentText(), QStringLiteral("0000012345"));

    page->btnStop->click();
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("stop received; writing ended"), 5000);
    QVERIFY(page->btnStart->isEnabled());
    QVERIFY(!page->btnStop->isEnabled());
    QCOMPARE(page->Lbltip->text(), l.message(108));
    QCOMPARE(page->tipColour(), Green);
}

QTEST_MAIN(IssuingPageTest)
#include "IssuingPageTest.moc"
