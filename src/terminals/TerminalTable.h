#pragma once

#include <QList>
#include <QString>
#include <utility>

namespace k27 {

class Database;

// The main window's in-memory terminal register (TerminalRows): rows 1..n, column 1 the
// terminal number in the "0000" form, column 2 the install address. GridM draws it.
class TerminalTable
{
public:
    bool load(Database& db);

    int rowCount() const { return int(m_rows.size()); }
    QString text(int row, int col) const; // row 1..n, col 1..2
    void setText(int row, int col, const QString& text);
    void append(qint64 number, const QString& address);
    void clear() { m_rows.clear(); }
    // Removes rows r1..r2 (1-based, inclusive); later rows move up.
    void removeRows(int r1, int r2);

    // The address of the first row whose number has this value; empty when there is none.
    QString addressOf(qint64 number) const;

    // 7 -> "0007", 12345 -> "12345"
    static QString numberText(qint64 number);

private:
    QList<std::pair<QString, QString>> m_rows;
};

} // namespace k27
