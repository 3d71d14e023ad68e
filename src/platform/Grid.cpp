#include "platform/Grid.h"

#include "platform/GridDelegate.h"
#include "platform/GridHeaderView.h"
#include "platform/GridModel.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QVBoxLayout>

namespace k27 {

namespace {

// Paints the header text of column 0 on the table's corner button.
class CornerPainter final : public QObject
{
public:
    CornerPainter(const GridModel* model, QObject* parent) : QObject(parent), m_model(model) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        auto* button = static_cast<QWidget*>(watched);
        QPainter painter(button);
        QStyleOptionHeader opt;
        opt.initFrom(button);
        opt.rect = button->rect();
        opt.text = m_model->headerText(0);
        opt.textAlignment = Qt::AlignCenter;
        opt.position = QStyleOptionHeader::OnlyOneSection;
        // The button is disabled (it would select a million rows); its caption is not.
        opt.state |= QStyle::State_Enabled;
        opt.palette.setCurrentColorGroup(QPalette::Active);
        button->style()->drawControl(QStyle::CE_Header, &opt, &painter, button);
        return true;
    }

private:
    const GridModel* m_model;
};

// Enter and F2 on a row outside editing: the same notification as a double-click, so a row
// can be taken up without the mouse.
class RowKeys final : public QObject
{
public:
    RowKeys(QTableView* view, std::function<void()> open) : QObject(view), m_view(view), m_open(std::move(open)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // An open cell editor has the keys itself; these reach the table only outside editing.
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_F2)
            return false;
        if (m_view->currentIndex().isValid())
            m_open();
        return true;
    }

private:
    QTableView* m_view;
    std::function<void()> m_open;
};

GridModel::Kind toModelKind(Grid::ColumnKind kind)
{
    switch (kind) {
    case Grid::ColumnKind::CheckBox: return GridModel::Kind::CheckBox;
    case Grid::ColumnKind::DropDown: return GridModel::Kind::DropDown;
    case Grid::ColumnKind::Text: break;
    }
    return GridModel::Kind::Text;
}

} // namespace

Grid::Grid(QWidget* parent) : QWidget(parent)
{
    m_model = new GridModel(this);
    m_view = new QTableView(this);
    m_header = new GridHeaderView(m_model, m_view);
    m_view->setHorizontalHeader(m_header);
    m_view->setModel(m_model);
    m_delegate = new GridDelegate(m_model, m_view);
    m_view->setItemDelegate(m_delegate);

    // Uniform fixed row heights: the view never measures rows, so a million
    // rows cost no more than a screenful.
    QHeaderView* vh = m_view->verticalHeader();
    vh->setSectionResizeMode(QHeaderView::Fixed);
    vh->setDefaultSectionSize(22);
    vh->setDefaultAlignment(Qt::AlignCenter);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    // Tick-box columns are 20 pixels wide; the style's minimum would widen them.
    m_header->setMinimumSectionSize(4);
    m_header->setFixedHeight(24);
    m_view->setWordWrap(false);
    m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_view->setSelectionMode(QAbstractItemView::ContiguousSelection);
    // Double-click is the pages' notification; typing or F2 edits a cell.
    m_view->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    m_view->setCornerButtonEnabled(false);
    // Tab leaves the grid like any other control; the arrows move inside it.
    m_view->setTabKeyNavigation(false);
    if (auto* corner = m_view->findChild<QAbstractButton*>())
        corner->installEventFilter(new CornerPainter(m_model, this));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    m_widths = {-1};
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now, const QModelIndex& before) {
                onCurrentChanged(before.isValid() ? before.row() : -1, before.isValid() ? before.column() : -1,
                                 now.isValid() ? now.row() : -1, now.isValid() ? now.column() : -1);
            });
    connect(m_view, &QTableView::clicked, this, [this](const QModelIndex& i) { onViewClicked(i.row(), i.column()); });
    connect(m_view, &QTableView::doubleClicked, this, [this] { emit doubleClicked(); });
    connect(vh, &QHeaderView::sectionClicked, this, [this] { emit clicked(); });
    // The row number belongs to its row: a double-click there chooses the row as well.
    connect(vh, &QHeaderView::sectionDoubleClicked, this, [this](int section) {
        selectRow(section + 1);
        emit doubleClicked();
    });
    connect(m_delegate, &GridDelegate::chosen, this, [this](int col) { emit dropDownChosen(col); });
}

Grid::~Grid() = default;

int Grid::rows() const
{
    return m_model->gridRows();
}
void Grid::setRows(int n)
{
    m_model->setGridRows(n);
    fitRowNumbers();
}

