// Workbooks as the offices keep them: one sheet of number formats, elapsed times, texts and
// filled-down text formulas, written by gnumeric (Excel 97, Excel 95, .xlsx) and LibreOffice
// (Excel 97, .xlsx), and copies changed as other writers or damage change them; every cell
// must read as the spreadsheet shows it, every damaged copy as damaged.

#include "Workbooks.h"

#include "platform/WorkbookReader.h"
#include "startup/LanguageTable.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace k27;
using namespace k27::test;

namespace {

struct Case
{
    const char* label;
    QJsonValue cell;
    const char* shown;
};

QJsonObject formatted(const QJsonValue& value, const char* code)
{
    return QJsonObject{{"v", value}, {"fmt", code}};
}

// Column B of Sheet1, one row each, below the heading row.
const QList<Case>& cases()
{
    static const QList<Case> all = {
        {"card number", formatted(1000, "0000000000"), "0000001000"},
        {"text cell", formatted("abc", "@"), "abc"},
        {"terminal", formatted(13, "0000"), "0013"},
        {"thousands", formatted(1234567.891, "#,##0"), "1,234,568"},
        {"fixed", formatted(1234.5, "#,##0.00"), "1,234.50"},
        {"decimals", formatted(3.14159, "0.00"), "3.14"},
        {"percent", formatted(0.256, "0%"), "26%"},
        {"percent decimals", formatted(0.1234, "0.00%"), "12.34%"},
        {"literal text", formatted(42, "\"No.\"000"), "No.042"},
        {"suffix", formatted(7, "0\" days\""), "7 days"},
        {"digits as text", formatted("0012", "@"), "0012"},
        {"elapsed", formatted((255 * 3600 + 610) / 86400.0, "[h]:mm:ss"), "255:10:10"},
        {"negative", formatted(-1234.5, "#,##0.00;(#,##0.00)"), "(1,234.50)"},
        {"general", 13800138000.0, "13800138000"},
        {"date", QJsonObject{{"date", "2011-03-15"}}, "2011-03-15"},
        {"line break", "LINEBREAK", "LINEBREAK"},
        {"sum", QJsonObject{{"f", "=SUM(2,1)"}, {"fmt", "0.00"}}, "3.00"},
        // In code page 1252 the bytes of 张三 in GBK.
        {"code page", "ÕÅÈý", "ÕÅÈý"},
        {"scientific", formatted(12345, "0.00E+00"), "1.23E+04"},
        {"text section", formatted("x", "0;-0;0;\"ID-\"@"), "ID-x"},
    };
    return all;
}

// Filled-down text formulas after the cases: column A a padded name, column B =TRIM of it.
constexpr int Trimmed = 6;

QList<QStringList> expectedRows()
{
    QList<QStringList> rows;
    for (const Case& c : cases())
        rows.append({QString::fromUtf8(c.label), QString::fromUtf8(c.shown)});
    for (int i = 0; i < Trimmed; ++i)
        rows.append({QStringLiteral("  name %1 ").arg(i), QStringLiteral("name %1").arg(i)});
    return rows;
}

} // namespace

class WorkbookCellsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void expectationsAreWhatTheSpreadsheetShows();
    void cellsAsTheSpreadsheetShowsThem_data();
    void cellsAsTheSpreadsheetShowsThem();
    void changedCopies();
    void damagedCopiesAreRefused_data();
    void damagedCopiesAreRefused();

private:
    WorkbookReader::Result read(const char* name) const
    {
        return WorkbookReader(workbookTool()).read(m_dir.filePath(name));
    }
    QTemporaryDir m_dir;
};

