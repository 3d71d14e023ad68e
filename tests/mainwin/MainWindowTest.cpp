// The main window's load sequence, rights, page selection, close request and activation.

#include "DemoData.h"
#include "FakeDevice.h"
#include "MainWindowFixture.h"

#include "cardholders/CardholderPage.h"
#include "issuing/IssuingPage.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "platform/Grid.h"
#include "platform/SerialPort.h"
#include "records/RecordPage.h"
#include "ribbon/VelRibbon.h"
#include "terminals/TerminalPage.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace k27;
using namespace k27::test;

using k27::test::FakeDevice;

namespace {

QStringList dropDown(Grid* grid, int col)
{
    return grid->dropDownList(col);
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void loadSequenceShowsTheRegistersOnTheFirstPage();
    void loadSequenceSetsTheGridHeadersFromTheLanguage();
    void englishChangesTitleGenderAndRanges();
    void languageSwitchRetitlesTheBarButKeepsItsTabs();
    void ordinaryOperatorGetsTheFifteenButtonsDisabled();
    void issuingTabClearsSearchTicksAndTarget();
    void cardholderTabClearsItsSearch();
    void closeRequestYesEndsAfterBackupAndStop();
    void closeRequestNoKeepsTheWindowOpen_data();
    void closeRequestNoKeepsTheWindowOpen();
    void failedActivationWarnsOncePerStart();
    void secondActivationWhileOpenDoesNothing();
    void filterSearchesWithLikePatterns();
};

void MainWindowTest::loadSequenceShowsTheRegistersOnTheFirstPage()
{
    MainWindowFixture fx;
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(!db.hasTable(QStringLiteral("进出记录")));
        QVERIFY(seedDemoData(db, 12, 50));
    }
    Frmmain w(*fx.context);
    QVERIFY(w.isInitialised());
    QCOMPARE(w.windowTitle(), QStringLiteral("K27中心发卡门禁管理系统"));
    QCOMPARE(w.currentPage(), 0);
    QCOMPARE(w.page(0)->objectName(), QStringLiteral("Picture1"));
    QCOMPARE(w.page(4)->property("index").toInt(), 4);

    // A frame for a new card on terminals 1-46 stands ready.
    const QByteArray& buffer = w.commandBuffer().bytes();
    QCOMPARE(buffer.size(), 111);
    QCOMPARE(quint8(buffer[0]), quint8(0x09));
    QCOMPARE(quint8(buffer[1]), quint8(8));
    QCOMPARE(buffer.mid(8, 6), CardFrame::siteCardCode());
    for (int i = 2; i <= 110; ++i)
        if (i < 8 || i > 13)
            QCOMPARE(quint8(buffer[i]), quint8(i == 60 ? 46 : i == 61 ? 47 : 0xFF));

    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QVERIFY(db.hasTable(QStringLiteral("进出记录")));

    // Cardholders without card first, then those with one; GridU draws the view.
    Grid* gridU = w.cardholderPage()->GridU;
    QCOMPARE(gridU->rows(), 13);
    QVERIFY(gridU->cellText(1, 7).isEmpty());
    QVERIFY(!gridU->cellText(12, 7).isEmpty());
    QCOMPARE(w.issuingPage()->GridU2->rows(), 13);
    QCOMPARE(w.terminalPage()->GridM->rows(), 51);
    QCOMPARE(w.terminalPage()->GridM->cellText(7, 1), QStringLiteral("0007"));

    // Terminal grid of range 0: 1..16, 17..32, 33..46, two empty cells at the end.
    IssuingPage* issuing = w.issuingPage();
    Grid* z = issuing->GridZ;
    QCOMPARE(z->rows(), 17);
    QCOMPARE(z->cellText(1, 2), QStringLiteral("1"));
    QCOMPARE(z->cellText(16, 6), QStringLiteral("32"));
    QCOMPARE(z->cellText(14, 10), QStringLiteral("46"));
    QVERIFY(z->cellText(15, 10).isEmpty());
    QCOMPARE(z->cellText(1, 3), w.terminals().addressOf(1));
    QVERIFY(!z->cellText(1, 3).isEmpty());
    QCOMPARE(z->cellText(1, 1), QStringLiteral("0"));