void Grid::fitRowNumbers()
{
    const int set = m_widths.value(0, -1);
    if (set <= 0)
        return;
    // The current row's number is bold; a few pixels of margin as the header draws.
    QFont bold = m_view->verticalHeader()->font();
    bold.setBold(true);
    const int needed = QFontMetrics(bold).horizontalAdvance(QString::number(qMax(1, rows() - 1))) + 8;
    m_view->verticalHeader()->setFixedWidth(qMax(set, needed));
}
int Grid::cols() const
{
    return m_model->gridCols();
}

void Grid::setCols(int n)
{
    m_model->setGridCols(n);
    const int count = m_model->gridCols();
    const int old = int(m_widths.size());
    m_widths.resize(count);
    for (int c = old; c < count; ++c) {
        m_widths[c] = -1;
        applyColumnWidth(c);
    }
}

QString Grid::cellText(int row, int col) const
{
    return m_model->text(row, col);
}
void Grid::setCellText(int row, int col, const QString& text)
{
    m_model->setText(row, col, text);
}
void Grid::clearCells()
{
    m_model->clearCells();
}

void Grid::setColumnWidth(int col, int width)
{
    if (col < 0 || col >= cols())
        return;
    m_widths[col] = std::max(0, width);
    applyColumnWidth(col);
}

void Grid::applyColumnWidth(int col)
{
    const int w = m_widths.value(col, -1);
    if (col == 0) {
        QHeaderView* vh = m_view->verticalHeader();
        vh->setVisible(w != 0);
        fitRowNumbers();
        return;
    }
    m_view->setColumnHidden(col - 1, w == 0);
    if (w > 0)
        m_view->setColumnWidth(col - 1, w);
}

int Grid::columnWidth(int col) const
{
    if (col < 0 || col >= cols())
        return 0;
    if (col == 0) {
        const int w = m_widths.value(0, -1);
        if (w >= 0)
            return w;
        return m_view->verticalHeader()->sizeHint().width();
    }
    return m_header->isSectionHidden(col - 1) ? 0 : m_header->sectionSize(col - 1);
}

bool Grid::isColumnHidden(int col) const
{
    return columnWidth(col) == 0;
}

void Grid::setHeaderText(int col, const QString& text)
{
    m_model->setHeaderText(col, text);
    if (col == 0)
        m_view->update();
}

QString Grid::headerText(int col) const
{
    return m_model->headerText(col);
}

void Grid::mergeHeader(int c1, int c2)
{
    m_model->addMerge(c1, c2);
    m_header->viewport()->update();
}

void Grid::clearHeaderMerges()
{
    m_model->clearMerges();
    m_header->viewport()->update();
}

std::pair<int, int> Grid::headerMergeOf(int col) const
{
    return m_model->mergeOf(col);
}

int Grid::headerCaptionWidth(int col) const
{
    const auto [first, last] = m_model->mergeOf(col);
    const QString text = first == last ? m_model->headerText(col) : m_model->mergedHeaderText(first);
    if (text.isEmpty())
        return 0;
    // Measured as the style draws a header cell: the caption plus the cell's margins.
    const QHeaderView* header = col == 0 ? m_view->verticalHeader() : m_header;
    QStyleOptionHeader opt;
    opt.initFrom(header);
    opt.text = text;
    opt.fontMetrics = header->fontMetrics();
    return header->style()->sizeFromContents(QStyle::CT_HeaderSection, &opt, QSize(), header).width();
}

void Grid::setColumnPosition(int col, int position)
{
    if (col < 1 || col >= cols() || position < 1 || position >= cols())
        return;
    m_header->moveSection(m_header->visualIndex(col - 1), position - 1);
}

void Grid::setColumnKind(int col, ColumnKind kind)
{
    m_model->setKind(col, toModelKind(kind));
}

Grid::ColumnKind Grid::columnKind(int col) const
{
    switch (m_model->kind(col)) {
    case GridModel::Kind::CheckBox: return ColumnKind::CheckBox;
    case GridModel::Kind::DropDown: return ColumnKind::DropDown;
    case GridModel::Kind::Text: break;
    }
    return ColumnKind::Text;
}

void Grid::clearDropDownList(int col)
{
    m_model->clearList(col);
}
void Grid::addDropDownItem(int col, const QString& item)
{
    m_model->addListItem(col, item);
}
QStringList Grid::dropDownList(int col) const
{
    return m_model->dropDownList(col);
}

void Grid::setCellSource(CellSource source)
{
    m_model->setSource(std::move(source));
}
void Grid::setCellEdited(CellEdited edited)
{
    m_model->setEdited(std::move(edited));
}
bool Grid::isVirtual() const
{
    return m_model->isVirtual();
}

