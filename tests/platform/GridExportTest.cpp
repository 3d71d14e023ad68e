// Grid export: files are read back (xlsx unzipped, csv parsed), failures leave
// no file behind and never report success.
#include "platform/Grid.h"
#include "platform/GridExporter.h"

#include "ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using k27::Grid;
using k27::GridExportResult;
using k27::test::ScriptedDialogs;

namespace {

// Strict RFC 4180 reader for what the exporter writes.
QList<QStringList> parseCsv(const QByteArray& bytes)
{
    QString s = QString::fromUtf8(bytes);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (int i = 0; i < s.size(); ++i) {
        const QChar ch = s.at(i);
        if (quoted) {
            if (ch == u'"') {
                if (i + 1 < s.size() && s.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += ch;
            }
        } else if (ch == u'"') {
            quoted = true;
        } else if (ch == u',') {
            row << field;
            field.clear();
        } else if (ch == u'\r' && i + 1 < s.size() && s.at(i + 1) == u'\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
            ++i;
        } else {
            field += ch;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows << (row << field);
    return rows;
}

// Cell reference -> text of the first worksheet.
QMap<QString, QString> readSheet(const QString& xlsx)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, QStringLiteral("xl/worksheets/sheet1.xml")});
    unzip.waitForFinished();
    const QString xml = QString::fromUtf8(unzip.readAllStandardOutput());
    QMap<QString, QString> cells;
    static const QRegularExpression cell(QStringLiteral("<c r=\"([A-Z]+[0-9]+)\"[^>]*><is><t[^>]*>(.*?)</t></is></c>"),
                                         QRegularExpression::DotMatchesEverythingOption);
    for (auto it = cell.globalMatch(xml); it.hasNext();) {
        const auto m = it.next();
        QString t = m.captured(2);
        t.replace(QLatin1String("&lt;"), QLatin1String("<")).replace(QLatin1String("&gt;"), QLatin1String(">"));
        t.replace(QLatin1String("&quot;"), QLatin1String("\"")).replace(QLatin1String("&amp;"), QLatin1String("&"));
        cells.insert(m.captured(1), t);
    }
    return cells;
}

void fill(Grid& g)
{
    g.setCols(5);
    g.setRows(4);
    g.setHeaderText(0, QStringLiteral("序号"));
    g.setHeaderText(1, QStringLiteral("姓名"));
    g.setHeaderText(2, QStringLiteral("地址"));
    g.setHeaderText(3, QStringLiteral("hidden"));
    g.setHeaderText(4, QStringLiteral("卡号"));
    g.setColumnWidth(3, 0);
    g.setCellText(1, 1, QStringLiteral("张三"));
    g.setCellText(1, 2, QStringLiteral("一楼, \"东\"门"));
    g.setCellText(1, 3, QStringLiteral("secret"));
    g.setCellText(1, 4, QStringLiteral("0000001234"));
    g.setCellText(2, 1, QStringLiteral("Li"));
    g.setCellText(2, 2, QStringLiteral("line1\nline2"));
    // row 3 stays empty
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class GridExportTest : public QObject
{
    Q_OBJECT

private slots:
    void xlsxHoldsHeaderRowAndVisibleColumns();
    void csvIsUtf8WithQuoting();
    void virtualGridExportsFromItsSource();
    void cancelledChoiceWritesNothing();
    void unwritableTargetFailsWithReason();
    void failureKeepsTheOldFile();
    void modeFollowsTheUmask_data();
    void modeFollowsTheUmask();
};

void GridExportTest::xlsxHoldsHeaderRowAndVisibleColumns()
{
    QTemporaryDir dir;
    Grid g;
    fill(g);
    ScriptedDialogs dialogs;
    const QString path = dir.filePath(QStringLiteral("名单.xlsx"));
    dialogs.fileAnswers << path;
    const GridExportResult r = g.exportToFile(dialogs, {}, true, false);
    QVERIFY2(r.ok(), qPrintable(r.reason));
    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls.first().kind, ScriptedDialogs::Kind::SaveFile);
    QVERIFY(dialogs.calls.first().text.contains(QStringLiteral("Excel (*.xlsx)")));
    QVERIFY(dialogs.calls.first().text.contains(QStringLiteral("CSV (*.csv)")));
    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("名单.xlsx")});

    const auto cells = readSheet(path);
    QCOMPARE(cells.value("A1"), QStringLiteral("姓名"));
    QCOMPARE(cells.value("B1"), QStringLiteral("地址"));
    QCOMPARE(cells.value("C1"), QStringLiteral("卡号"));
    QCOMPARE(cells.value("A2"), QStringLiteral("张三"));
    QCOMPARE(cells.value("B2"), QStringLiteral("一楼, \"东\"门"));
    QCOMPARE(cells.value("C2"), QStringLiteral("0000001234")); // text, leading zeros kept
    QCOMPARE(cells.value("B3"), QStringLiteral("line1\nline2"));
    QVERIFY(!cells.values().contains(QStringLiteral("secret")));
    QVERIFY(!cells.values().contains(QStringLiteral("hidden")));
    QVERIFY(!cells.values().contains(QStringLiteral("序号")));
}

