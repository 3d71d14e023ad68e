// Reading workbooks through the helper process: cell texts, the heading row, the sheet
// name, workbooks written by a real spreadsheet program (gnumeric) and by our own export,
// and every way the helper or its answer can fail without taking the program with it.

#include "Workbooks.h"

#include "ScriptedDialogs.h"
#include "platform/Grid.h"
#include "platform/WorkbookReader.h"
#include "workbook/AnswerDecoder.h"
#include "workbook/NumberFormat.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

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
    void numbersAsASpreadsheetShowsThem_data();
    void numbersAsASpreadsheetShowsThem();
    void answerIsBoundedAsItArrives_data();
    void answerIsBoundedAsItArrives();
    void oversizedAnswerStopsTheReader();
    void spreadsheetProgramWorkbooks_data();
    void spreadsheetProgramWorkbooks();
    void ownExportReadsBack();
    void openXmlKinds();
    void mutatedWorkbooksAreErrorsNotCrashes_data();
    void mutatedWorkbooksAreErrorsNotCrashes();
    void readerEndsWithTheProgram();

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
        {"1", "一号门"}, // a row ends at its last cell
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
    // The waiting window is pumped all the while.
    int pumped = 0;
    hanging.setPump([&] { ++pumped; });
    QElapsedTimer timer;
    timer.start();
    result = hanging.read(path(QStringLiteral("any.xls")));
    QCOMPARE(result.status, WorkbookReader::Status::Failed);
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY2(pumped >= 300 / WorkbookReader::PumpIntervalMs - 2, qPrintable(QString::number(pumped)));

    QCOMPARE(WorkbookReader(path(QStringLiteral("no-such-tool"))).read(path(QStringLiteral("any.xls"))).status,
             WorkbookReader::Status::Failed);
}

void WorkbookReaderTest::answerCutShortIsRejected()
{
    Workbook sheet;
    QString problem;
    QVERIFY(WorkbookReader::parse("K27WB 1 xls 1 2\n1:a3:b\nc\nEND\n", &sheet, &problem));
    QCOMPARE(sheet.rows.first(), QStringList({"a", "b\nc"}));
    for (const QByteArray& bad : {QByteArray("K27WB 1 xls 1 2\n1:a3:b\nc\n"),     // no end mark
                                  QByteArray("K27WB 1 xls 2 2\n1:a1:b\nEND\n"),   // a row short
                                  QByteArray("K27WB 1 xls 1 2\n1:a9:b\nEND\n"),   // length beyond the end
                                  QByteArray("K27WB 1 xls 1 2\n1:a1:b\n\nEND\n"), // a row too many
                                  QByteArray("K27WB 1 xls 1 1\n1:a1:b\nEND\n"),   // a cell too many
                                  QByteArray("K27WB 1 xls 1 2\n1:a\nEND\nx"),     // bytes after the end
                                  QByteArray("K27WB 1 ods 1 2\n1:a\nEND\n"),      // unknown format
                                  QByteArray("garbage"), QByteArray()})
        QVERIFY2(!WorkbookReader::parse(bad, &sheet, &problem), bad.constData());
}

