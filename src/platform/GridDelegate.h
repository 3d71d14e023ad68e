#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace k27 {

class GridModel;

// Draws and edits the grid's cells: tick boxes toggled by a click or Space,
// drop-down cells edited with a combo box offering the column's list.
class GridDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    GridDelegate(GridModel* model, QAbstractItemView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

signals:
    // An item of a drop-down list was chosen and written into the cell (grid column).
    void chosen(int col);

private:
    GridModel* m_model;
    QAbstractItemView* m_view;
};

} // namespace k27
