#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <unordered_map>

namespace k27 {

// The records grid's in-memory table: data rows 1..n, columns 1..8 (entry time, weekday,
// name, department, address, terminal number, terminal address, card number); row 0 and
// column 0 are not used. Edits made in the grid change only this table.
//
// A query may return a million rows, so cells are not kept as one QString each: texts that
// repeat (names, addresses, weekdays, terminals, cards) are stored once and shared, and an
// entry time in the usual "yyyy-MM-dd HH:mm:ss" form is packed into a number. Any other text
// in the time column (an operator's edit) is kept as typed.
class RecordRows
{
public:
    static constexpr int Columns = 8;
    enum Column { Time = 1, Weekday, Name, Department, Address, Terminal, TerminalAddress, Card };

    RecordRows();

    int rowCount() const { return int(m_rows.size()); }
    // Empty text outside rows 1..n or columns 1..8.
    QString text(int row, int col) const;
    // Ignored outside rows 1..n or columns 1..8.
    void setText(int row, int col, const QString& text);
    // Columns 1..8 in order; missing columns are empty, extra ones ignored.
    void append(const QStringList& columns);
    // Rows first..last (clamped to 1..n); later rows move up.
    void removeRows(int first, int last);
    // Every row for which `gone(row)` holds (asked once per row, in order); later rows move up.
    void removeRowsWhere(const std::function<bool(int row)>& gone);
    void clear();
    void reserve(int rows) { m_rows.reserve(rows); }

    // Name, department and address of a card's holder.
    using HolderTexts = std::array<QString, 3>;
    // The distinct card numbers of the rows without a holder's texts, each once.
    QStringList cardsWithoutHolder() const;
    // Gives every row without a holder's texts those of its card in `holders` (when there).
    void fillHolders(const QHash<QString, HolderTexts>& holders);

private:
    // Texts that come together share one entry: a cardholder's name, department and address;
    // a terminal's number and address. A row is then 24 bytes, whatever it holds.
    using Group = std::array<quint32, 3>; // pool indexes
    struct Row
    {
        qint64 time = -1;     // >= 0 packed digits, < 0 -(pool index + 1)
        quint32 weekday = 0;  // pool index
        quint32 holder = 0;   // group index: name, department, address
        quint32 terminal = 0; // group index: terminal number, terminal address
        quint32 card = 0;     // pool index
    };
    struct GroupHash
    {
        size_t operator()(const Group& g) const noexcept { return qHashMulti(0, g[0], g[1], g[2]); }
    };

    quint32 intern(const QString& text);
    quint32 group(const Group& texts);
    qint64 encodeTime(const QString& text);
    QString decodeTime(qint64 value) const;

    QList<Row> m_rows;
    QStringList m_pool; // index 0 is the empty text
    QHash<QString, quint32> m_poolIndex;
    QList<Group> m_groups; // index 0 is three empty texts
    std::unordered_map<Group, quint32, GroupHash> m_groupIndex;
};

} // namespace k27
