// The main window without the mouse: Tab through every page and out of every grid, Enter on
// buttons and rows, the focus after an addition, and an issuing run from sign-in to the
// card written.

#include "DemoData.h"
#include "FakeDevice.h"
#include "MainWindowFixture.h"

#include "cardholders/CardholderPage.h"
#include "issuing/CardFrame.h"
#include "issuing/IssuingPage.h"
#include "mainwin/Frmmain.h"
#include "settings/SettingsPage.h"
#include "platform/Grid.h"
#include "signin/FrmLogin.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "terminals/TerminalPage.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace k27;
using namespace k27::test;

namespace {

// The control a focus stop belongs to, as the page names it: a grid for its table, a combo
// box for its line edit; array members carry their index ("CmbF4").
QString stopName(const QWidget* w)
{
    while (w && (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))))
        w = w->parentWidget();
    if (!w)
        return QStringLiteral("?");
    const QVariant index = w->property("index");
    return w->objectName()
           + (index.isValid() && w->objectName() != QLatin1String("Picture1") ? index.toString() : QString());
}

QWidget* focused()
{
    return QApplication::focusWidget();
}

void seed(MainWindowFixture& fx)
{
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QVERIFY(seedDemoData(db, 12, 50));
    QVERIFY(addOperator(db, {QStringLiteral("amy"), hashPassword(QStringLiteral("pw")), true, {}}));
}

// Every grid of the page with a current cell: a grid that keeps Tab would now trap it.
void makeCellsCurrent(QWidget* page)
{
    for (Grid* grid : page->findChildren<Grid*>())
        if (grid->isVisible() && grid->rows() > 1)
            grid->setCurrentCell(1, 1);
}

// One round of Tab (or Shift+Tab) from `first` back to it, as names of the stops (a date
// field's sections count once); "trapped" ends a round that never came back.
QStringList walk(QWidget* first, bool backwards)
{
    first->setFocus(Qt::TabFocusReason);
    QStringList stops{stopName(focused())};
    for (int i = 0; i < 80; ++i) {
        QTest::keyClick(focused(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                        backwards ? Qt::ShiftModifier : Qt::NoModifier);
        if (focused() == first || stopName(focused()) == stops.first())
            return stops;
        if (stopName(focused()) != stops.last())
            stops << stopName(focused());
    }
    return stops << QStringLiteral("trapped");
}

} // namespace

class KeyboardTest : public QObject
{
    Q_OBJECT

private slots:
    void tabWalksEveryPageInReadingOrder_data();
    void tabWalksEveryPageInReadingOrder();
    void enterPressesTheFocusedButton();
    void enterOrF2OnARowLoadsItForChange_data();
    void enterOrF2OnARowLoadsItForChange();
    void addLeavesTheFocusOnTheFirstField();
    void issuingRunByKeyboardAlone();
};

void KeyboardTest::tabWalksEveryPageInReadingOrder_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("cardholders") << 0 << QStringList{"TxtName",   "Combo1",   "TxtDp", "TxtJob",   "txtAd", "txtTel",
                                                     "btnInsert", "btnCls",   "CmbF0", "CmbF1",    "CmbF2", "CmbF3",
                                                     "btndel",    "btnInput", "btnEx", "btnPrint", "GridU"};
    QTest::newRow("terminals") << 1 << QStringList{"TxtNo", "TxtAdd",   "cmdAdd", "cmdD",
                                                   "cmdIn", "cmdPrint", "cmdEx",  "GridM"};
    QTest::newRow("issuing") << 2 << QStringList{"CmbNo", "TxtC",  "DT1",   "Check1", "txtUser", "OptN",  "btnStart",
                                                 "CmbF4", "CmbF5", "CmbF6", "CmbF7",  "GridZ",   "GridU2"};
    QTest::newRow("records") << 3 << QStringList{"TxtCode",  "T_Name",  "T_Dpt",     "T_No",    "CKD",
                                                 "CKNum",    "BtnFind", "btnInputD", "BtnDelD", "btnOutD",
                                                 "btnChart", "btnLast", "GridIO"};
    QTest::newRow("settings") << 4 << QStringList{"btnbak",  "dcButton2", "CmbC",    "CmbS",    "cmdApply", "CmbLag",
                                                  "btnlag",  "OptReg0",   "btnReg",  "TxtN",    "OptR0",    "TxtP1",
                                                  "Txtmark", "TxtP2",     "cmdAddU", "cmdDelU", "GridP"};
}

