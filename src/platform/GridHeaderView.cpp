#include "platform/GridHeaderView.h"

#include "platform/GridModel.h"

#include <QPainter>
#include <QStyleOptionHeader>

namespace k27 {

GridHeaderView::GridHeaderView(const GridModel* model, QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), m_model(model)
{
    setDefaultAlignment(Qt::AlignCenter);
    // A click on the header row must not select a whole column of a million rows.
    setSectionsClickable(false);
    setHighlightSections(false);
}

void GridHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    const auto [first, last] = m_model->mergeOf(logicalIndex + 1);
    if (first == last) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // Every section of the range paints the whole range, so whichever part of
    // it is exposed, the cell looks the same.
    int left = INT_MAX;
    int right = INT_MIN;
    for (int c = first; c <= last; ++c) {
        const int s = c - 1;
        if (isSectionHidden(s) || sectionSize(s) == 0)
            continue;
        const int x = sectionViewportPosition(s);
        left = std::min(left, x);
        right = std::max(right, x + sectionSize(s));
    }
    if (left >= right)
        return;

    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = QRect(left, rect.top(), right - left, rect.height());
    opt.section = logicalIndex;
    opt.text = m_model->mergedHeaderText(first);
    opt.textAlignment = defaultAlignment();
    opt.position = QStyleOptionHeader::Middle;
    painter->save();
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    painter->restore();
}

} // namespace k27
