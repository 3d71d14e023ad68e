#pragma once

#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QTime>

namespace k27 {

class Grid;

// How a grid is laid out on paper. Lengths are in centimetres, measured from
// the paper's edges: the page header text starts `headerMargin` below the top
// edge, the table between `top` and `bottom`, the footer text starts
// `footerMargin` above the bottom edge.
struct GridPageSetup
{
    QString title; // page header text
    QFont headerFont;
    Qt::Alignment headerAlignment = Qt::AlignHCenter;
    // Footer text; &N = number of pages, &P = page number, &D = date of printing.
    // Runs of eight or more blanks split it into parts that are laid out
    // across the page (see GridPrinter), so long blank runs never push text off the paper.
    QString footerText;
    QFont footerFont;
    Qt::Alignment footerAlignment = Qt::AlignLeft;

    double marginLeft = 1.0;
    double marginRight = 1.0;
    double marginTop = 1.5;
    double marginBottom = 1.5;
    double headerMargin = 0.5;
    double footerMargin = 1.0;

    QPageSize::PageSizeId paper = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;

    bool printGridLines = true;
    bool repeatHeaderRow = true; // the header row heads every page
    bool printRowNumbers = true; // column 0, when it is visible on screen
    bool printPageHeader = true;
    bool printPageFooter = true;
    int firstPageNumber = 1;
};

// The list print set-up: title 12 pt bold centred, footer with page count,
// page number, date and the time of this call, 8 pt left; narrow side margins,
// A4, portrait when `portrait` is not 0, landscape otherwise.
GridPageSetup listPrintSetup(int portrait, const QString& title, const QTime& now);

// Prepares `grid` for printing a list (listPrintSetup with the current time).
void SetPrin(int portrait, Grid& grid, const QString& title);

} // namespace k27
