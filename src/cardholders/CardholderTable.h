#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace k27 {

class Database;

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

    static constexpr int RowColumns = 10;   // 0 ID, 1 name ... 9 first validity
    static constexpr int LastColumn = 9;
    // The search fields take this many characters, like the edit fields; a search looks at no more.
    static constexpr int SearchTextLength = 50;

    // Rebuilds CardholderRows: cardholders without a card first, then those with one, each
    // part ordered by name. `pump` runs after each row so the interface stays alive.
    bool load(Database& db, const std::function<void()>& pump = {});

    // Rebuilds CardholderView from the four search texts (name, card number, department,
    // address); trailing blanks of a text are ignored. With `cardOnly` only rows with a card.
    void filter(View view, const QStringList& searchTexts, bool cardOnly);

    int rowCount() const { return int(m_rows.size()); }
    int viewCount(View view) const { return int(m_views[view].size()); }
    QString rowText(int row, int col) const;               // row 1..n, col 0..9
    QString viewText(View view, int row, int col) const;   // row 1..m, col 1..9
    void setViewText(View view, int row, int col, const QString& text);

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

private:
    QList<QStringList> m_rows;   // index 0 = row 1
    std::array<QList<QStringList>, 2> m_views; // index 0 = row 1, columns stored 0..9 (0 unused)
};

// Splits a stored terminal or validity list at "、"; a list that ends with "、" gives an
// empty last piece.
QStringList splitPermissionList(const QString& list);

} // namespace k27
