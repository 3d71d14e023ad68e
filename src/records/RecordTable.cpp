#include "RecordTable.h"

namespace k27 {

QString RecordTable::text(int row, int col) const
{
    if (row < 1 || row > m_rows.size() || col < 1 || col > Columns)
        return {};
    return m_rows[row - 1].value(col - 1);
}

void RecordTable::setText(int row, int col, const QString& text)
{
    if (row < 1 || row > m_rows.size() || col < 1 || col > Columns)
        return;
    QStringList& cols = m_rows[row - 1];
    while (cols.size() < Columns)
        cols << QString();
    cols[col - 1] = text;
}

void RecordTable::append(const QStringList& columns)
{
    QStringList cols = columns.mid(0, Columns);
    while (cols.size() < Columns)
        cols << QString();
    m_rows.append(cols);
}

void RecordTable::removeRows(int first, int last)
{
    first = qMax(first, 1);
    last = qMin(last, rowCount());
    if (first > last)
        return;
    m_rows.remove(first - 1, last - first + 1);
}

} // namespace k27