    QCOMPARE(issuing->CmbNo->currentIndex(), 0);
    QCOMPARE(issuing->CmbNo->itemText(0), QStringLiteral("01到46"));
    QCOMPARE(issuing->CmbNo->itemText(7), QStringLiteral("323到368"));
    QVERIFY(issuing->OptN->isChecked());
    QCOMPARE(issuing->DT1->date(), QDate::currentDate());
    QCOMPARE(w.recordPage()->DT[0]->dateTime(), QDateTime(QDate::currentDate(), QTime(0, 0)));
    QCOMPARE(w.recordPage()->DT[1]->dateTime(), QDateTime(QDate(2011, 3, 15), QTime(0, 0)));
    QCOMPARE(w.cardholderPage()->Combo1->currentText(), QStringLiteral("男"));
    QVERIFY(w.timer1()->isActive()); // the one-shot redraw after the list loads
    QTRY_VERIFY(!w.timer1()->isActive());
}

void MainWindowTest::loadSequenceSetsTheGridHeadersFromTheLanguage()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    const LanguageTable& l = fx.context->language;
    for (Grid* g : {w.cardholderPage()->GridU, w.issuingPage()->GridU2}) {
        QCOMPARE(g->cols(), 10);
        for (int c = 0; c <= 9; ++c)
            QCOMPARE(g->headerText(c), l.message(75 + c));
        QCOMPARE(g->columnKind(8), Grid::ColumnKind::DropDown);
        QCOMPARE(g->columnWidth(5), 240);
    }
    Grid* m = w.terminalPage()->GridM;
    QCOMPARE(m->cols(), 3);
    QCOMPARE(m->headerText(2), l.message(87));

    Grid* z = w.issuingPage()->GridZ;
    QCOMPARE(z->cols(), 13);
    QStringList validity;
    for (int n = 20; n <= 31; ++n)
        validity << l.message(n);
    validity << l.message(19);
    for (int first : {1, 5, 9}) {
        QCOMPARE(z->columnKind(first), Grid::ColumnKind::CheckBox);
        QCOMPARE(z->headerMergeOf(first), std::make_pair(first, first + 1));
        QCOMPARE(z->headerText(first + 1), l.message(88));
        QCOMPARE(z->columnKind(first + 3), Grid::ColumnKind::DropDown);
        QCOMPARE(dropDown(z, first + 3), validity);
        QVERIFY(z->isColumnHidden(first + 3));
    }
    QVERIFY(z->isColumnHidden(0));

    Grid* io = w.recordPage()->GridIO;
    QCOMPARE(io->cols(), 9);
    const int headers[] = {75, 104, 111, 76, 78, 80, 86, 89, 82};
    for (int c = 0; c < 9; ++c)
        QCOMPARE(io->headerText(c), l.message(headers[c]));

    // No typing replaces a shown value: only the entry time of the record list is retyped,
    // the cardholder lists offer their lists.
    const struct
    {
        Grid* grid;
        QList<int> editable;
    } grids[] = {{w.cardholderPage()->GridU, {8, 9}},
                 {w.issuingPage()->GridU2, {8, 9}},
                 {m, {}},
                 {io, {1}},
                 {w.findChild<Grid*>(QStringLiteral("GridP")), {}}};
    for (const auto& g : grids)
        for (int c = 1; c < g.grid->cols(); ++c)
            QVERIFY2(g.grid->isColumnEditable(c) == g.editable.contains(c),
                     qPrintable(g.grid->objectName() + QString::number(c)));
}

void MainWindowTest::englishChangesTitleGenderAndRanges()
{
    MainWindowFixture fx(2);
    Frmmain w(*fx.context);
    QCOMPARE(w.windowTitle(), QStringLiteral("K27 Center Entrance Guard Management System"));
    QComboBox* gender = w.cardholderPage()->Combo1;
    QCOMPARE(gender->count(), 2);
    QCOMPARE(gender->itemText(0), QStringLiteral("man"));
    QCOMPARE(w.issuingPage()->CmbNo->itemText(1), QStringLiteral("47-92"));
    QCOMPARE(w.cardholderPage()->GridU->headerText(1), fx.context->language.message(76));
    QVERIFY(!w.issuingPage()->btnStart->text().contains(QStringLiteral("发卡")));

    // Back to Simplified Chinese: the range texts and the gender list return.
    fx.context->settings.language = 0;
    fx.context->loadLanguage();
    w.applyMainLanguage();
    QCOMPARE(w.issuingPage()->CmbNo->itemText(1), QStringLiteral("47到92"));
    QCOMPARE(gender->itemText(1), QStringLiteral("女"));
    QCOMPARE(w.windowTitle(), QStringLiteral("K27中心发卡门禁管理系统"));
}

