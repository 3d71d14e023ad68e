#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace k27 {

class Database;

// One column of every row, its texts end to end in one buffer: a hundred thousand holders
// cost a few allocations instead of a million, and a search walks memory in order.
class ColumnTexts
{
public:
    int size() const { return int(m_start.size()) - 1; }
    QStringView at(int row) const // row 0..size-1
    {
        return QStringView(m_text.data() + m_start[size_t(row)],
                           qsizetype(m_start[size_t(row) + 1] - m_start[size_t(row)]));
    }
    void append(QStringView text);
    void insert(int row, QStringView text);
    void replace(int row, QStringView text);
    void clear();
    void squeeze();
    size_t bytes() const { return m_text.capacity() * sizeof(char16_t) + m_start.capacity() * sizeof(uint32_t); }
    // Every text end to end, and where each row starts in it (one more start than rows).
    std::u16string_view all() const { return {m_text.data(), m_text.size()}; }
    const std::vector<uint32_t>& starts() const { return m_start; }
    // Appends the rows whose text contains `literal` (not empty), in order: one search over
    // the texts end to end, each hit mapped to its row, instead of one search per row.
    void rowsContaining(QStringView literal, std::vector<uint32_t>& rows) const;

private:
    std::vector<char16_t> m_text;
    std::vector<uint32_t> m_start{0}; // row i is m_text[m_start[i] .. m_start[i + 1])
};

// The columns of the cardholder list, numbered as CardholderRows and the grids GridU and GridU2
// number them (the grids start at Name; column 0 of a grid is the row number).
namespace CardholderColumn {
enum : int { Id = 0, Name, Gender, Department, Position, Address, Phone, Card, Terminal, Validity };
}

// The main window's in-memory copy of the cardholder register (CardholderRows, rows 1..n,
// columns 0..9) and the filtered views that GridU and GridU2 draw (CardholderView, rows 1..m,
// columns 1..9). Rows and columns are numbered as the grids number them.
//
// Each grid has its own view: a search on the cardholder page must not change the rows of the
// issuing page's list, whose selected row receives the next card written.
class CardholderTable
{
public:
    enum View { CardholderPageView = 0, IssuingPageView = 1 };

    static constexpr int RowColumns = CardholderColumn::Validity + 1; // Id ... first validity
    static constexpr int LastColumn = CardholderColumn::Validity;
    // The search fields take this many characters, like the edit fields; a search looks at no more.
    static constexpr int SearchTextLength = 50;

    // Rebuilds CardholderRows: cardholders without a card first, then those with one, each
    // part ordered by name. `pump` runs after each row so the interface stays alive.
    bool load(Database& db, const std::function<void()>& pump = {});

    // Rebuilds CardholderView from the four search texts (name, card number, department,
    // address); trailing blanks of a text are ignored. With `cardOnly` only rows with a card.
    // Empty texts give the whole list without looking at a row; texts that extend the
    // previous search of the view look only at its result.
    void filter(View view, const QStringList& searchTexts, bool cardOnly);

    int rowCount() const { return m_columns[0].size(); }
    int viewCount(View view) const { return int(m_views[view].rows.size()); }
    QString rowText(int row, int col) const;                                    // row 1..n, col 0..9
    const ColumnTexts& column(int col) const { return m_columns[size_t(col)]; } // col 0..9
    QString viewText(View view, int row, int col) const;                        // row 1..m, col 1..9
    void setViewText(View view, int row, int col, const QString& text);
    // The stored row (ID) behind a view row; 0 when none.
    qint64 viewId(View view, int row) const;

    void clear();
    // Appends a row of CardholderRows (ten texts, missing ones empty).
    void appendRow(const QStringList& columns);
    // Puts a newly added cardholder at the top of CardholderRows (ten texts); the view
    // follows at the next filter.
    void prependRow(const QStringList& columns);
    // Writes columns 1 to 6 (name ... phone) over the first row of CardholderRows whose
    // trimmed name and phone equal the trimmed `name` and `phone`. False when none does.
    bool updateRow(const QString& name, const QString& phone, const QStringList& columns1to6);

    // Column 8 and 9 as the list shows them, from the stored terminal and validity lists.
    // A null terminal list (isNull) leaves both empty; an empty one shows six blanks.
    static std::pair<QString, QString> firstPermission(const QString& terminals, bool terminalsNull,
                                                       const QString& validity);

    // Returns unused buffer space after many appends.
    void squeeze();
    // Bytes the rows and both views hold (buffer capacities).
    size_t memoryBytes() const;

private:
    struct ViewState
    {
        std::vector<uint32_t> rows;    // index 0 = row 1; values are row indices (row - 1)
        QHash<quint32, QString> edits; // cells typed into the grid: (row << 4 | col) -> text
        std::array<QString, 4> texts;  // the search that built `rows`
        bool cardOnly = false;
        quint64 generation = 0; // m_generation when built; 0 = none yet
    };

    void addRow(const QStringList& columns, bool atTop);
    void changed();

    std::array<ColumnTexts, RowColumns> m_columns;
    std::array<ViewState, 2> m_views;
    quint64 m_generation = 1; // moves on whenever the rows change
};

// Splits a stored terminal or validity list at "、"; a list that ends with "、" gives an
// empty last piece.
QStringList splitPermissionList(const QString& list);

} // namespace k27