void WorkbookReaderTest::numbersAsASpreadsheetShowsThem_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("format"); // a format code, or #id for a built-in format
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("text");
    QTest::newRow("phone") << 13800138000.0 << "General" << false << "13800138000";
    QTest::newRow("fixed decimals") << 42.0 << "0.00" << false << "42.00";
    QTest::newRow("halves round up") << 2.675 << "0.00" << false << "2.68";
    QTest::newRow("card number") << 1000.0 << "0000000000" << false << "0000001000";
    QTest::newRow("thousands") << 1234567.891 << "#3" << false << "1,234,568";
    QTest::newRow("thousands scaled") << 1234567.0 << "0.0,,\"M\"" << false << "1.2M";
    QTest::newRow("percent") << 0.1234 << "#10" << false << "12.34%";
    QTest::newRow("negative section") << -1234.5 << "#,##0.00;(#,##0.00)" << false << "(1,234.50)";
    QTest::newRow("zero section") << 0.0 << "0;-0;\"none\"" << false << "none";
    QTest::newRow("digits between literals") << 13800138000.0 << "000-0000-0000" << false << "138-0013-8000";
    QTest::newRow("optional decimals") << 1.5 << "0.0#" << false << "1.5";
    QTest::newRow("currency") << 5.0 << "[$¥-804]#,##0.00" << false << "¥5.00";
    QTest::newRow("accounting zero") << 0.0 << "#41" << false << " - ";
    QTest::newRow("text format") << 12.0 << "#49" << false << "12";
    QTest::newRow("fraction as general") << 0.75 << "# ?/?" << false << "0.75";
    QTest::newRow("elapsed hours") << (255 * 3600 + 610) / 86400.0 << "[h]:mm:ss" << false << "255:10:10";
    QTest::newRow("elapsed built-in") << (255 * 3600 + 610) / 86400.0 << "#46" << false << "255:10:10";
    QTest::newRow("elapsed minutes") << 0.5 << "[mm]:ss" << false << "720:00";
    QTest::newRow("half") << 0.5 << "General" << false << "0.5";
    QTest::newRow("negative") << -3.25 << "#,##0.00" << false << "-3.25";
    QTest::newRow("fifteen digits") << 0.1 + 0.2 << "General" << false << "0.3";
    QTest::newRow("tiny") << 0.000012 << "General" << false << "0.000012";
    QTest::newRow("scientific") << 1234.0 << "0.00E+00" << false << "1.23E+03";
    QTest::newRow("engineering") << 12345.0 << "#48" << false << "12.3E+3";
    QTest::newRow("built-in date") << 40617.0 << "#14" << false << "2011-03-15";
    QTest::newRow("custom date") << 40617.0 << "yyyy\"年\"m\"月\"d\"日\"" << false << "2011-03-15";
    QTest::newRow("before the false leap day") << 59.0 << "#14" << false << "1900-02-28";
    QTest::newRow("after it") << 61.0 << "#14" << false << "1900-03-01";
    QTest::newRow("1904 system") << 0.0 << "yyyy-mm-dd" << true << "1904-01-01";
    QTest::newRow("date and time") << 40617.75 << "#22" << false << "2011-03-15 18:00:00";
    QTest::newRow("time") << 0.5 << "hh:mm" << false << "12:00:00";
    QTest::newRow("minutes are not months") << 0.25 << "[h]:mm" << false << "06:00:00";
    QTest::newRow("quoted letters") << 7.0 << "0\" days\"" << false << "7 days";
    QTest::newRow("date out of range") << -1.0 << "#14" << false << "-1";
}

void WorkbookReaderTest::numbersAsASpreadsheetShowsThem()
{
    QFETCH(double, value);
    QFETCH(QString, format);
    QFETCH(bool, date1904);
    QFETCH(QString, text);
    using namespace k27::wb;
    const NumberFormat f = format.startsWith(u'#') && format.size() <= 3 ? NumberFormat::builtin(format.mid(1).toUInt())
                                                                         : NumberFormat::parse(format.toStdString());
    QCOMPARE(QString::fromStdString(f.number(value, date1904)), text);
}

void WorkbookReaderTest::answerIsBoundedAsItArrives_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("rows");
    using S = AnswerDecoder::State;
    const QByteArray big = QByteArray::number(AnswerDecoder::MaxCellBytes + 1);
    QTest::newRow("complete") << QByteArray("K27WB 1 xlsx 3 3\n1:a0:1:c\n\n2:\n\n\nEND\n") << 9 << int(S::Done) << 3;
    QTest::newRow("keeps the first columns")
        << QByteArray("K27WB 1 xls 1 3\n1:a1:b1:c\nEND\n") << 2 << int(S::Done) << 1;
    // A crafted dimension claiming 436 million rows is refused before a single row is made.
    QTest::newRow("rows past xls") << QByteArray("K27WB 1 xls 436207616 1\n\n\n") << 9 << int(S::OutOfBounds) << 0;
    QTest::newRow("rows past xls by one") << QByteArray("K27WB 1 xls 65537 1\n") << 9 << int(S::OutOfBounds) << 0;
    QTest::newRow("rows of xlsx") << QByteArray("K27WB 1 xlsx 1048576 1\n\n") << 9 << int(S::Reading) << 1;
    QTest::newRow("rows past xlsx") << QByteArray("K27WB 1 xlsx 1048577 1\n") << 9 << int(S::OutOfBounds) << 0;
    QTest::newRow("columns past xls") << QByteArray("K27WB 1 xls 1 257\n") << 9 << int(S::OutOfBounds) << 0;
    QTest::newRow("cell too long") << QByteArray("K27WB 1 xls 1 1\n" + big + ":") << 9 << int(S::OutOfBounds) << 0;
    QTest::newRow("length digits") << QByteArray("K27WB 1 xls 1 1\n99999999999:") << 9 << int(S::Failed) << 0;
}