void MainWindowTest::languageSwitchRetitlesTheBarButKeepsItsTabs()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    const QString firstTab = w.ribbon()->tabCaption(0);
    auto* language = w.findChild<QComboBox*>(QStringLiteral("CmbLag"));
    language->setCurrentIndex(2);
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("btnlag")), Qt::LeftButton);
    // The bar is the frameless window's title bar: it shows the new title.
    QCOMPARE(w.windowTitle(), QStringLiteral("Entrance Guard Management System"));
    QCOMPARE(w.ribbon()->caption(), w.windowTitle());
    QCOMPARE(w.ribbon()->tabCaption(0), firstTab);
    QCOMPARE(w.cardholderPage()->Combo1->currentText(), QStringLiteral("man"));
}

void MainWindowTest::ordinaryOperatorGetsTheFifteenButtonsDisabled()
{
    for (const bool administrator : {true, false}) {
        MainWindowFixture fx(0, administrator);
        Frmmain w(*fx.context);
        int found = 0;
        for (const QString& name : Frmmain::administratorButtons()) {
            for (QWidget* b : w.findChildren<QWidget*>(name)) {
                ++found;
                if (name == QLatin1String("BtnUpdate") || name == QLatin1String("cmdUpU"))
                    QVERIFY2(!b->isEnabled(), qPrintable(name)); // only after choosing a row
                else
                    QVERIFY2(b->isEnabled() == administrator, qPrintable(name));
            }
        }
        QVERIFY(found >= 11); // the settings page brings the remaining four
        // Lists, prints, record import/export and the search stay open to everybody.
        for (const char* open : {"btnPrint", "cmdPrint", "BtnFind", "btnInputD", "btnOutD", "btnCls"})
            QVERIFY2(w.findChild<QWidget*>(QLatin1String(open))->isEnabled(), open);
    }
}

void MainWindowTest::issuingTabClearsSearchTicksAndTarget()
{
    for (const bool administrator : {true, false}) {
        MainWindowFixture fx(0, administrator);
        {
            Database db;
            QVERIFY(db.open(fx.databasePath()));
            QVERIFY(seedDemoData(db, 9, 10, 0));
        }
        Frmmain w(*fx.context);
        IssuingPage* issuing = w.issuingPage();
        for (int pass = 0; pass < 2; ++pass) { // choosing the tab twice clears each time
            issuing->CmbF[0]->setEditText(QStringLiteral("张"));
            issuing->CmbF[3]->setEditText(QStringLiteral("科技园"));
            issuing->txtUser->setText(QStringLiteral("张伟"));
            issuing->OptO->setChecked(true);
            issuing->GridZ->setCellText(3, 1, QStringLiteral("1"));
            issuing->GridZ->setCellText(16, 9, QStringLiteral("1"));
            issuing->btnStart->setEnabled(!administrator);

            w.TabClick(QStringLiteral("3"));
            QCOMPARE(w.currentPage(), 2);
            for (QComboBox* f : issuing->CmbF)
                QVERIFY(f->currentText().isEmpty());
            QVERIFY(issuing->txtUser->text().isEmpty());
            QVERIFY(issuing->OptN->isChecked());
            for (int row = 1; row <= 16; ++row)
                for (int col : {1, 5, 9})
                    QCOMPARE(issuing->GridZ->cellText(row, col), QStringLiteral("0"));
            QCOMPARE(issuing->GridU2->rows(), 10);
            QCOMPARE(issuing->btnStart->isEnabled(), administrator);
        }
        w.TabClick(QStringLiteral("2"));
        QCOMPARE(w.currentPage(), 1);
        w.TabClick(QStringLiteral("5"));
        QCOMPARE(w.currentPage(), 4);
        w.TabClick(QStringLiteral("9")); // no such tab: nothing happens
        QCOMPARE(w.currentPage(), 4);
    }
}