void WorkbookCellsTest::initTestCase()
{
    if (!haveSsconvert() || QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("ssconvert (gnumeric) or soffice (LibreOffice) is not installed");
    QJsonArray rows;
    rows.append(QJsonArray{"case", "shown"});
    for (const Case& c : cases())
        rows.append(QJsonArray{c.label, c.cell});
    for (int i = 0; i < Trimmed; ++i)
        rows.append(QJsonArray{QStringLiteral("  name %1 ").arg(i),
                               QJsonObject{{"f", QStringLiteral("=TRIM(A%1)").arg(rows.size() + 1)}}});
    QJsonArray sheet1{"Sheet1"};
    sheet1.append(rows);
    QJsonArray book;
    book.append(sheet1);
    QProcess python;
    python.start(
        QStringLiteral("/usr/bin/python3"),
        {qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/tests/support/make_office.py"), m_dir.path()});
    QVERIFY(python.waitForStarted());
    python.write(QJsonDocument(book).toJson(QJsonDocument::Compact));
    python.closeWriteChannel();
    QVERIFY2(python.waitForFinished(240000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0,
             python.readAllStandardError().constData());
}

// The texts this test expects are those LibreOffice shows for the same cells.
void WorkbookCellsTest::expectationsAreWhatTheSpreadsheetShows()
{
    QFile f(m_dir.filePath(QStringLiteral("office-shown.json")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonArray shown = QJsonDocument::fromJson(f.readAll()).array();
    const QList<QStringList> expected = expectedRows();
    QCOMPARE(shown.size(), expected.size() + 1);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(shown[i + 1].toVariant().toStringList(), expected[i]);
}

void WorkbookCellsTest::cellsAsTheSpreadsheetShowsThem_data()
{
    QTest::addColumn<QString>("file");
    for (const char* file : {"gnumeric.xls", "gnumeric95.xls", "gnumeric.xlsx", "office.xls", "office.xlsx",
                             "office-book.xls", "office-casing.xlsx"})
        QTest::newRow(file) << QString::fromLatin1(file);
}

void WorkbookCellsTest::cellsAsTheSpreadsheetShowsThem()
{
    QFETCH(QString, file);
    const WorkbookReader::Result r = read(file.toLatin1().constData());
    QVERIFY2(r.ok(), qPrintable(r.detail));
    const QList<QStringList> expected = expectedRows();
    QCOMPARE(r.workbook.rows.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(r.workbook.rows[i], expected[i]);
    QCOMPARE(r.workbook.formulasWithoutValue, 0);
}

void WorkbookCellsTest::changedCopies()
{
    const int lineBreak = 15, textCell = 1, codePage = 17;
    QCOMPARE(cases()[lineBreak].shown, "LINEBREAK");
    QCOMPARE(cases()[textCell].shown, "abc");
    QCOMPARE(cases()[codePage].label, "code page");

    // _xHHHH_ escapes decoded; an escaped underscore leaves the rest as it stands.
    WorkbookReader::Result r = read("office-escapes.xlsx");
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(r.workbook.rows[lineBreak].value(1), QStringLiteral("one\r\ntwo_x0041_"));

    // A shared-string cell without a value is an empty cell, not a damaged sheet.
    r = read("office-emptyshared.xlsx");
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(r.workbook.rows[textCell], QStringList{QStringLiteral("text cell")});

    // Formulas saved without results: empty cells, counted for the import summary.
    r = read("office-uncached.xlsx");
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(r.workbook.formulasWithoutValue, Trimmed + 1);
    QCOMPARE(r.workbook.rows.last(), QStringList{QStringLiteral("  name %1 ").arg(Trimmed - 1)});
    LanguageTable language;
    QVERIFY(language.loadFile(qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/res/English.lag")));
    QVERIFY(importSummary(language, 3, 1, false, r.workbook.formulasWithoutValue)
                .endsWith(u'\n' + language.message(240) + QString::number(Trimmed + 1)));

    // Excel 95 texts in the code page the workbook names: the same bytes in GBK.
    r = read("gnumeric95-gbk.xls");
    QVERIFY2(r.ok(), qPrintable(r.detail));
    QCOMPARE(r.workbook.rows[codePage].value(1), QStringLiteral("张三"));
}

void WorkbookCellsTest::damagedCopiesAreRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("invalid formula result tag") << QStringLiteral("office-badtag.xls");
    QTest::newRow("text formula without its text") << QStringLiteral("office-nostring.xls");
    QTest::newRow("shared strings claiming four billion") << QStringLiteral("office-sstcount.xls");
}

void WorkbookCellsTest::damagedCopiesAreRefused()
{
    QFETCH(QString, file);
    WorkbookReader reader(workbookTool());
    reader.setMemoryLimit(qint64(256) << 20);
    const WorkbookReader::Result r = reader.read(m_dir.filePath(file));
    QCOMPARE(r.status, WorkbookReader::Status::Damaged);
}

QTEST_MAIN(WorkbookCellsTest)
#include "WorkbookCellsTest.moc"
