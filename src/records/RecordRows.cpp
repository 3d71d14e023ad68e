#include "RecordRows.h"

namespace k27 {

RecordRows::RecordRows()
{
    clear();
}

void RecordRows::clear()
{
    m_rows.clear();
    m_pool = QStringList{QString()};
    m_poolIndex.clear();
    m_poolIndex.insert(QString(), 0);
}

quint32 RecordRows::intern(const QString& text)
{
    const auto found = m_poolIndex.constFind(text);
    if (found != m_poolIndex.cend())
        return *found;
    const quint32 index = quint32(m_pool.size());
    m_pool.append(text);
    m_poolIndex.insert(text, index);
    return index;
}

// "yyyy-MM-dd HH:mm:ss" with digits in place is packed as the number yyyyMMddHHmmss; the
// fixed widths make the packing exact both ways, whatever the digits say.
qint64 RecordRows::encodeTime(const QString& text)
{
    static constexpr char shape[] = "dddd-dd-dd dd:dd:dd";
    bool packable = text.size() == 19;
    qint64 value = 0;
    for (int i = 0; packable && i < 19; ++i) {
        const QChar c = text[i];
        if (shape[i] == 'd') {
            if (c < u'0' || c > u'9')
                packable = false;
            else
                value = value * 10 + (c.unicode() - u'0');
        } else if (c != QLatin1Char(shape[i])) {
            packable = false;
        }
    }
    if (packable)
        return value;
    // Times are rarely repeated and rarely edited: kept in the pool without sharing.
    if (text.isEmpty())
        return -1;
    m_pool.append(text);
    return -qint64(m_pool.size());
}

QString RecordRows::decodeTime(qint64 value) const
{
    if (value < 0)
        return m_pool.value(int(-value - 1));
    char out[20] = "0000-00-00 00:00:00";
    static constexpr int digitAt[14] = {18, 17, 15, 14, 12, 11, 9, 8, 6, 5, 3, 2, 1, 0};
    for (int pos : digitAt) {
        out[pos] = char('0' + value % 10);
        value /= 10;
    }
    return QString::fromLatin1(out, 19);
}

QString RecordRows::text(int row, int col) const
{
    if (row < 1 || row > m_rows.size() || col < 1 || col > Columns)
        return {};
    const Row& r = m_rows[row - 1];
    return col == Time ? decodeTime(r.time) : m_pool[r.cells[col - 2]];
}

void RecordRows::setText(int row, int col, const QString& text)
{
    if (row < 1 || row > m_rows.size() || col < 1 || col > Columns)
        return;
    Row& r = m_rows[row - 1];
    if (col == Time)
        r.time = encodeTime(text);
    else
        r.cells[col - 2] = intern(text);
}

void RecordRows::append(const QStringList& columns)
{
    Row r;
    r.time = encodeTime(columns.value(0));
    for (int c = 2; c <= Columns; ++c)
        r.cells[c - 2] = c <= columns.size() ? intern(columns[c - 1]) : 0;
    m_rows.append(r);
}

void RecordRows::removeRows(int first, int last)
{
    first = qMax(first, 1);
    last = qMin(last, rowCount());
    if (first > last)
        return;
    m_rows.remove(first - 1, last - first + 1);
}

} // namespace k27