void MainWindowTest::cardholderTabClearsItsSearch()
{
    MainWindowFixture fx;
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(seedDemoData(db, 9, 10, 0));
    }
    Frmmain w(*fx.context);
    CardholderPage* page = w.cardholderPage();
    page->CmbF[0]->setEditText(QStringLiteral("张")); // a search as the operator types it
    QCOMPARE(page->GridU->rows(), 2);
    QCOMPARE(page->GridU->cellText(1, 1).trimmed(), QStringLiteral("张伟"));
    w.TabClick(QStringLiteral("4"));
    QCOMPARE(page->GridU->rows(), 2); // leaving the page keeps the list
    w.TabClick(QStringLiteral("1"));
    QVERIFY(page->CmbF[0]->currentText().isEmpty());
    QCOMPARE(page->GridU->rows(), 10);
}

void MainWindowTest::closeRequestYesEndsAfterBackupAndStop()
{
    MainWindowFixture fx;
    FakeDevice device(fx.folder.path());
    fx.context->settings.port = 1;
    Frmmain w(*fx.context);
    int backups = 0;
    w.setAutomaticBackup([&] { ++backups; });
    w.show();
    fx.dialogs.questionAnswers = {true};
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].text, fx.context->message(55));
    QCOMPARE(fx.dialogs.calls[0].kind, ScriptedDialogs::Kind::Question);
    QCOMPARE(backups, 1);
    QCOMPARE(device.received(1), QByteArray(1, 0x0D));
}

void MainWindowTest::closeRequestNoKeepsTheWindowOpen_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::newRow("administrator") << true;
    QTest::newRow("ordinary operator") << false;
}

void MainWindowTest::closeRequestNoKeepsTheWindowOpen()
{
    QFETCH(bool, administrator);
    MainWindowFixture fx(0, administrator);
    FakeDevice device(fx.folder.path());
    fx.context->settings.port = 1;
    Frmmain w(*fx.context);
    int backups = 0;
    w.setAutomaticBackup([&] { ++backups; });
    w.show();
    IssuingPage* issuing = w.issuingPage();
    issuing->btnStop->setEnabled(true);
    issuing->btnStart->setEnabled(false);

    QVERIFY(!w.close()); // unscripted question: No
    QVERIFY(w.isVisible());
    QCOMPARE(backups, administrator ? 1 : 0);
    QCOMPARE(device.received(1), QByteArray(1, 0x0D));
    QVERIFY(w.serialPort().isOpen()); // the stop opened the port and leaves it open
    QVERIFY(!issuing->btnStop->isEnabled());
    QCOMPARE(issuing->btnStart->isEnabled(), administrator);
    QCOMPARE(issuing->Lbltip->text(), fx.context->message(108));
    QVERIFY(!w.issuingActive());
}

void MainWindowTest::failedActivationWarnsOncePerStart()
{
    MainWindowFixture fx; // port field 0: no valid port
    Frmmain w(*fx.context);
    QWidget other;
    other.show();
    w.show();
    QTest::qWait(50); // let the platform's own activations settle
    QApplication::setActiveWindow(&other);
    QTRY_VERIFY(!w.isActiveWindow());
    QApplication::setActiveWindow(&w);
    QTRY_COMPARE(fx.dialogs.calls.size(), 1);
    // The warning says why and which device was meant.
    const QString noPort = fx.context->message(210).replace(QStringLiteral("%1"), fx.context->message(211));
    QCOMPARE(fx.dialogs.calls[0].text, fx.context->message(50) + u'\n' + noPort);
    QCOMPARE(fx.dialogs.calls[0].icon, Dialogs::Icon::Warning);
    QTest::qWait(20);
    QCOMPARE(fx.dialogs.calls.size(), 1);

    // Later activations try again without a word; an applied setting still warns.
    for (int i = 0; i < 2; ++i) {
        QApplication::setActiveWindow(&other);
        QTRY_VERIFY(!w.isActiveWindow());
        QApplication::setActiveWindow(&w);
        QTRY_VERIFY(w.isActiveWindow());
    }
    QTest::qWait(20);
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QVERIFY(!w.serialPort().isOpen());
    fx.context->settings.port = 2; // dev/COM2 points nowhere
    QDir(fx.folder.path()).mkpath(QStringLiteral("dev"));
    QFile::link(fx.folder.filePath(QStringLiteral("gone")), fx.folder.filePath(QStringLiteral("dev/COM2")));
    w.OpenDevicePort();
    QCOMPARE(fx.dialogs.calls.size(), 2);
    QVERIFY2(
        fx.dialogs.calls[1].text.endsWith(QStringLiteral("COM2 (%1)").arg(fx.folder.filePath(QStringLiteral("gone")))),
        qPrintable(fx.dialogs.calls[1].text));

    // Coming back from one of the program's own modal boxes is no new activation.
    QDialog box(&w);
    box.setModal(true);
    box.show();
    QApplication::setActiveWindow(&box);
    QTRY_VERIFY(!w.isActiveWindow());
    box.hide();
    QApplication::setActiveWindow(&w);
    QTest::qWait(20);
    QCOMPARE(fx.dialogs.calls.size(), 2);
}

