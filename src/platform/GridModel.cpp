#include "platform/GridModel.h"

#include <algorithm>

namespace k27 {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::setGridRows(int n)
{
    const int rows = std::max(0, n - 1);
    if (rows == m_dataRows)
        return;
    // Inserting or removing at the end (not a reset) keeps the current cell and
    // the selection, which the pages read right after changing the count.
    if (rows > m_dataRows) {
        beginInsertRows({}, m_dataRows, rows - 1);
        m_dataRows = rows;
        endInsertRows();
    } else {
        beginRemoveRows({}, rows, m_dataRows - 1);
        if (!m_cells.isEmpty()) {
            for (auto it = m_cells.begin(); it != m_cells.end();) {
                if (int(it.key() >> 32) > rows)
                    it = m_cells.erase(it);
                else
                    ++it;
            }
        }
        m_dataRows = rows;
        endRemoveRows();
    }
}

void GridModel::setGridCols(int n)
{
    n = std::max(1, n);
    const int old = gridCols();
    if (n == old)
        return;
    if (n > old) {
        beginInsertColumns({}, old - 1, n - 2);
        for (int c = old; c < n; ++c) {
            m_headers.append(QString());
            m_kinds.append(Kind::Text);
            m_lists.append(QStringList());
        }
        endInsertColumns();
    } else {
        beginRemoveColumns({}, n - 1, old - 2);
        m_headers.resize(n);
        m_kinds.resize(n);
        m_lists.resize(n);
        for (auto it = m_cells.begin(); it != m_cells.end();) {
            if (int(it.key() & 0xffffffffu) >= n)
                it = m_cells.erase(it);
            else
                ++it;
        }
        m_merges.removeIf([n](const std::pair<int, int>& m) { return m.second >= n; });
        endRemoveColumns();
    }
}

QString GridModel::text(int row, int col) const
{
    if (row == 0)
        return headerText(col);
    if (col == 0)
        return row >= 1 && row <= m_dataRows ? QString::number(row) : QString();
    if (!inData(row, col))
        return {};
    if (m_source)
        return m_source(row, col);
    return m_cells.value(key(row, col));
}

void GridModel::setText(int row, int col, const QString& text)
{
    if (row == 0) {
        setHeaderText(col, text);
        return;
    }
    if (!inData(row, col))
        return;
    if (m_source) {
        if (m_edited)
            m_edited(row, col, text);
    } else if (text.isEmpty()) {
        m_cells.remove(key(row, col));
    } else {
        m_cells.insert(key(row, col), text);
    }
    const QModelIndex i = index(row - 1, col - 1);
    emit dataChanged(i, i);
}

void GridModel::clearCells()
{
    m_cells.clear();
    allChanged();
}

QString GridModel::headerText(int col) const
{
    return col >= 0 && col < gridCols() ? m_headers.at(col) : QString();
}

void GridModel::setHeaderText(int col, const QString& text)
{
    if (col < 0 || col >= gridCols())
        return;
    m_headers[col] = text;
    if (col >= 1)
        emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
}

void GridModel::addMerge(int c1, int c2)
{
    if (c1 > c2)
        std::swap(c1, c2);
    if (c1 < 1 || c2 >= gridCols() || c1 == c2)
        return;
    // A new range replaces any it overlaps.
    m_merges.removeIf([&](const std::pair<int, int>& m) { return m.first <= c2 && c1 <= m.second; });
    m_merges.append({c1, c2});
    emit headerDataChanged(Qt::Horizontal, c1 - 1, c2 - 1);
}

void GridModel::clearMerges()
{
    m_merges.clear();
    if (gridCols() > 1)
        emit headerDataChanged(Qt::Horizontal, 0, gridCols() - 2);
}

std::pair<int, int> GridModel::mergeOf(int col) const
{
    for (const auto& m : m_merges)
        if (col >= m.first && col <= m.second)
            return m;
    return {col, col};
}

QString GridModel::mergedHeaderText(int col) const
{
    const auto [first, last] = mergeOf(col);
    for (int c = first; c <= last; ++c)
        if (!headerText(c).isEmpty())
            return headerText(c);
    return {};
}

GridModel::Kind GridModel::kind(int col) const
{
    return col >= 0 && col < gridCols() ? m_kinds.at(col) : Kind::Text;
}

void GridModel::setKind(int col, Kind kind)
{
    if (col < 0 || col >= gridCols())
        return;
    m_kinds[col] = kind;
    if (col >= 1 && m_dataRows > 0)
        emit dataChanged(index(0, col - 1), index(m_dataRows - 1, col - 1));
}

void GridModel::clearList(int col)
{
    if (col >= 0 && col < gridCols())
        m_lists[col].clear();
}

void GridModel::addListItem(int col, const QString& item)
{
    if (col >= 0 && col < gridCols())
        m_lists[col].append(item);
}

QStringList GridModel::dropDownList(int col) const
{
    return col >= 0 && col < gridCols() ? m_lists.at(col) : QStringList();
}

void GridModel::setSource(CellSource source)
{
    m_source = std::move(source);
    if (m_source)
        m_cells.clear();
    allChanged();
}

void GridModel::toggle(int row, int col)
{
    if (m_readOnly || !inData(row, col))
        return;
    setText(row, col, text(row, col) == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1"));
}

void GridModel::allChanged()
{
    if (m_dataRows > 0 && gridCols() > 1)
        emit dataChanged(index(0, 0), index(m_dataRows - 1, gridCols() - 2));
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_dataRows;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : gridCols() - 1;
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row() + 1;
    const int col = index.column() + 1;
    switch (role) {
    case Qt::DisplayRole: return kind(col) == Kind::CheckBox ? QVariant() : QVariant(text(row, col));
    case Qt::EditRole: return text(row, col);
    case Qt::CheckStateRole:
        if (kind(col) == Kind::CheckBox)
            return text(row, col) == QLatin1String("1") ? Qt::Checked : Qt::Unchecked;
        return {};
    default: return {};
    }
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || m_readOnly)
        return false;
    const int row = index.row() + 1;
    const int col = index.column() + 1;
    if (role == Qt::CheckStateRole && kind(col) == Kind::CheckBox) {
        const bool on = value.toInt() == Qt::Checked;
        setText(row, col, on ? QStringLiteral("1") : QStringLiteral("0"));
        return true;
    }
    if (role == Qt::EditRole) {
        setText(row, col, value.toString());
        return true;
    }
    return false;
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_readOnly)
        return f;
    const Kind k = kind(index.column() + 1);
    if (k == Kind::CheckBox)
        return f | Qt::ItemIsUserCheckable;
    // A list cell only takes one of its items; a text cell only where the page wants typing,
    // so a key pressed on a list never replaces what it shows.
    if (k == Kind::DropDown || m_textEditable.contains(index.column() + 1))
        return f | Qt::ItemIsEditable;
    return f;
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return QString::number(section + 1);
    return headerText(section + 1);
}

} // namespace k27
