// Reading workbooks through the helper process: cell texts, the heading row, the sheet
// name, and every way the helper can fail without taking the program with it.

#include "Workbooks.h"

#include "platform/WorkbookReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;
using namespace k27::test;

class WorkbookReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void readsSheet1AsTextsWithoutTheHeadingRow();
    void findsSheet1AmongOtherSheets();
    void workbookWithoutSheet1();
    void damagedFilesAreErrors_data();
    void damagedFilesAreErrors();
    void crashingOrHangingReaderIsAnError();
    void answerCutShortIsRejected();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    static QString script(const QString& file, const QByteArray& body)
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return file;
    }
};

void WorkbookReaderTest::readsSheet1AsTextsWithoutTheHeadingRow()
{
    const QString file = path(QStringLiteral("cells.xls"));
    QVERIFY(makeSheet1(file, {"号", "地址", "x"},
                       {QJsonArray{1, "一号门", QJsonValue()}, QJsonArray{"0012", "东门\n二楼", 12.5},
                        QJsonArray{13812345678.0, "", -3}, QJsonArray{QJsonObject{{"date", "2011-03-15"}}, "a'b", 0}}));
    const WorkbookReader::Result result = WorkbookReader(workbookTool()).read(file);
    QVERIFY2(result.ok(), qPrintable(result.detail));
    QCOMPARE(result.workbook.columns, 3);
    const QList<QStringList> expected = {
        {"1", "一号门", ""},
        {"0012", "东门\n二楼", "12.5"},
        {"13812345678", "", "-3"},
        {"2011-03-15", "a'b", "0"},
    };
    QCOMPARE(result.workbook.rows, expected);
}

void WorkbookReaderTest::findsSheet1AmongOtherSheets()
{
    const QString file = path(QStringLiteral("sheets.xls"));
    QVERIFY(makeWorkbook(file, {{"Other", QJsonArray{QJsonArray{"h"}, QJsonArray{"wrong"}}},
                                {"Sheet1", QJsonArray{QJsonArray{"h", "h2"}, QJsonArray{"right", "r"}}}}));
    const WorkbookReader::Result result = WorkbookReader(workbookTool()).read(file);
    QVERIFY(result.ok());
    QCOMPARE(result.workbook.rows, QList<QStringList>{QStringList({"right", "r"})});

    // Only the heading row: no data rows, but the columns are known.
    const QString headingsOnly = path(QStringLiteral("headings.xls"));
    QVERIFY(makeSheet1(headingsOnly, {"a", "b"}, {}));
    const WorkbookReader::Result empty = WorkbookReader(workbookTool()).read(headingsOnly);
    QVERIFY(empty.ok());
    QCOMPARE(empty.workbook.columns, 2);
    QVERIFY(empty.workbook.rows.isEmpty());
}

void WorkbookReaderTest::workbookWithoutSheet1()
{
    const QString file = path(QStringLiteral("nosheet.xls"));
    QJsonArray rows;
    rows.append(QJsonArray{"a"});
    QVERIFY(makeWorkbook(file, {{"Data", rows}}));
    QCOMPARE(WorkbookReader(workbookTool()).read(file).status, WorkbookReader::Status::NoSheet1);
}

void WorkbookReaderTest::damagedFilesAreErrors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QString good = path(QStringLiteral("good.xls"));
    QVERIFY(makeSheet1(good, {"a", "b"}, {QJsonArray{1, "x"}}));
    QFile f(good);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 251);
    QByteArray scrambled = whole;
    for (int i = 512; i < scrambled.size(); i += 3)
        scrambled[i] = char(0xFF);
    QTest::newRow("truncated") << whole.left(whole.size() / 3);
    QTest::newRow("garbage") << garbage;
    QTest::newRow("header-only") << whole.left(512);
    QTest::newRow("scrambled") << scrambled;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("name,phone\nA,1\n");
}

void WorkbookReaderTest::damagedFilesAreErrors()
{
    QFETCH(QByteArray, bytes);
    const QString file = path(QStringLiteral("damaged.xls"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    const WorkbookReader::Result result = WorkbookReader(workbookTool()).read(file);
    QVERIFY(!result.ok());
    QVERIFY(result.workbook.rows.isEmpty());
    QVERIFY(!WorkbookReader(workbookTool()).read(path(QStringLiteral("missing.xls"))).ok());
}

void WorkbookReaderTest::crashingOrHangingReaderIsAnError()
{
    const QString crash = script(path(QStringLiteral("crash.sh")), "echo 'K27XLS 1 5 2'; kill -SEGV $$");
    WorkbookReader crashing(crash);
    WorkbookReader::Result result = crashing.read(path(QStringLiteral("any.xls")));
    QCOMPARE(result.status, WorkbookReader::Status::Failed);

    const QString hang = script(path(QStringLiteral("hang.sh")), "exec sleep 30");
    WorkbookReader hanging(hang);
    hanging.setTimeoutMs(300);
    QElapsedTimer timer;
    timer.start();
    result = hanging.read(path(QStringLiteral("any.xls")));
    QCOMPARE(result.status, WorkbookReader::Status::Failed);
    QVERIFY(timer.elapsed() < 10000);

    QCOMPARE(WorkbookReader(path(QStringLiteral("no-such-tool"))).read(path(QStringLiteral("any.xls"))).status,
             WorkbookReader::Status::Failed);
}

void WorkbookReaderTest::answerCutShortIsRejected()
{
    Workbook sheet;
    QString problem;
    QVERIFY(WorkbookReader::parse("K27XLS 1 1 2\n1:a3:b\nc\nEND\n", &sheet, &problem));
    QCOMPARE(sheet.rows.first(), QStringList({"a", "b\nc"}));
    for (const QByteArray& bad : {QByteArray("K27XLS 1 1 2\n1:a3:b\nc\n"),       // no end mark
                                  QByteArray("K27XLS 1 2 2\n1:a1:b\nEND\n"),     // a row short
                                  QByteArray("K27XLS 1 1 2\n1:a9:b\nEND\n"),     // length beyond the end
                                  QByteArray("K27XLS 1 1 2\n1:a\nEND\n"),        // a cell short
                                  QByteArray("garbage"), QByteArray()})
        QVERIFY2(!WorkbookReader::parse(bad, &sheet, &problem), bad.constData());
}

QTEST_GUILESS_MAIN(WorkbookReaderTest)
#include "WorkbookReaderTest.moc"
