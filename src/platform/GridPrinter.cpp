#include "platform/GridPrinter.h"

#include "platform/Grid.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QRegularExpression>
#include <QTableView>

#include <cmath>

namespace k27 {

struct GridPrinter::Metrics
{
    double dpi = 0;
    double paperW = 0, paperH = 0;
    double bodyLeft = 0, bodyTop = 0, bodyW = 0, bodyH = 0;
    double scale = 1;         // table units -> device pixels
    QList<double> colX, colW; // table units (device pixels before scaling)
    double tableW = 0;
    double rowH = 0;
    int rowsFirst = 1, rowsOther = 1, pages = 1;
    QFont bodyFont;
    double pad = 0, line = 0;
};

GridPrinter::GridPrinter(const Grid& grid) : m_grid(grid), m_setup(grid.pageSetup())
{
    if (m_setup.printRowNumbers && !grid.isColumnHidden(0))
        m_columns.append(0);
    for (int c = 1; c < grid.cols(); ++c)
        if (!grid.isColumnHidden(c))
            m_columns.append(c);
}

void GridPrinter::applyLayout(const GridPageSetup& setup, QPrinter* printer)
{
    printer->setFullPage(true);
    printer->setPageLayout(
        QPageLayout(QPageSize(setup.paper), setup.orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

QString GridPrinter::expandCodes(const QString& text, int pages, int page, const QDate& date)
{
    QString out;
    out.reserve(text.size() + 16);
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch != QLatin1Char('&') || i + 1 >= text.size()) {
            out += ch;
            continue;
        }
        const QChar code = text.at(i + 1).toUpper();
        if (code == QLatin1Char('N'))
            out += QString::number(pages);
        else if (code == QLatin1Char('P'))
            out += QString::number(page);
        else if (code == QLatin1Char('D'))
            out += date.toString(QStringLiteral("yyyy-MM-dd"));
        else if (code == QLatin1Char('&'))
            out += QLatin1Char('&');
        else {
            out += ch;
            continue;
        }
        ++i;
    }
    return out;
}

QStringList GridPrinter::footerParts(const QString& text)
{
    static const QRegularExpression gap(QStringLiteral(" {8,}"));
    QStringList parts;
    for (const QString& part : text.split(gap)) {
        const QString t = part.trimmed();
        if (!t.isEmpty())
            parts.append(t);
    }
    return parts;
}

GridPrinter::Metrics GridPrinter::metrics(QPrinter* printer) const
{
    Metrics m;
    m.dpi = printer->resolution();
    m.paperW = printer->width();
    m.paperH = printer->height();
    const double cm = m.dpi / 2.54;
    // A real printer cannot print up to the paper's edge: its minimum margins
    // win over narrower ones of the set-up (PDF has none).
    const QMarginsF least = printer->pageLayout().minimumMargins() / 10.0; // mm -> cm
    const double left = std::max(m_setup.marginLeft, least.left());
    const double right = std::max(m_setup.marginRight, least.right());
    const double top = std::max(m_setup.marginTop, least.top());
    const double bottom = std::max(m_setup.marginBottom, least.bottom());
    m.bodyLeft = left * cm;
    m.bodyTop = top * cm;
    m.bodyW = std::max(1.0, m.paperW - (left + right) * cm);
    m.bodyH = std::max(1.0, m.paperH - (top + bottom) * cm);

    // Screen pixels become 1/96 inch on paper.
    const double px = m.dpi / 96.0;
    double x = 0;
    for (int c : m_columns) {
        const double w = std::max(1, m_grid.columnWidth(c)) * px;
        m.colX.append(x);
        m.colW.append(w);
        x += w;
    }
    m.tableW = x;
    m.scale = (m.tableW > m.bodyW) ? m.bodyW / m.tableW : 1.0;

    m.bodyFont = m_grid.view()->font();
    const QFontMetricsF fm(m.bodyFont, printer);
    m.rowH = std::max(double(m_grid.rowHeight()) * px, fm.height() * 1.3);
    m.pad = 3 * px;
    m.line = std::max(1.0, m.dpi / 200.0);

    const double avail = m.bodyH / m.scale;
    m.rowsFirst = std::max(1, int(std::floor((avail - m.rowH) / m.rowH)));
    m.rowsOther = m_setup.repeatHeaderRow ? m.rowsFirst : std::max(1, int(std::floor(avail / m.rowH)));
    const int dataRows = std::max(0, m_grid.rows() - 1);
    m.pages = 1;
    if (dataRows > m.rowsFirst)
        m.pages += (dataRows - m.rowsFirst + m.rowsOther - 1) / m.rowsOther;
    return m;
}

int GridPrinter::pagesFromAnswer(const QString& answer, int pages)
{
    bool ok = false;
    const qlonglong n = answer.trimmed().toLongLong(&ok);
    if (!ok || n <= 0)
        return 0;
    return int(qMin<qlonglong>(n, pages));
}

int GridPrinter::pageCount(QPrinter* printer) const
{
    return metrics(printer).pages;
}

bool GridPrinter::render(QPrinter* printer) const
{
    applyLayout(m_setup, printer);
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    Metrics m = metrics(printer);
    // The pages left out are not counted either: "page 3 of N" speaks of the printed pages.
    if (m_pageLimit > 0 && m_pageLimit < m.pages)
        m.pages = m_pageLimit;
    const QDate today = QDate::currentDate();
    for (int page = 1; page <= m.pages; ++page) {
        if (page > 1 && !printer->newPage())
            break;
        paintPage(painter, m, page, m.pages, today);
    }
    return painter.end();
}

void GridPrinter::paintPage(QPainter& p, const Metrics& m, int page, int pages, const QDate& date) const
{
    const int number = page - 1 + m_setup.firstPageNumber;
    const int lastNumber = pages - 1 + m_setup.firstPageNumber;
    const double cm = m.dpi / 2.54;

    if (m_setup.printPageHeader && !m_setup.title.isEmpty()) {
        p.setFont(m_setup.headerFont);
        p.setPen(Qt::black);
        const QRectF band(m.bodyLeft, m_setup.headerMargin * cm, m.bodyW,
                          std::max(1.0, m.bodyTop - m_setup.headerMargin * cm));
        const QString text = expandCodes(m_setup.title, lastNumber, number, date);
        p.drawText(band, int(m_setup.headerAlignment | Qt::AlignTop) | Qt::TextDontClip, text);
    }

    if (m_setup.printPageFooter && !m_setup.footerText.isEmpty()) {
        p.setFont(m_setup.footerFont);
        p.setPen(Qt::black);
        const QRectF band(m.bodyLeft, m.paperH - m_setup.footerMargin * cm, m.bodyW, m_setup.footerMargin * cm);
        const QStringList parts = footerParts(expandCodes(m_setup.footerText, lastNumber, number, date));
        const int flags = Qt::AlignTop | Qt::TextDontClip;
        if (parts.size() == 1) {
            p.drawText(band, flags | int(m_setup.footerAlignment & Qt::AlignHorizontal_Mask), parts.first());
        } else if (parts.size() == 2) {
            p.drawText(band, flags | Qt::AlignHCenter, parts.at(0));
            p.drawText(band, flags | Qt::AlignRight, parts.at(1));
        } else if (parts.size() > 2) {
            p.drawText(band, flags | Qt::AlignLeft, parts.first());
            p.drawText(band, flags | Qt::AlignHCenter, parts.mid(1, parts.size() - 2).join(QStringLiteral("    ")));
            p.drawText(band, flags | Qt::AlignRight, parts.last());
        }
    }

    p.save();
    p.translate(m.bodyLeft, m.bodyTop);
    p.scale(m.scale, m.scale);
    p.setFont(m.bodyFont);
    double y = 0;
    int first = 1;
    int count = m.rowsFirst;
    if (page > 1) {
        first = 1 + m.rowsFirst + (page - 2) * m.rowsOther;
        count = m.rowsOther;
    }
    if (page == 1 || m_setup.repeatHeaderRow) {
        paintTableRow(p, m, 0, y, true);
        y += m.rowH;
    }
    const int last = std::min(m_grid.rows() - 1, first + count - 1);
    for (int r = first; r <= last; ++r) {
        paintTableRow(p, m, r, y, false);
        y += m.rowH;
    }
    p.restore();
}

void GridPrinter::paintTableRow(QPainter& p, const Metrics& m, int row, double y, bool header) const
{
    const QPen gridPen(QColor(60, 60, 60), m.line);
    const QFontMetricsF fm(p.font(), p.device());
    for (int i = 0; i < m_columns.size(); ++i) {
        const int col = m_columns.at(i);
        QRectF cell(m.colX.at(i), y, m.colW.at(i), m.rowH);
        QString text;
        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
        if (header) {
            const auto [mFirst, mLast] = m_grid.headerMergeOf(col);
            if (mFirst != mLast && col >= 1) {
                // A merged range is drawn once, by its first printed column.
                if (i > 0 && m_columns.at(i - 1) >= mFirst && m_columns.at(i - 1) <= mLast)
                    continue;
                int j = i;
                while (j + 1 < m_columns.size() && m_columns.at(j + 1) <= mLast)
                    ++j;
                cell.setRight(m.colX.at(j) + m.colW.at(j));
                for (int c = mFirst; c <= mLast && text.isEmpty(); ++c)
                    text = m_grid.headerText(c);
            } else {
                text = m_grid.headerText(col);
            }
            align = Qt::AlignCenter;
            p.fillRect(cell, QColor(225, 225, 225));
        } else if (col == 0) {
            text = QString::number(row);
            align = Qt::AlignCenter;
            p.fillRect(cell, QColor(240, 240, 240));
        } else if (m_grid.columnKind(col) == Grid::ColumnKind::CheckBox) {
            const double side = std::min(cell.width(), cell.height()) * 0.55;
            QRectF box(0, 0, side, side);
            box.moveCenter(cell.center());
            p.setPen(QPen(Qt::black, m.line));
            p.drawRect(box);
            if (m_grid.cellText(row, col) == QLatin1String("1")) {
                QPainterPath tick;
                tick.moveTo(box.left() + side * 0.2, box.top() + side * 0.5);
                tick.lineTo(box.left() + side * 0.42, box.top() + side * 0.75);
                tick.lineTo(box.left() + side * 0.8, box.top() + side * 0.25);
                p.setPen(QPen(Qt::black, m.line * 2));
                p.drawPath(tick);
            }
        } else {
            text = m_grid.cellText(row, col);
        }
        if (!text.isEmpty()) {
            const QRectF inner = cell.adjusted(m.pad, 0, -m.pad, 0);
            p.setPen(Qt::black);
            p.drawText(inner, int(align) | Qt::TextSingleLine, fm.elidedText(text, Qt::ElideRight, inner.width()));
        }
        if (m_setup.printGridLines) {
            p.setPen(gridPen);
            p.setBrush(Qt::NoBrush);
            p.drawRect(cell);
        }
    }
}

} // namespace k27
