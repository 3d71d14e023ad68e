// Grid printing through PDF: pages, page header, footer per page, orientation,
// every row printed once with the header row on each page.
#include "platform/Grid.h"
#include "platform/GridPageSetup.h"
#include "platform/GridPrinter.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using k27::Grid;
using k27::GridPrinter;

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString& pdf)
{
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(run("pdfinfo", {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QSizeF pdfPageSize(const QString& pdf)
{
    const auto m = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"))
                       .match(run("pdfinfo", {pdf}));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

QString pageText(const QString& pdf, int page)
{
    return run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), "-layout", pdf, "-"});
}

void terminalList(Grid& g, int n)
{
    g.setCols(3);
    g.setColumnWidth(0, 50);
    g.setColumnWidth(1, 100);
    g.setColumnWidth(2, 600);
    g.setHeaderText(0, QStringLiteral("序号"));
    g.setHeaderText(1, QStringLiteral("终端机号"));
    g.setHeaderText(2, QStringLiteral("安装地址"));
    g.setCellSource([](int r, int c) {
        return c == 1 ? QString::number(r) : QStringLiteral("地址%1号").arg(r, 4, 10, QLatin1Char('0'));
    });
    g.setRows(n + 1);
}

} // namespace

class GridPrintTest : public QObject
{
    Q_OBJECT

private slots:
    void setPrinFillsThePageSetup();
    void footerCodesAndParts();
    void portraitListOverSeveralPages();
    void landscapeAndWideColumnsFitThePage();
    void emptyGridPrintsHeaderPage();
    void longPrintAsksHowManyPages();
    void previewOpensWithinTheScreen_data();
    void previewOpensWithinTheScreen();
};

void GridPrintTest::setPrinFillsThePageSetup()
{
    Grid g;
    k27::SetPrin(1, g, QStringLiteral("终端机信息列表"));
    const k27::GridPageSetup& s = g.pageSetup();
    QCOMPARE(s.title, QStringLiteral("终端机信息列表"));
    QCOMPARE(s.headerFont.pointSize(), 12);
    QVERIFY(s.headerFont.bold());
    QCOMPARE(s.headerAlignment, Qt::AlignHCenter);
    QCOMPARE(s.footerFont.pointSize(), 8);
    QCOMPARE(s.orientation, QPageLayout::Portrait);
    QCOMPARE(s.paper, QPageSize::A4);
    const QRegularExpression footer(
        QStringLiteral("^ {90}共 &N 页,第 &P 页 {41}打印日期:&D {3}时间：\\d\\d:\\d\\d:\\d\\d$"));
    QVERIFY2(footer.match(s.footerText).hasMatch(), qPrintable(s.footerText));

    k27::SetPrin(0, g, QStringLiteral("用户信息列表"));
    QCOMPARE(g.pageSetup().orientation, QPageLayout::Landscape);
    k27::SetPrin(-1, g, QStringLiteral("x"));
    QCOMPARE(g.pageSetup().orientation, QPageLayout::Portrait);

    const auto fixed = k27::listPrintSetup(1, QStringLiteral("t"), QTime(9, 5, 7));
    QVERIFY(fixed.footerText.endsWith(QStringLiteral("时间：09:05:07")));
}

void GridPrintTest::footerCodesAndParts()
{
    const QDate d(2026, 3, 4);
    QCOMPARE(GridPrinter::expandCodes(QStringLiteral("共 &N 页,第 &P 页 &D &&N &x"), 12, 3, d),
             QStringLiteral("共 12 页,第 3 页 2026-03-04 &N &x"));
    const QStringList parts = GridPrinter::footerParts(k27::listPrintSetup(1, {}, QTime(1, 2, 3)).footerText);
    QCOMPARE(parts, (QStringList{QStringLiteral("共 &N 页,第 &P 页"), QStringLiteral("打印日期:&D   时间：01:02:03")}));
    QCOMPARE(GridPrinter::footerParts(QStringLiteral("  a  b  ")), QStringList{QStringLiteral("a  b")});
    QCOMPARE(GridPrinter::footerParts(QStringLiteral("a          b          c")), (QStringList{"a", "b", "c"}));
}

void GridPrintTest::portraitListOverSeveralPages()
{
    QTemporaryDir dir;
    Grid g;
    terminalList(g, 150);
    k27::SetPrin(1, g, QStringLiteral("终端机信息列表"));
    const QString pdf = dir.filePath(QStringLiteral("terminals.pdf"));
    QVERIFY(g.printToPdf(pdf));

    const int pages = pdfPages(pdf);
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    const QSizeF size = pdfPageSize(pdf);
    QVERIFY(qAbs(size.width() - 595.3) < 1 && qAbs(size.height() - 841.9) < 1); // A4 portrait

    const QString time = g.pageSetup().footerText.right(8);
    const QString date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QMap<int, int> seen; // row -> how often printed
    static const QRegularExpression rowAddress(QStringLiteral("地址(\\d{4})号"));
    for (int p = 1; p <= pages; ++p) {
        const QString text = pageText(pdf, p);
        QVERIFY2(text.contains(QStringLiteral("终端机信息列表")), qPrintable(QString::number(p)));
        QVERIFY(text.contains(QStringLiteral("安装地址"))); // header row on every page
        QVERIFY(text.contains(QStringLiteral("共 %1 页,第 %2 页").arg(pages).arg(p)));
        QVERIFY(text.contains(QStringLiteral("打印日期:") + date));
        QVERIFY(text.contains(QStringLiteral("时间：") + time));
        for (auto it = rowAddress.globalMatch(text); it.hasNext();)
            ++seen[it.next().captured(1).toInt()];
    }
    QCOMPARE(seen.size(), 150);
    QCOMPARE(seen.firstKey(), 1);
    QCOMPARE(seen.lastKey(), 150);
    for (int count : seen)
        QCOMPARE(count, 1);
}

void GridPrintTest::landscapeAndWideColumnsFitThePage()
{
    QTemporaryDir dir;
    Grid g;
    g.setCols(10);
    for (int c = 1; c < 10; ++c) {
        g.setColumnWidth(c, 400); // far wider than the paper: scaled down
        g.setHeaderText(c, QStringLiteral("列%1").arg(c));
    }
    g.setColumnKind(5, Grid::ColumnKind::CheckBox);
    g.setRows(41);
    g.setCellText(40, 9, QStringLiteral("最后一格"));
    k27::SetPrin(0, g, QStringLiteral("用户信息列表"));
    const QString pdf = dir.filePath(QStringLiteral("wide.pdf"));
    QVERIFY(g.printToPdf(pdf));
    const QSizeF size = pdfPageSize(pdf);
    QVERIFY(size.width() > size.height()); // landscape
    const int pages = pdfPages(pdf);
    QVERIFY(pages >= 1);
    const QString last = pageText(pdf, pages);
    QVERIFY(last.contains(QStringLiteral("列9")));
    QVERIFY(last.contains(QStringLiteral("最后一格")));
    QVERIFY(last.contains(QStringLiteral("用户信息列表")));
}

void GridPrintTest::emptyGridPrintsHeaderPage()
{
    QTemporaryDir dir;
    Grid g;
    terminalList(g, 0);
    const QString pdf = dir.filePath(QStringLiteral("empty.pdf"));
    // Never set up: plain A4 portrait, no header or footer texts.
    QVERIFY(g.printToPdf(pdf));
    QCOMPARE(pdfPages(pdf), 1);
    QVERIFY(pageText(pdf, 1).contains(QStringLiteral("安装地址")));
    QVERIFY(!g.printToPdf(dir.filePath(QStringLiteral("no/such/dir/x.pdf"))));
}

void GridPrintTest::longPrintAsksHowManyPages()
{
    const struct
    {
        const char* answer;
        int pages;
        int expected;
    } answers[] = {{"2", 5000, 2}, {" 7 ", 5000, 7}, {"99999", 5000, 5000}, {"", 5000, 0},
                   {"0", 5000, 0}, {"-3", 5000, 0},  {"abc", 5000, 0}};
    for (const auto& a : answers)
        QCOMPARE(GridPrinter::pagesFromAnswer(QString::fromUtf8(a.answer), a.pages), a.expected);

    QTemporaryDir dir;
    Grid g;
    QList<int> asked;
    QString answer = QStringLiteral("2");
    Grid::setPrintPagesQuestion([&](QWidget*, int pages) {
        asked << pages;
        return answer;
    });
    const auto print = [&](int rows) {
        terminalList(g, rows);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("long.pdf")));
        const int pages = g.choosePrintPages(&printer, nullptr);
        if (pages > 0)
            g.renderTo(&printer);
        return pages;
    };
    QVERIFY(print(100) > 1); // a short list prints whole without a question
    QVERIFY(asked.isEmpty());
    QCOMPARE(print(1000000), 2);
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked[0] > Grid::LargePrintPages);
    QCOMPARE(pdfPages(dir.filePath(QStringLiteral("long.pdf"))), 2);
    answer.clear(); // cancelled: nothing is printed
    QCOMPARE(print(1000000), 0);
    Grid::setPrintPagesQuestion({});
}

void GridPrintTest::previewOpensWithinTheScreen_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1920x1080") << QRect(0, 0, 1920, 1050) << QSize(1000, 760);
    QTest::newRow("1366x768, panel below") << QRect(0, 0, 1366, 740) << QSize(1000, 702);
    QTest::newRow("1024x768, panel above") << QRect(0, 28, 1024, 740) << QSize(1000, 702);
    QTest::newRow("800x600, second screen") << QRect(1366, 0, 800, 600) << QSize(788, 562);
}

// Title bar and bottom edge on the screen, as the main window's.
void GridPrintTest::previewOpensWithinTheScreen()
{
    QFETCH(QRect, available);
    QFETCH(QSize, size);
    const QRect preview = Grid::previewGeometry(available);
    QCOMPARE(preview.size(), size);
    QVERIFY(available.contains(preview.marginsAdded(QMargins(6, 32, 6, 6))));
}

QTEST_MAIN(GridPrintTest)
#include "GridPrintTest.moc"