void WorkbookReaderTest::answerIsBoundedAsItArrives()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, kept);
    QFETCH(int, state);
    QFETCH(int, rows);
    // In one piece and byte by byte: the same outcome.
    for (int step : {int(answer.size()), 1}) {
        AnswerDecoder decoder(kept);
        for (qsizetype i = 0; i < answer.size(); i += step)
            decoder.feed(answer.mid(i, step));
        QCOMPARE(int(decoder.state()), state);
        QCOMPARE(decoder.workbook().rows.size(), rows);
        for (const QStringList& row : decoder.workbook().rows)
            QVERIFY(row.size() <= kept);
    }
}

void WorkbookReaderTest::oversizedAnswerStopsTheReader()
{
    // A reader that claims a huge sheet and then prints empty rows without end.
    const QString endless = script(path(QStringLiteral("endless.sh")), "echo 'K27WB 1 xls 436207616 1'; exec yes ''");
    QElapsedTimer timer;
    timer.start();
    const WorkbookReader::Result result = WorkbookReader(endless).read(path(QStringLiteral("any.xls")));
    QCOMPARE(result.status, WorkbookReader::Status::TooLarge);
    QVERIFY(result.workbook.rows.isEmpty());
    QVERIFY(timer.elapsed() < 10000);
    QCOMPARE(WorkbookReader::messageFor(result.status), 158);
}

namespace {

// The reader fixture: Sheet1 between two other sheets, eight columns, 120 data rows
// of texts, empty texts, formulas with number and text results, dates, numbers and booleans.
QJsonArray peopleSheet()
{
    QJsonArray rows;
    rows.append(QJsonArray{"姓名", "性别", "编号", "电话", "日期", "长号", "小数", "其他"});
    for (int i = 1; i <= 120; ++i)
        rows.append(QJsonArray{QStringLiteral("张%1").arg(i), i % 2 ? "男" : "",
                               QJsonObject{{"f", QStringLiteral("=1000+%1").arg(i)}},
                               QJsonObject{{"f", "=CONCATENATE(\"138\",\"00138001\")"}},
                               QJsonObject{{"date", QDate(2011, 3, 15).addDays(i).toString(Qt::ISODate)}},
                               13800138000.0 + i, i + 0.5, i % 3 ? QJsonValue("a'b") : QJsonValue(i % 2 == 0)});
    return rows;
}

QStringList expectedPerson(int i)
{
    return {QStringLiteral("张%1").arg(i),
            i % 2 ? "男" : "",
            QString::number(1000 + i),
            "13800138001",
            QDate(2011, 3, 15).addDays(i).toString(Qt::ISODate),
            QString::number(13800138000LL + i),
            QString::number(i) + ".5",
            i % 3 ? "a'b" : (i % 2 == 0 ? "TRUE" : "FALSE")};
}

QJsonArray sheet(const QString& name, const QJsonArray& rows)
{
    return QJsonArray{name, rows};
}

// The sheets in order (appended: a braced list of one array would copy it, not nest it).
QJsonArray book(std::initializer_list<QJsonArray> sheets)
{
    QJsonArray all;
    for (const QJsonArray& s : sheets)
        all.append(s);
    return all;
}

} // namespace

void WorkbookReaderTest::spreadsheetProgramWorkbooks_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("xls") << QStringLiteral(".xls");
    QTest::newRow("xlsx") << QStringLiteral(".xlsx");
}

