#include "platform/GridDelegate.h"

#include "platform/GridModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace k27 {

namespace {
const char* const kChosen = "k27Chosen";
}

GridDelegate::GridDelegate(GridModel* model, QAbstractItemView* view)
    : QStyledItemDelegate(view), m_model(model), m_view(view)
{
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int col = index.column() + 1;
    const GridModel::Kind kind = m_model->kind(col);
    if (kind == GridModel::Kind::CheckBox) {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);
        // The tick box sits in the middle of the cell, however narrow it is.
        QStyleOptionViewItem box = opt;
        const int side = std::min({option.rect.width() - 2, option.rect.height() - 2,
                                   style->pixelMetric(QStyle::PM_IndicatorWidth, &opt, opt.widget)});
        box.rect = QRect(0, 0, side, side);
        box.rect.moveCenter(option.rect.center());
        box.state = opt.state & ~QStyle::State_HasFocus;
        box.state |= m_model->text(index.row() + 1, col) == QLatin1String("1") ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, opt.widget);
        return;
    }
    QStyledItemDelegate::paint(painter, option, index);
    if (kind == GridModel::Kind::DropDown && m_view->currentIndex() == index && option.rect.width() > 24) {
        // The current drop-down cell shows its arrow, as a combo box would.
        QStyleOption arrow;
        arrow.initFrom(m_view);
        arrow.rect = QRect(option.rect.right() - 14, option.rect.top(), 14, option.rect.height());
        QStyle* style = m_view->style();
        style->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, m_view);
    }
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int col = index.column() + 1;
    if (m_model->kind(col) != GridModel::Kind::DropDown)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* combo = new QComboBox(parent);
    combo->addItems(m_model->dropDownList(col));
    // Only a chosen item is written; leaving the box without choosing keeps the cell.
    connect(combo, &QComboBox::activated, this, [this, combo, col](int) {
        combo->setProperty(kChosen, true);
        auto* self = const_cast<GridDelegate*>(this);
        emit self->commitData(combo);
        emit self->closeEditor(combo);
        emit self->chosen(col);
    });
    return combo;
}

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo) {
        QStyledItemDelegate::setEditorData(editor, index);
        return;
    }
    combo->setCurrentIndex(combo->findText(m_model->text(index.row() + 1, index.column() + 1)));
    QTimer::singleShot(0, combo, [combo] {
        if (combo->isVisible())
            combo->showPopup();
    });
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    if (combo->property(kChosen).toBool() && combo->currentIndex() >= 0)
        model->setData(index, combo->currentText(), Qt::EditRole);
}

bool GridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                               const QModelIndex& index)
{
    const int col = index.column() + 1;
    if (m_model->kind(col) != GridModel::Kind::CheckBox)
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    // A click anywhere in the (narrow) cell toggles it; the second click of a
    // double-click toggles again, like two clicks.
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton && option.rect.contains(me->position().toPoint())) {
            m_model->toggle(index.row() + 1, col);
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonDblClick: return false;
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Space || ke->key() == Qt::Key_Select) {
            m_model->toggle(index.row() + 1, col);
            return true;
        }
        return false;
    }
    default: return false;
    }
}

} // namespace k27
