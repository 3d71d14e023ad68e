#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace k27 {

// The main window's in-memory result of a record query or import (RecordRows): rows 1..n,
// columns 1..8 (time, weekday, name, department, address, terminal, terminal address, card).
class RecordTable
{
public:
    static constexpr int Columns = 8;

    int rowCount() const { return int(m_rows.size()); }
    QString text(int row, int col) const;
    void setText(int row, int col, const QString& text);
    void append(const QStringList& columns);    // columns 1..8 in order
    void removeRows(int first, int last);
    void clear() { m_rows.clear(); }

private:
    QList<QStringList> m_rows;
};

} // namespace k27