void WorkbookReaderTest::spreadsheetProgramWorkbooks()
{
    if (!haveSsconvert())
        QSKIP("ssconvert (gnumeric) is not installed: no workbooks written by a spreadsheet program");
    QFETCH(QString, suffix);
    QJsonArray other;
    other.append(QJsonArray{"wrong"});
    const WorkbookReader reader(workbookTool());

    const QString middle = path(QStringLiteral("middle") + suffix);
    QVERIFY(
        convertWorkbook(middle, book({sheet("Before", other), sheet("Sheet1", peopleSheet()), sheet("After", other)})));
    const WorkbookReader::Result result = reader.read(middle);
    QVERIFY2(result.ok(), qPrintable(result.detail));
    QCOMPARE(result.workbook.columns, 8);
    QCOMPARE(result.workbook.rows.size(), 120);
    for (int i = 1; i <= 120; ++i)
        QCOMPARE(result.workbook.rows[i - 1], expectedPerson(i));

    const QString lower = path(QStringLiteral("lower") + suffix);
    QJsonArray two;
    two.append(QJsonArray{"no", "address"});
    two.append(QJsonArray{"0012", "东门"});
    QVERIFY(convertWorkbook(lower, book({sheet("Data", other), sheet("sheet1", two)})));
    QCOMPARE(reader.read(lower).workbook.rows, QList<QStringList>{QStringList({"0012", "东门"})});

    const QString none = path(QStringLiteral("none") + suffix);
    QVERIFY(convertWorkbook(none, book({sheet("Data", two), sheet("Sheet2", other)})));
    QCOMPARE(reader.read(none).status, WorkbookReader::Status::NoSheet1);
}

void WorkbookReaderTest::ownExportReadsBack()
{
    Grid grid;
    // Column 0 is the grid's row-number column, which exports leave out.
    grid.setCols(4);
    grid.setRows(3);
    const QStringList headings = {"序号", "姓名", "电话", "地址"};
    for (int c = 0; c < 4; ++c)
        grid.setHeaderText(c, headings[c]);
    grid.setCellText(1, 1, QStringLiteral("张三"));
    grid.setCellText(1, 2, QStringLiteral("13800138000"));
    grid.setCellText(1, 3, QStringLiteral("一楼\n\"东\"门"));
    grid.setCellText(2, 1, QStringLiteral("Li"));
    grid.setCellText(2, 2, QStringLiteral("0012"));
    ScriptedDialogs dialogs;
    const QString file = path(QStringLiteral("export.xlsx"));
    QVERIFY(grid.exportToFile(dialogs, file).ok());
    const WorkbookReader::Result result = WorkbookReader(workbookTool()).read(file);
    QVERIFY2(result.ok(), qPrintable(result.detail));
    QCOMPARE(result.workbook.rows, (QList<QStringList>{{"张三", "13800138000", "一楼\n\"东\"门"}, {"Li", "0012"}}));
}

// A macro-enabled workbook reads as the workbook it is; a sound binary one (.xlsb) is a kind
// the program does not read, not a damaged file. Both made from our own export.
void WorkbookReaderTest::openXmlKinds()
{
    QVERIFY(WorkbookReader::fileFilter().contains(QLatin1String("*.xlsm")));
    Grid grid;
    grid.setCols(3);
    grid.setRows(2);
    grid.setHeaderText(1, QStringLiteral("no"));
    grid.setHeaderText(2, QStringLiteral("address"));
    grid.setCellText(1, 1, QStringLiteral("0012"));
    grid.setCellText(1, 2, QStringLiteral("东门"));
    ScriptedDialogs dialogs;
    const QString xlsx = path(QStringLiteral("kinds.xlsx"));
    QVERIFY(grid.exportToFile(dialogs, xlsx).ok());
    // Rewrites the archive: macro-enabled content type, or the workbook part as binary.
    const char* rewrite = R"(
import sys, zipfile
src, xlsm, xlsb = sys.argv[1:4]
with zipfile.ZipFile(src) as z, zipfile.ZipFile(xlsm, 'w') as m, zipfile.ZipFile(xlsb, 'w') as b:
    for n in z.namelist():
        d = z.read(n)
        if n == '[Content_Types].xml':
            d = d.replace(b'spreadsheetml.sheet.main+xml', b'ms-excel.sheet.macroEnabled.main+xml')
        m.writestr(n, d)
        if n == 'xl/workbook.xml':
            b.writestr('xl/workbook.bin', bytes([0x83, 0x01, 0x00, 0x80, 0x01, 0x00]))
        elif n == 'xl/_rels/workbook.xml.rels':
            b.writestr('xl/_rels/workbook.bin.rels', d.replace(b'.xml"', b'.bin"'))
        else:
            b.writestr(n, d.replace(b'xl/workbook.xml', b'xl/workbook.bin'))
)";
    const QString xlsm = path(QStringLiteral("kinds.xlsm")), xlsb = path(QStringLiteral("kinds.xlsb"));
    QCOMPARE(QProcess::execute(QStringLiteral("/usr/bin/python3"),
                               {QStringLiteral("-c"), QString::fromLatin1(rewrite), xlsx, xlsm, xlsb}),
             0);
    const WorkbookReader reader(workbookTool());
    const WorkbookReader::Result macro = reader.read(xlsm);
    QVERIFY2(macro.ok(), qPrintable(macro.detail));
    QCOMPARE(macro.workbook.rows, (QList<QStringList>{{"0012", "东门"}}));
    const WorkbookReader::Result binary = reader.read(xlsb);
    QCOMPARE(binary.status, WorkbookReader::Status::NotWorkbook);
    QCOMPARE(WorkbookReader::messageFor(binary.status), 156);
}

