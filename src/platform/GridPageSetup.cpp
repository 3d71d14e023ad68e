#include "platform/GridPageSetup.h"

#include "platform/Grid.h"

namespace k27 {

GridPageSetup listPrintSetup(int portrait, const QString& title, const QTime& now)
{
    GridPageSetup s;
    s.title = title;
    s.headerFont.setPointSize(12);
    s.headerFont.setBold(true);
    s.headerAlignment = Qt::AlignHCenter;
    // The time is fixed here, so every page of one printout shows the same time;
    // page numbers and the date are filled in per page.
    s.footerText = QString(90, QLatin1Char(' ')) + QStringLiteral("共 &N 页,第 &P 页") + QString(41, QLatin1Char(' '))
                   + QStringLiteral("打印日期:&D") + QString(3, QLatin1Char(' ')) + QStringLiteral("时间：")
                   + now.toString(QStringLiteral("hh:mm:ss"));
    s.footerAlignment = Qt::AlignLeft;
    s.footerFont.setPointSize(8);
    s.marginLeft = 0.1;
    s.marginRight = 0.1;
    s.marginTop = 1.5;
    s.marginBottom = 1.0;
    s.headerMargin = 0.5;
    s.footerMargin = 1.0;
    s.paper = QPageSize::A4;
    s.orientation = portrait != 0 ? QPageLayout::Portrait : QPageLayout::Landscape;
    s.printGridLines = true;
    s.repeatHeaderRow = true;
    s.printRowNumbers = true;
    s.printPageHeader = true;
    s.printPageFooter = true;
    s.firstPageNumber = 1;
    return s;
}

void SetPrin(int portrait, Grid& grid, const QString& title)
{
    grid.setPageSetup(listPrintSetup(portrait, title, QTime::currentTime()));
}

} // namespace k27
