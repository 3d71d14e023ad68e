// One long run at a time across the main window: while an import waits at its duplicate
// question, or while an issuing run is open, every button that would start another run
// says so and starts nothing. The waiting question answers Enter and Escape.

#include "FakeDevice.h"
#include "MainWindowFixture.h"
#include "Workbooks.h"

#include "cardholders/CardholderPage.h"
#include "issuing/IssuingPage.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "platform/Grid.h"
#include "records/RecordPage.h"
#include "terminals/TerminalPage.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

using namespace k27;
using namespace k27::test;

namespace {

QString storedAddress(const QString& dbPath, int number)
{
    Database db;
    QString address;
    if (db.open(dbPath))
        db.query(QStringLiteral("select 地址 from 终端机 where 终端机号 = ?"), {number}, [&](const Row& r) {
            address = r.text(0);
            return false;
        });
    return address;
}

// Every button that starts a long run, by page.
QList<QPushButton*> startButtons(Frmmain& w)
{
    return {w.cardholderPage()->btnInput,
            w.cardholderPage()->btndel,
            w.terminalPage()->cmdIn,
            w.terminalPage()->cmdD,
            w.recordPage()->btnInputD,
            w.recordPage()->BtnDelD,
            w.issuingPage()->btnStart,
            w.findChild<QPushButton*>(QStringLiteral("btnbak")),
            w.findChild<QPushButton*>(QStringLiteral("dcButton2")),
            w.findChild<QPushButton*>(QStringLiteral("cmdDelU"))};
}

// Clicks each start button; answers the names of those that did anything but refuse.
QStringList notRefused(Frmmain& w, ScriptedDialogs& dialogs, const QString& refusal, QPushButton* except = nullptr)
{
    QStringList out;
    for (QPushButton* button : startButtons(w)) {
        if (button == except)
            continue;
        const qsizetype before = dialogs.calls.size();
        button->click();
        const bool refused = dialogs.calls.size() == before + 1 && dialogs.calls.last().text == refusal
                             && dialogs.calls.last().icon == Dialogs::Icon::Warning;
        if (!refused)
            out << button->objectName();
    }
    return out;
}

} // namespace

class OneRunTest : public QObject
{
    Q_OBJECT

private slots:
    void duplicateQuestionHoldsTheRunAndTakesTheKeys_data();
    void duplicateQuestionHoldsTheRunAndTakesTheKeys();
    void issuingRunHoldsUntilStopped();
};

void OneRunTest::duplicateQuestionHoldsTheRunAndTakesTheKeys_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("address");
    QTest::newRow("Escape skips") << QList<int>{Qt::Key_Escape} << QStringLiteral("old");
    // Enter on the question as it opens keeps the stored row; overwriting is a choice of its own.
    QTest::newRow("Enter skips") << QList<int>{Qt::Key_Return} << QStringLiteral("old");
    QTest::newRow("Tab, Enter: skip all") << QList<int>{Qt::Key_Tab, Qt::Key_Enter} << QStringLiteral("old");
    QTest::newRow("Shift+Tab, Enter: replace all")
        << QList<int>{Qt::Key_Backtab, Qt::Key_Enter} << QStringLiteral("new");
    // 0: the window is closed, and the run stopped: the question goes, its row is skipped.
    QTest::newRow("close, stop the run") << QList<int>{0} << QStringLiteral("old");
}

void OneRunTest::duplicateQuestionHoldsTheRunAndTakesTheKeys()
{
    QFETCH(QList<int>, keys);
    QFETCH(QString, address);
    MainWindowFixture fx;
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (1, 'old')")));
    }
    Frmmain w(*fx.context);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const QString refusal = fx.context->message(142);
    w.terminalPage()->workbookReader().setToolPath(workbookTool());
    const QString file = fx.folder.filePath(QStringLiteral("dup.xls"));
    QVERIFY(makeSheet1(file, {"终端机号", "地址"}, {QJsonArray{1, "new"}}));

    DuplicatePrompt* prompt = w.duplicatePrompt();
    QStringList started;
    QWidget* focused = nullptr;
    QTimer whileWaiting;
    QObject::connect(&whileWaiting, &QTimer::timeout, [&] {
        if (!prompt->isVisible())
            return;
        whileWaiting.stop();
        focused = QApplication::focusWidget();
        started = notRefused(w, fx.dialogs, refusal);
        for (int key : keys) {
            if (key == 0) {
                fx.dialogs.questionAnswers << true;
                w.close();
            } else {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            }
        }
    });
    whileWaiting.start(5);
    fx.dialogs.clear();
    fx.dialogs.fileAnswers << file;
    w.terminalPage()->cmdIn->click();

    QCOMPARE(started, QStringList{});
    QCOMPARE(focused, prompt->CmdTip[DuplicatePrompt::Skip]);
    QVERIFY(!prompt->isVisible());
    QCOMPARE(storedAddress(fx.databasePath(), 1), address);
    // The run is over: the next start goes ahead (a record import asks for its file).
    QVERIFY(!w.runs().active());
    fx.dialogs.clear();
    w.recordPage()->btnInputD->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].kind, ScriptedDialogs::Kind::OpenFile);
}

void OneRunTest::issuingRunHoldsUntilStopped()
{
    MainWindowFixture fx;
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(db.exec(QStringLiteral(
            "insert into 用户信息 (姓名, 电话, 权限终端机, 时间期限) values ('甲', '1', '3、', 'x、')")));
    }
    FakeDevice device(fx.folder.path());
    fx.context->settings.port = 1;
    Frmmain w(*fx.context);
    IssuingPage* page = w.issuingPage();
    page->GridU2->setCurrentCell(1, 1);
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QVERIFY(w.issuingActive());

    // Another start of the issuing run itself resends the frame; everything else is refused.
    page->btnStart->setEnabled(true);
    fx.dialogs.clear();
    QCOMPARE(notRefused(w, fx.dialogs, fx.context->message(142), page->btnStart), QStringList{});
    fx.dialogs.questionAnswers = {true};
    page->btnStart->click();
    QCOMPARE(fx.dialogs.calls.last().kind, ScriptedDialogs::Kind::Question);
    QVERIFY(w.issuingActive());
    // A record export only reads: it is not refused while cards are issued.
    fx.dialogs.clear();
    w.recordPage()->btnOutD->click();
    QVERIFY(!fx.dialogs.messageTexts().contains(fx.context->message(142)));
    QVERIFY(w.issuingActive());

    page->btnStop->click();
    QVERIFY(!w.runs().active());
    fx.dialogs.clear();
    w.terminalPage()->cmdIn->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].kind, ScriptedDialogs::Kind::OpenFile);
}

QTEST_MAIN(OneRunTest)
#include "OneRunTest.moc"
