#include "MainWindowFixture.h"
#include "TestRegister.h"
#include "cardholders/CardholderPage.h"
#include "db/RegisterLock.h"
#include "db/RegisterWatch.h"
#include "startup/Messages.h"
#include "issuing/IssuingPage.h"
#include "records/RecordPage.h"
#include "terminals/TerminalPage.h"
#include "mainwin/Frmmain.h"
#include "platform/Grid.h"

#include <QTableView>
#include <QtTest>

using namespace k27;

// A change made on another desk shows on the open lists of this one without a click.
class LiveViewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!test::onServer())
            QSKIP("needs a server register");
    }

    void otherDesksChangesShowKeepingThePlace()
    {
        test::ServerSchema server;
        QString error;
        QVERIFY2(createProgramDatabase(server.url(), &error), qPrintable(error));
        Database other;
        QVERIFY(other.open(server.url()));
        for (int i = 0; i < 40; ++i)
            QVERIFY(other.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES (?, ?)"),
                               {QStringLiteral("m%1").arg(i, 2, 10, QLatin1Char('0')), QString::number(i)}));
        test::MainWindowFixture fx;
        fx.context->setRegister(server.url());
        Frmmain w(*fx.context);
        w.show();
        w.activateWindow();
        Grid* grid = w.cardholderPage()->GridU;
        QCOMPARE(grid->rows(), 41);
        grid->setCurrentCell(20, 1);
        const QString chosen = grid->cellText(20, 1);

        // Rows come above the chosen one: it stays chosen, wherever it is now.
        QTest::qWait(500); // the watch is listening
        QElapsedTimer shown;
        shown.start();
        QVERIFY(other.exec(QStringLiteral("INSERT INTO 用户信息 (姓名, 电话) VALUES ('a1', '1'), ('a2', '2')")));
        QTRY_COMPARE_WITH_TIMEOUT(grid->rows(), 43, 1000);
        QVERIFY(shown.elapsed() < 1000);
        QCOMPARE(grid->cellText(grid->currentRow(), 1), chosen);
        QCOMPARE(grid->currentRow(), 22);

        // A door named on another desk: the terminal list and the issuing page's doors, with
        // the tick set on this desk left standing.
        Grid* doors = w.issuingPage()->GridZ;
        const int tick = IssuingPage::tickColumn(0);
        doors->setCellText(2, tick, QStringLiteral("1"));
        const int terminals = w.terminalPage()->GridM->rows();
        QVERIFY(other.exec(QStringLiteral("INSERT INTO 终端机 (终端机号, 地址) VALUES (1, '北门')")));
        QTRY_COMPARE_WITH_TIMEOUT(doors->cellText(1, tick + 2), QStringLiteral("北门"), 1000);
        QCOMPARE(w.terminalPage()->GridM->rows(), terminals + 1);
        QCOMPARE(doors->cellText(2, tick), QStringLiteral("1"));

        // Records stored on another desk show in the query shown (newest first), the chosen
        // record still chosen.
        auto record = [&](int minute) {
            return other.exec(
                QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES (?, ?, 1, 'x')"),
                {QStringLiteral("c%1").arg(minute),
                 QStringLiteral("2024-05-01 08:%1:00").arg(minute, 2, 10, QLatin1Char('0'))});
        };
        for (int minute = 0; minute < 30; ++minute)
            QVERIFY(record(minute));
        RecordPage* records = w.recordPage();
        Grid* list = records->GridIO;
        QTest::qWait(3 * RegisterWatch::GatherMs);
        records->find();
        QTRY_COMPARE_WITH_TIMEOUT(list->rows(), 31, 1000);
        list->setCurrentCell(10, 1);
        const QString time = list->cellText(10, 1);
        QVERIFY(record(40) && record(41));
        QTRY_COMPARE_WITH_TIMEOUT(list->rows(), 33, 1000);
        QCOMPARE(list->currentRow(), 12);
        QCOMPARE(list->cellText(12, 1), time);
    }

    // A run another desk holds keeps this desk's record import out, and the page names that
    // desk's computer; once it is over the import runs.
    void anotherDesksRunIsNamedOnThePage()
    {
        test::ServerSchema server;
        QString error;
        QVERIFY2(createProgramDatabase(server.url(), &error), qPrintable(error));
        test::MainWindowFixture fx;
        fx.context->setRegister(server.url());
        Frmmain w(*fx.context);
        w.show();
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("in.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("1,c1,2024-05-01,08:00:00,x\r\n") > 0);
        file.close();
        Database other;
        QVERIFY(other.open(server.url()));
        auto import = [&] {
            fx.dialogs.calls.clear();
            fx.dialogs.fileAnswers = {file.fileName()};
            w.recordPage()->importFile();
            // The file dialog, then what the page says last.
            return fx.dialogs.calls.size() >= 2 ? fx.dialogs.calls.last().text : QStringLiteral("no message");
        };
        {
            const RegisterLock deleting(other, RegisterLock::Run::RecordDeletion);
            QVERIFY(deleting);
            QCOMPARE(import(), fx.context->message(Msg::RegisterBusyOn).arg(QSysInfo::machineHostName()));
        }
        const QString done = import();
        QVERIFY2(done.contains(u'1')
                     && done != fx.context->message(Msg::RegisterBusyOn).arg(QSysInfo::machineHostName()),
                 qPrintable(done));
        QCOMPARE(other.scalar(QStringLiteral("SELECT count(*) FROM 进出记录")).toInt(), 1);
    }
};

QTEST_MAIN(LiveViewTest)
#include "LiveViewTest.moc"