// Left to right, top to bottom; out of every grid both ways; no stop that shows nothing.
void KeyboardTest::tabWalksEveryPageInReadingOrder()
{
    QFETCH(int, page);
    QFETCH(QStringList, order);
    MainWindowFixture fx;
    seed(fx);
    Frmmain w(*fx.context);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.TabClick(QString::number(page + 1));
    makeCellsCurrent(w.page(page));
    QWidget* first = w.page(page)->findChild<QWidget*>(order.first());
    QVERIFY(first);
    QCOMPARE(walk(first, false), order);
    QStringList reversed{order.first()};
    for (qsizetype i = order.size() - 1; i > 0; --i)
        reversed << order[i];
    QCOMPARE(walk(first, true), reversed);
}

// Every enabled button of every page, as Space already did.
void KeyboardTest::enterPressesTheFocusedButton()
{
    MainWindowFixture fx;
    seed(fx);
    Frmmain w(*fx.context);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    int pressed = 0;
    for (int page = 0; page < Frmmain::PageCount; ++page) {
        w.TabClick(QString::number(page + 1));
        for (QPushButton* button : w.page(page)->findChildren<QPushButton*>()) {
            if (!button->isVisible() || !button->isEnabled())
                continue;
            // Only the key is under test, not what the button does.
            disconnect(button, &QPushButton::clicked, nullptr, nullptr);
            QSignalSpy clicks(button, &QPushButton::clicked);
            button->setFocus(Qt::TabFocusReason);
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
                QTest::keyClick(button, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            QVERIFY2(clicks.size() == 2, qPrintable(button->objectName()));
            ++pressed;
        }
    }
    QVERIFY(pressed > 20);
}

void KeyboardTest::enterOrF2OnARowLoadsItForChange_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("F2") << int(Qt::Key_F2);
}

// As a double-click: the row's values in the entry fields and the change button ready.
void KeyboardTest::enterOrF2OnARowLoadsItForChange()
{
    QFETCH(int, key);
    MainWindowFixture fx;
    seed(fx);
    Frmmain w(*fx.context);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto* operators = w.settingsPage()->findChild<Grid*>(QStringLiteral("GridP"));
    const struct
    {
        int page;
        Grid* grid;
        std::function<QString()> loaded;
        QWidget* changeButton;
    } lists[] = {
        {0, w.cardholderPage()->GridU, [&] { return w.cardholderPage()->TxtName->text(); },
         w.cardholderPage()->BtnUpdate},
        {1, w.terminalPage()->GridM, [&] { return w.terminalPage()->TxtNo->text(); }, w.terminalPage()->cmdUp},
        {4, operators, [&] { return w.settingsPage()->findChild<QLineEdit*>(QStringLiteral("TxtN"))->text(); },
         w.settingsPage()->findChild<QPushButton*>(QStringLiteral("cmdUpU"))},
    };
    for (const auto& list : lists) {
        w.TabClick(QString::number(list.page + 1));
        list.grid->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list.grid->view(), Qt::Key_Down);
        QTest::keyClick(list.grid->view(), Qt::Key_Down);
        const int row = list.grid->currentRow();
        QVERIFY2(row >= 1 && !list.changeButton->isEnabled(), qPrintable(list.grid->objectName()));
        QTest::keyClick(list.grid->view(), Qt::Key(key));
        QCOMPARE(list.loaded(), list.grid->cellText(row, 1).trimmed());
        QVERIFY(list.changeButton->isEnabled());
        QCOMPARE(focused(), list.grid->view()); // no cell editor took the key
    }
}

