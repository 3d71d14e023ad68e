#pragma once

#include <QHeaderView>

namespace k27 {

class GridModel;

// The grid's header row. Draws a merged range of header cells as one cell.
class GridHeaderView final : public QHeaderView
{
    Q_OBJECT

public:
    GridHeaderView(const GridModel* model, QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    const GridModel* m_model;
};

} // namespace k27
