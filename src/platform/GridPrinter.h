#pragma once

#include "platform/GridPageSetup.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class QPainter;
class QPrinter;

namespace k27 {

class Grid;

// Lays a grid out on pages as its page set-up says: page header, the table
// with the header row on every page and every data row over as many pages as
// needed (columns scaled down when they are wider than the paper), page footer.
class GridPrinter
{
public:
    explicit GridPrinter(const Grid& grid);

    // Paper, orientation and full-page mode of the set-up; margins are drawn by the printer itself.
    static void applyLayout(const GridPageSetup& setup, QPrinter* printer);
    // Replaces &N, &P and &D (&& is a literal &).
    static QString expandCodes(const QString& text, int pages, int page, const QDate& date);
    // The footer split at runs of eight or more blanks into the parts laid out
    // across the page: one part follows the footer alignment; of two, the first
    // is centred and the second right-aligned; of more, first left, last right,
    // the rest centred.
    static QStringList footerParts(const QString& text);

    // The pages to print from the operator's answer to "how many?": its number, at most
    // `pages`; 0 (print nothing) for an empty, cancelled or unreadable answer.
    static int pagesFromAnswer(const QString& answer, int pages);

    // Number of pages the grid needs on `printer` (after applyLayout).
    int pageCount(QPrinter* printer) const;
    // Prints only the first `pages` pages (0: all).
    void setPageLimit(int pages) { m_pageLimit = pages; }
    // Applies the layout and paints every page. False when the printer cannot be opened.
    bool render(QPrinter* printer) const;

private:
    struct Metrics;
    Metrics metrics(QPrinter* printer) const;
    void paintPage(QPainter& p, const Metrics& m, int page, int pages, const QDate& date) const;
    void paintTableRow(QPainter& p, const Metrics& m, int row, double y, bool header) const;

    const Grid& m_grid;
    const GridPageSetup& m_setup;
    QList<int> m_columns; // grid columns printed, in order
    int m_pageLimit = 0;
};

} // namespace k27