void WorkbookReaderTest::mutatedWorkbooksAreErrorsNotCrashes_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("xls") << QStringLiteral(".xls");
    QTest::newRow("xlsx") << QStringLiteral(".xlsx");
}

void WorkbookReaderTest::mutatedWorkbooksAreErrorsNotCrashes()
{
    if (!haveSsconvert())
        QSKIP("ssconvert (gnumeric) is not installed: no workbooks written by a spreadsheet program");
    QFETCH(QString, suffix);
    const QString good = path(QStringLiteral("good") + suffix);
    QVERIFY(convertWorkbook(good, book({sheet("Sheet1", peopleSheet())})));
    QFile f(good);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    const QString file = path(QStringLiteral("mutated") + suffix);
    auto readBytes = [&](const QByteArray& bytes) {
        QFile out(file);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(bytes);
        out.close();
        return WorkbookReader(workbookTool()).read(file);
    };
    // Cut short anywhere: an error. Bytes changed: an error, or rows if the change was
    // harmless, but the reader never crashes, hangs or sends a malformed answer.
    for (qsizetype cut : {qsizetype(100), whole.size() / 3, whole.size() - 30}) {
        const WorkbookReader::Result r = readBytes(whole.left(cut));
        QVERIFY2(!r.ok() && r.status != WorkbookReader::Status::Failed, qPrintable(r.detail));
    }
    for (int seed = 1; seed <= 40; ++seed) {
        QByteArray bytes = whole;
        for (qsizetype i = (seed * 7919) % 997; i < bytes.size(); i += 97 + seed * 13)
            bytes[i] = char(bytes[i] ^ (seed * 37 + 1));
        const WorkbookReader::Result r = readBytes(bytes);
        QVERIFY2(r.status != WorkbookReader::Status::Failed, qPrintable(QString::number(seed) + ": " + r.detail));
    }
}

// A reader still at work when the program is killed ends with it at once, not when it has
// read its workbook. The test is the orphan's new parent, so it can see the reader end.
void WorkbookReaderTest::readerEndsWithTheProgram()
{
    const QString pidFile = path(QStringLiteral("reader.pid"));
    const QString tool = script(path(QStringLiteral("slow-reader")),
                                "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 30");
    QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
    const pid_t program = ::fork();
    QVERIFY(program >= 0);
    if (program == 0) {
        WorkbookReader(tool).read(path(QStringLiteral("any.xls")));
        ::_exit(0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pidFile).size() > 0, 10000);
    QFile f(pidFile);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const pid_t reader = pid_t(f.readAll().trimmed().toLongLong());
    QVERIFY(reader > 0);
    ::kill(program, SIGKILL);
    QCOMPARE(::waitpid(program, nullptr, 0), program);
    QElapsedTimer waited;
    waited.start();
    pid_t ended = 0;
    while ((ended = ::waitpid(reader, nullptr, WNOHANG)) == 0 && waited.elapsed() < 3000)
        QThread::msleep(20);
    if (ended != reader) {
        ::kill(reader, SIGKILL);
        ::waitpid(reader, nullptr, 0);
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    QCOMPARE(ended, reader);
}

QTEST_MAIN(WorkbookReaderTest)
#include "WorkbookReaderTest.moc"