// After an addition the next entry starts in the first field, by keyboard alone.
void KeyboardTest::addLeavesTheFocusOnTheFirstField()
{
    MainWindowFixture fx;
    seed(fx);
    Frmmain w(*fx.context);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const struct
    {
        int page;
        QStringList typed; // field names, then the add button
    } entries[] = {
        {0, {"TxtName", "TxtDp", "TxtJob", "txtAd", "txtTel", "btnInsert"}},
        {1, {"TxtNo", "TxtAdd", "cmdAdd"}},
        {4, {"TxtN", "TxtP1", "TxtP2", "cmdAddU"}},
    };
    fx.dialogs.clear(); // the warning about the port (there is none)
    for (const auto& entry : entries) {
        w.TabClick(QString::number(entry.page + 1));
        QWidget* page = w.page(entry.page);
        for (const QString& name : entry.typed.mid(0, entry.typed.size() - 1)) {
            auto* field = page->findChild<QWidget*>(name);
            field->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(field, name == QLatin1String("TxtNo") ? QStringLiteral("900") : QStringLiteral("New1"));
        }
        // Tab out of the address box rather than into it.
        if (entry.page == 1) {
            QTest::keyClick(focused(), Qt::Key_Tab);
            QCOMPARE(w.terminalPage()->TxtAdd->toPlainText(), QStringLiteral("New1"));
            QCOMPARE(stopName(focused()), QStringLiteral("cmdAdd"));
        }
        auto* add = page->findChild<QPushButton*>(entry.typed.last());
        add->setFocus(Qt::TabFocusReason);
        QTest::keyClick(add, Qt::Key_Return);
        QCOMPARE(stopName(focused()), entry.typed.first());
    }
    QVERIFY2(fx.dialogs.messageTexts().isEmpty(), qPrintable(fx.dialogs.messageTexts().join(u'|')));
}

// Sign-in, the issuing page, a terminal ticked, a target chosen, the run started and a card
// written: not one mouse click.
void KeyboardTest::issuingRunByKeyboardAlone()
{
    MainWindowFixture fx;
    seed(fx);
    FakeDevice device(fx.folder.path());
    fx.context->settings.port = 1;

    FrmLogin signIn(*fx.context);
    signIn.show();
    QVERIFY(QTest::qWaitForWindowActive(&signIn));
    QTest::keyClicks(focused(), QStringLiteral("pw"));
    QTest::keyClick(focused(), Qt::Key_Return);
    QCOMPARE(signIn.result(), int(QDialog::Accepted));
    QCOMPARE(fx.context->signedIn.name, QStringLiteral("amy"));
    signIn.close();

    Frmmain w(*fx.context);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(focused() ? focused() : &w, Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(w.currentPage(), 2);
    IssuingPage* page = w.issuingPage();
    const auto tabTo = [](const QString& name, bool backwards = false) {
        for (int i = 0; i < 30 && stopName(focused()) != name; ++i)
            QTest::keyClick(focused(), backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                            backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(stopName(focused()), name);
    };
    QCOMPARE(stopName(focused()), QStringLiteral("CmbNo")); // the page's first control
    tabTo(QStringLiteral("Check1"));
    QTest::keyClick(focused(), Qt::Key_Space); // permanent
    tabTo(QStringLiteral("GridZ"));
    QCOMPARE(page->GridZ->currentRow(), 1);
    QTest::keyClick(focused(), Qt::Key_Down);
    QTest::keyClick(focused(), Qt::Key_Space); // terminal 2
    tabTo(QStringLiteral("GridU2"));
    QTest::keyClick(focused(), Qt::Key_Down);
    const int target = page->GridU2->currentRow();
    QVERIFY(target >= 1);
    const QString name = page->GridU2->cellText(target, 1).trimmed();
    QCOMPARE(page->txtUser->text().trimmed(), name);
    tabTo(QStringLiteral("btnStart"), true);
    fx.dialogs.questionAnswers = {true, true, true};
    QTest::keyClick(focused(), Qt::Key_Return);
    QCOMPARE(page->tickedTerminals(), QList<int>{2});
    QCOMPARE(device.received(111).size(), 111);

    device.send(CardFrame::cardWrittenReply(4242));
    QTRY_VERIFY(page->Lbltip->text().endsWith(QStringLiteral("0000004242")));
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QString card;
    db.query(QStringLiteral("select 卡号 from 用户信息 where rtrim(姓名) = ?"), {name}, [&](const Row& r) {
        card = r.text(0);
        return false;
    });
    QCOMPARE(card, QStringLiteral("0000004242"));
}

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