void MainWindowTest::secondActivationWhileOpenDoesNothing()
{
    MainWindowFixture fx;
    FakeDevice device(fx.folder.path());
    fx.context->settings.port = 1;
    fx.context->serialSettings = QStringLiteral("19200,n,8,1");
    Frmmain w(*fx.context);
    QWidget other;
    other.show();
    w.show();
    QTest::qWait(50);
    QApplication::setActiveWindow(&w);
    QTRY_VERIFY(w.serialPort().isOpen());
    QCOMPARE(w.serialPort().settings(), QStringLiteral("19200,n,8,1"));
    QApplication::setActiveWindow(&other);
    QTRY_VERIFY(!w.isActiveWindow());
    fx.context->serialSettings = QStringLiteral("9600,n,8,1");
    QApplication::setActiveWindow(&w);
    QTRY_VERIFY(w.isActiveWindow());
    QTest::qWait(20);
    QVERIFY(w.serialPort().isOpen());
    QCOMPARE(w.serialPort().settings(), QStringLiteral("19200,n,8,1")); // not reconfigured
    QVERIFY(fx.dialogs.calls.isEmpty());

    // A language switch closes the port until the next activation.
    w.applyMainLanguage();
    QVERIFY(!w.serialPort().isOpen());
}

void MainWindowTest::filterSearchesWithLikePatterns()
{
    MainWindowFixture fx;
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        const QVariantList rows[] = {
            {QStringLiteral("张三 "), QString(), QVariant()}, // no card, Null terminals
            {QStringLiteral("李四 "), QStringLiteral("0000012345"), QStringLiteral("5、17、")},
            {QStringLiteral("王五 "), QStringLiteral("0000067890"), QString()},
        };
        for (const QVariantList& r : rows)
            QVERIFY(db.exec(QStringLiteral("insert into 用户信息 (姓名, 部门, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                                           " values (?, 'A', 'B', '1', ?, ?, 'X、Y、')"),
                            r));
    }
    Frmmain w(*fx.context);
    CardholderTable& t = w.cardholders();
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.rowText(1, 1), QStringLiteral("张三 ")); // without card first
    QVERIFY(t.rowText(1, 8).isEmpty());                 // Null terminal list
    QCOMPARE(t.rowText(2, 8), QStringLiteral("5"));
    QCOMPARE(t.rowText(2, 9), QStringLiteral("X"));
    QCOMPARE(t.rowText(3, 8), QStringLiteral("      ")); // empty terminal list

    CardholderPage* page = w.cardholderPage();
    page->CmbF[1]->setEditText(QStringLiteral("1"));
    QCOMPARE(page->GridU->rows(), 2);                           // only 0000012345 contains 1
    page->CmbF[1]->setEditText(QStringLiteral("0000#####0  ")); // # is a digit, trailing blanks ignored
    QCOMPARE(page->GridU->rows(), 2);
    QCOMPARE(page->GridU->cellText(1, 1), QStringLiteral("王五 "));
    page->CmbF[1]->setEditText(QString());
    page->CmbF[0]->setEditText(QStringLiteral("[张王]?"));
    QCOMPARE(page->GridU->rows(), 3);

    w.issuingPage()->OptO->click(); // renewals list card holders only
    QCOMPARE(w.issuingPage()->GridU2->rows(), 3);
    w.issuingPage()->OptN->click();
    QCOMPARE(w.issuingPage()->GridU2->rows(), 4);

    // A search on the cardholder page leaves the issuing list (whose row gets the next card) alone.
    Grid* issuingList = w.issuingPage()->GridU2;
    const QString firstTarget = issuingList->cellText(1, 1);
    page->CmbF[0]->setEditText(QStringLiteral("王"));
    QCOMPARE(page->GridU->rows(), 2);
    QCOMPARE(issuingList->rows(), 4);
    QCOMPARE(issuingList->cellText(1, 1), firstTarget);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
