#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

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
    void clear();
    void reserve(int rows) { m_rows.reserve(rows); }

private:
    struct Row {
        qint64 time = -1;                          // >= 0 packed digits, < 0 -(pool index + 1)
        std::array<quint32, Columns - 1> cells{};  // pool indexes of columns 2..8
    };

    quint32 intern(const QString& text);
    qint64 encodeTime(const QString& text);
    QString decodeTime(qint64 value) const;

    QList<Row> m_rows;
    QStringList m_pool;                 // index 0 is the empty text
    QHash<QString, quint32> m_poolIndex;
};

} // namespace k27