void GridExportTest::csvIsUtf8WithQuoting()
{
    QTemporaryDir dir;
    Grid g;
    fill(g);
    ScriptedDialogs dialogs;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    QVERIFY(g.exportToFile(dialogs, path).ok());
    QVERIFY(dialogs.calls.isEmpty()); // a given name asks nothing
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const auto rows = parseCsv(bytes.mid(3));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0], (QStringList{"姓名", "地址", "卡号"}));
    QCOMPARE(rows[1], (QStringList{"张三", "一楼, \"东\"门", "0000001234"}));
    QCOMPARE(rows[2], (QStringList{"Li", "line1\nline2", ""}));
    QCOMPARE(rows[3], (QStringList{"", "", ""}));

    // With row numbers, without the header row.
    const QString numbered = dir.filePath(QStringLiteral("n.CSV"));
    QVERIFY(g.exportToFile(dialogs, numbered, false, true).ok());
    QFile n(numbered);
    QVERIFY(n.open(QIODevice::ReadOnly));
    const auto nrows = parseCsv(n.readAll().mid(3));
    QCOMPARE(nrows.size(), 3);
    QCOMPARE(nrows[0].first(), QStringLiteral("1"));
    QCOMPARE(nrows[2], (QStringList{"3", "", "", ""}));

    QCOMPARE(k27::GridExporter::csvField(QStringLiteral("plain")), QStringLiteral("plain"));
    QCOMPARE(k27::GridExporter::csvField(QStringLiteral("a\"b")), QStringLiteral("\"a\"\"b\""));
    QCOMPARE(k27::GridExporter::csvField(QStringLiteral("a\rb")), QStringLiteral("\"a\rb\""));
    // Cells a spreadsheet would run as formulas stay text.
    QCOMPARE(k27::GridExporter::csvField(QStringLiteral("=HYPERLINK(\"x\")")),
             QStringLiteral("\"'=HYPERLINK(\"\"x\"\")\""));
    QCOMPARE(k27::GridExporter::csvField(QStringLiteral("@cmd")), QStringLiteral("'@cmd"));
    QCOMPARE(k27::GridExporter::csvField(QStringLiteral("a=b")), QStringLiteral("a=b"));
}

void GridExportTest::virtualGridExportsFromItsSource()
{
    QTemporaryDir dir;
    Grid g;
    g.setCols(3);
    g.setHeaderText(1, QStringLiteral("A"));
    g.setHeaderText(2, QStringLiteral("B"));
    g.setCellSource([](int r, int c) { return QStringLiteral("%1-%2").arg(r).arg(c); });
    g.setRows(1001);
    ScriptedDialogs dialogs;
    // No suffix: a workbook.
    const GridExportResult r = g.exportToFile(dialogs, dir.filePath(QStringLiteral("rows")));
    QVERIFY(r.ok());
    QCOMPARE(r.fileName, dir.filePath(QStringLiteral("rows.xlsx")));
    const auto cells = readSheet(r.fileName);
    QCOMPARE(cells.size(), 2 + 1000 * 2);
    QCOMPARE(cells.value("B1001"), QStringLiteral("1000-2"));
}

