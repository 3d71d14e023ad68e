// What the operator may believe after each operation: a copy of Data.kvd alone, taken while
// the program runs, holds everything the program reported done; a save that the database
// refused says so and keeps what was typed.
#include "FaultyDisk.h"
#include "MainWindowFixture.h"

#include "cardholders/CardholderPage.h"
#include "db/WalLog.h"
#include "mainwin/Frmmain.h"
#include "platform/Grid.h"
#include "records/RecordPage.h"
#include "terminals/TerminalPage.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace k27;
using namespace k27::test;

namespace {

// The number `sql` counts in a copy of the database file alone (no log beside it).
int countInCopyOfFile(const MainWindowFixture& fx, const QString& sql)
{
    const QString copy = fx.folder.filePath(QStringLiteral("copy.kvd"));
    QFile::remove(copy);
    for (const char* suffix : {"-wal", "-shm"})
        QFile::remove(copy + QLatin1String(suffix));
    if (!QFile::copy(fx.databasePath(), copy))
        return -1;
    Database db;
    return db.open(copy) ? db.scalar(sql).toInt() : -1;
}

QString recordFile(const MainWindowFixture& fx, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += QStringLiteral("0007,C%1,2024-05-01,08:%2:%3,星期三\r\n")
                     .arg(i)
                     .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                     .toUtf8();
    const QString path = fx.folder.filePath(QStringLiteral("records.TXT"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

class AfterFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void copyOfTheFileAloneHoldsEachOperation();
    void refusedSaveSaysSoAndKeepsTheFields_data();
    void refusedSaveSaysSoAndKeepsTheFields();
};

void AfterFaultsTest::copyOfTheFileAloneHoldsEachOperation()
{
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    TerminalPage* terminals = w.terminalPage();
    RecordPage* records = w.recordPage();
    const QString terminalCount = QStringLiteral("select count(*) from 终端机");
    const QString recordCount = QStringLiteral("select count(*) from 进出记录");

    terminals->TxtNo->setText(QStringLiteral("7"));
    terminals->cmdAdd->click();
    QCOMPARE(countInCopyOfFile(fx, terminalCount), 1);

    // An import: its steps went to the write-ahead log, which now stays on for the window.
    fx.dialogs.fileAnswers << recordFile(fx, 3000);
    records->btnInputD->click();
    QCOMPARE(countInCopyOfFile(fx, recordCount), 3000);

    // A single save through the window's own connection, with the log on.
    terminals->TxtNo->setText(QStringLiteral("8"));
    terminals->cmdAdd->click();
    QCOMPARE(countInCopyOfFile(fx, terminalCount), 2);

    // A deletion of the record listed first.
    records->BtnFind->click();
    records->GridIO->setCurrentCell(1, 1);
    records->GridIO->selectRow(1);
    fx.dialogs.questionAnswers << true;
    records->BtnDelD->click();
    QCOMPARE(countInCopyOfFile(fx, recordCount), 2999);
    // What k27-db check looks at: nothing of the log is missing from the file.
    QCOMPARE(inspectLog(fx.databasePath()).pagesNotInFile, 0);
}

void AfterFaultsTest::refusedSaveSaysSoAndKeepsTheFields_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("fileGone");
    for (const char* page : {"cardholder", "terminal"}) {
        QTest::addRow("%s, disk full", page) << QString::fromLatin1(page) << false;
        QTest::addRow("%s, file gone", page) << QString::fromLatin1(page) << true;
    }
}

// The database refuses the save: message 141, the typed fields stay, the list shows nothing
// new; the same click once the database can be written again saves it.
void AfterFaultsTest::refusedSaveSaysSoAndKeepsTheFields()
{
    QFETCH(QString, page);
    QFETCH(bool, fileGone);
    FaultyDisk::install();
    MainWindowFixture fx;
    Frmmain w(*fx.context);
    const bool cardholder = page == QLatin1String("cardholder");
    CardholderPage* holders = w.cardholderPage();
    TerminalPage* terminals = w.terminalPage();
    QLineEdit* field = cardholder ? holders->TxtName : terminals->TxtNo;
    QPushButton* save = cardholder ? holders->btnInsert : terminals->cmdAdd;
    field->setText(cardholder ? QStringLiteral("张三") : QStringLiteral("9"));
    if (cardholder)
        holders->txtTel->setText(QStringLiteral("555"));
    const QString table = cardholder ? QStringLiteral("用户信息") : QStringLiteral("终端机");
    const QString moved = fx.databasePath() + QStringLiteral(".away");
    if (fileGone)
        QVERIFY(QFile::rename(fx.databasePath(), moved));
    else
        FaultyDisk::arm(FaultyDisk::Fault::Full, 0);
    fx.dialogs.clear();
    save->click();
    FaultyDisk::disarm();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(141)});
    QCOMPARE(fx.dialogs.calls.last().icon, Dialogs::Icon::Error);
    QCOMPARE(field->text(), cardholder ? QStringLiteral("张三") : QStringLiteral("9"));

    if (fileGone)
        QVERIFY(QFile::rename(moved, fx.databasePath()));
    fx.dialogs.clear();
    save->click();
    QVERIFY(fx.dialogs.messageTexts().isEmpty());
    Database db;
    QVERIFY(db.open(fx.databasePath()));
    QCOMPARE(db.scalar(QStringLiteral("select count(*) from ") + table).toInt(), 1);
}

QTEST_MAIN(AfterFaultsTest)
#include "AfterFaultsTest.moc"
