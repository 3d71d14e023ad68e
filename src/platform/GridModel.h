#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <functional>
#include <utility>

namespace k27 {

// The data behind a Grid, in the grid's own coordinates: row 0 = headers,
// column 0 = row numbers. Model row m is grid row m + 1, model column k is grid
// column k + 1; the header row and the row-number column are the views' headers.
// Stored cells live in a sparse hash, so the row count costs no memory per row.
class GridModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum class Kind { Text, CheckBox, DropDown };
    using CellSource = std::function<QString(int row, int col)>;
    using CellEdited = std::function<void(int row, int col, const QString& text)>;

    explicit GridModel(QObject* parent = nullptr);

    int gridRows() const { return m_dataRows + 1; }
    void setGridRows(int n);
    int gridCols() const { return int(m_headers.size()); }
    void setGridCols(int n);

    QString text(int row, int col) const;
    // Writes a cell as an edit would: stored, or handed to the edited callback.
    void setText(int row, int col, const QString& text);
    void clearCells();

    QString headerText(int col) const;
    void setHeaderText(int col, const QString& text);
    void addMerge(int c1, int c2);
    void clearMerges();
    std::pair<int, int> mergeOf(int col) const;
    // The text a merged header cell shows: the first non-empty text of its range.
    QString mergedHeaderText(int col) const;

    Kind kind(int col) const;
    void setKind(int col, Kind kind);
    void clearList(int col);
    void addListItem(int col, const QString& item);
    QStringList dropDownList(int col) const;

    void setSource(CellSource source);
    void setEdited(CellEdited edited) { m_edited = std::move(edited); }
    bool isVirtual() const { return bool(m_source); }
    // Text cells take typing only in the columns set here; tick boxes and lists always work.
    void setTextEditable(int col, bool on)
    {
        if (on)
            m_textEditable.insert(col);
        else
            m_textEditable.remove(col);
    }
    bool isTextEditable(int col) const { return m_textEditable.contains(col); }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

    // Toggles a check-box cell between "1" and "0".
    void toggle(int row, int col);

    // Everything the views may ask changed (virtual data changes outside).
    void allChanged();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    static quint64 key(int row, int col) { return (quint64(quint32(row)) << 32) | quint32(col); }
    bool inData(int row, int col) const { return row >= 1 && row <= m_dataRows && col >= 1 && col < gridCols(); }

    int m_dataRows = 0;
    QStringList m_headers{QString()};
    QList<Kind> m_kinds{Kind::Text};
    QList<QStringList> m_lists{QStringList()};
    QList<std::pair<int, int>> m_merges;
    QHash<quint64, QString> m_cells;
    CellSource m_source;
    CellEdited m_edited;
    QSet<int> m_textEditable;
    bool m_readOnly = false;
};

} // namespace k27