void Grid::setRedraw(bool on)
{
    m_redraw = on;
    setUpdatesEnabled(on);
    if (on)
        refresh();
}

bool Grid::redraw() const
{
    return m_redraw;
}

void Grid::refresh()
{
    // Virtual texts change behind the model's back: repaint what is visible.
    m_view->viewport()->update();
    m_header->viewport()->update();
    m_view->verticalHeader()->viewport()->update();
}

int Grid::currentRow() const
{
    const QModelIndex i = m_view->currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

int Grid::currentCol() const
{
    const QModelIndex i = m_view->currentIndex();
    return i.isValid() ? i.column() + 1 : 0;
}

void Grid::setCurrentCell(int row, int col)
{
    const QModelIndex i = m_model->index(row - 1, col - 1);
    if (i.isValid())
        m_view->setCurrentIndex(i);
}

// First and last row of the selection in the order the operator made it: the current cell
// is where a drag ended, so a drag upwards gives a first row below the last.
std::pair<int, int> Grid::selectionEnds() const
{
    const QModelIndex cur = m_view->currentIndex();
    const QItemSelection sel = m_view->selectionModel()->selection();
    if (sel.isEmpty())
        return {currentRow(), currentRow()};
    QItemSelectionRange range = sel.first();
    for (const QItemSelectionRange& r : sel)
        if (cur.isValid() && r.contains(cur))
            range = r;
    const int top = range.top() + 1;
    const int bottom = range.bottom() + 1;
    if (cur.isValid() && range.contains(cur) && cur.row() == range.top() && top != bottom)
        return {bottom, top};
    return {top, bottom};
}

int Grid::selectionFirstRow() const
{
    return selectionEnds().first;
}

int Grid::selectionLastRow() const
{
    return selectionEnds().second;
}

void Grid::selectRow(int row)
{
    if (row < 1 || row >= rows() || cols() < 2)
        return;
    const int col = currentCol() >= 1 ? currentCol() : 1;
    QItemSelectionModel* sm = m_view->selectionModel();
    sm->setCurrentIndex(m_model->index(row - 1, col - 1), QItemSelectionModel::NoUpdate);
    sm->select(QItemSelection(m_model->index(row - 1, 0), m_model->index(row - 1, cols() - 2)),
               QItemSelectionModel::ClearAndSelect);
}

void Grid::setEnterOpensRow(bool on)
{
    if (on == (m_rowKeys != nullptr))
        return;
    if (on) {
        m_rowKeys = new RowKeys(m_view, [this] {
            selectRow(currentRow());
            emit doubleClicked();
        });
        m_view->installEventFilter(m_rowKeys);
    } else {
        delete m_rowKeys;
        m_rowKeys = nullptr;
    }
}

void Grid::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    m_model->setReadOnly(readOnly);
    m_view->setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                                     : QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
}

bool Grid::isReadOnly() const
{
    return m_readOnly;
}

void Grid::setColumnEditable(int col, bool editable)
{
    m_model->setTextEditable(col, editable);
}

bool Grid::isColumnEditable(int col) const
{
    return !m_readOnly && (m_model->kind(col) != GridModel::Kind::Text || m_model->isTextEditable(col));
}

void Grid::setRowHeight(int pixels)
{
    QHeaderView* vh = m_view->verticalHeader();
    vh->setMinimumSectionSize(std::min(vh->minimumSectionSize(), pixels));
    vh->setDefaultSectionSize(pixels);
}

int Grid::rowHeight() const
{
    return m_view->verticalHeader()->defaultSectionSize();
}

QTableView* Grid::view() const
{
    return m_view;
}

void Grid::onCurrentChanged(int oldModelRow, int oldModelCol, int newModelRow, int /*newModelCol*/)
{
    emit leaveCell(oldModelRow + 1, oldModelCol + 1);
    if (newModelRow != oldModelRow)
        emit rowChanged(newModelRow + 1);
    // The drop-down arrow follows the current cell.
    m_view->viewport()->update();
}

void Grid::onViewClicked(int modelRow, int modelCol)
{
    // The page answers the click first (it may fill the list), then a
    // drop-down cell opens its list.
    emit clicked();
    const int col = modelCol + 1;
    if (m_readOnly || m_model->kind(col) != GridModel::Kind::DropDown || m_model->dropDownList(col).isEmpty())
        return;
    const QModelIndex i = m_model->index(modelRow, modelCol);
    if (i.isValid() && m_view->currentIndex() == i)
        m_view->edit(i);
}

} // namespace k27