void GridExportTest::cancelledChoiceWritesNothing()
{
    QTemporaryDir dir;
    Grid g;
    fill(g);
    ScriptedDialogs dialogs; // no answer: the operator cancels
    const GridExportResult r = g.exportToFile(dialogs);
    QCOMPARE(r.status, GridExportResult::Status::Cancelled);
    QVERIFY(!r.ok());
    QCOMPARE(dialogs.calls.size(), 1);

    // Stopped by its progress (a close during the export): cancelled, not failed, no file left.
    for (const char* name : {"stopped.csv", "stopped.xlsx"}) {
        const GridExportResult stopped = g.exportToFile(dialogs, dir.filePath(QLatin1String(name)), true, false, {},
                                                        [](int done, int) { return done < 2; });
        QCOMPARE(stopped.status, GridExportResult::Status::Cancelled);
    }
    QCOMPARE(filesIn(dir.path()), QStringList{});
}

void GridExportTest::unwritableTargetFailsWithReason()
{
    QTemporaryDir dir;
    Grid g;
    fill(g);
    ScriptedDialogs dialogs;

    const QString noDir = dir.filePath(QStringLiteral("missing/out.xlsx"));
    GridExportResult r = g.exportToFile(dialogs, noDir);
    QCOMPARE(r.status, GridExportResult::Status::Failed);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY(!QFile::exists(noDir));

    QFile plain(dir.filePath(QStringLiteral("file")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    r = g.exportToFile(dialogs, dir.filePath(QStringLiteral("file/out.csv")));
    QCOMPARE(r.status, GridExportResult::Status::Failed);
    QVERIFY(!r.reason.isEmpty());

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken.csv")));
    r = g.exportToFile(dialogs, dir.filePath(QStringLiteral("taken.csv")));
    QCOMPARE(r.status, GridExportResult::Status::Failed);

    r = g.exportToFile(dialogs, dir.filePath(QStringLiteral("out.xls")));
    QCOMPARE(r.status, GridExportResult::Status::Failed);
    QVERIFY(r.reason.contains(QStringLiteral(".xls")));

    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("file")});
    QVERIFY(dialogs.calls.isEmpty()); // the grid shows no messages itself
}

void GridExportTest::failureKeepsTheOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.xlsx"));
    Grid small;
    fill(small);
    ScriptedDialogs dialogs;
    QVERIFY(small.exportToFile(dialogs, path).ok());
    const QByteArray before = [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    // More rows than a worksheet holds: refused, the earlier export stays as it was.
    Grid huge;
    huge.setCols(2);
    huge.setCellSource([](int, int) { return QStringLiteral("x"); });
    huge.setRows(1048577 + 1);
    const GridExportResult r = huge.exportToFile(dialogs, path);
    QCOMPARE(r.status, GridExportResult::Status::Failed);
    QVERIFY(r.reason.contains(QStringLiteral("csv")));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("list.xlsx")});
}

void GridExportTest::modeFollowsTheUmask_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("umask");
    for (const char* name : {"list.csv", "list.xlsx"})
        for (const int mask : {022, 027, 077})
            QTest::addRow("%s, umask %03o", name, mask) << QString::fromLatin1(name) << mask;
}

// An export is as open as the user's other new files, never more: with umask 077 the list
// of cardholders stays the user's own, also when it replaces an export that was open wider.
void GridExportTest::modeFollowsTheUmask()
{
    QFETCH(QString, name);
    QFETCH(int, umask);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    Grid g;
    fill(g);
    ScriptedDialogs dialogs;
    const mode_t before = ::umask(mode_t(umask));
    const bool first = g.exportToFile(dialogs, path).ok();
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
    const bool again = g.exportToFile(dialogs, path).ok();
    ::umask(before);
    QVERIFY(first && again);
    struct stat info
    {
    };
    QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 0777), 0666 & ~umask);
    QCOMPARE(filesIn(dir.path()), QStringList{name});
}

QTEST_MAIN(GridExportTest)
#include "GridExportTest.moc"
