#include "RecordRows.h"

#include <vector>

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
    m_groups = {Group{}};
    m_groupIndex.clear();
    m_groupIndex.emplace(Group{}, 0);
}

quint32 RecordRows::group(const Group& texts)
{
    const auto [at, added] = m_groupIndex.emplace(texts, quint32(m_groups.size()));
    if (added)
        m_groups.append(texts);
    return at->second;
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
    switch (col) {
    case Time: return decodeTime(r.time);
    case Weekday: return m_pool[r.weekday];
    case Name:
    case Department:
    case Address: return m_pool[m_groups[r.holder][col - Name]];
    case Terminal:
    case TerminalAddress: return m_pool[m_groups[r.terminal][col - Terminal]];
    default: return m_pool[r.card];
    }
}

void RecordRows::setText(int row, int col, const QString& text)
{
    if (row < 1 || row > m_rows.size() || col < 1 || col > Columns)
        return;
    Row& r = m_rows[row - 1];
    switch (col) {
    case Time: r.time = encodeTime(text); break;
    case Weekday: r.weekday = intern(text); break;
    case Name:
    case Department:
    case Address: {
        Group g = m_groups[r.holder];
        g[col - Name] = intern(text);
        r.holder = group(g);
        break;
    }
    case Terminal:
    case TerminalAddress: {
        Group g = m_groups[r.terminal];
        g[col - Terminal] = intern(text);
        r.terminal = group(g);
        break;
    }
    default: r.card = intern(text); break;
    }
}

void RecordRows::append(const QStringList& columns)
{
    const auto cell = [&](int col) { return col <= columns.size() ? intern(columns[col - 1]) : 0u; };
    Row r;
    r.time = encodeTime(columns.value(0));
    r.weekday = cell(Weekday);
    r.holder = group({cell(Name), cell(Department), cell(Address)});
    r.terminal = group({cell(Terminal), cell(TerminalAddress), 0});
    r.card = cell(Card);
    m_rows.append(r);
}

QStringList RecordRows::cardsWithoutHolder() const
{
    std::vector<bool> seen(size_t(m_pool.size()));
    QStringList cards;
    for (const Row& r : m_rows)
        if (r.holder == 0 && r.card != 0 && !seen[r.card]) {
            seen[r.card] = true;
            cards.append(m_pool[r.card]);
        }
    return cards;
}

void RecordRows::fillHolders(const QHash<QString, HolderTexts>& holders)
{
    std::unordered_map<quint32, quint32> groupOf; // card's pool index -> holder group
    for (Row& r : m_rows) {
        if (r.holder != 0 || r.card == 0)
            continue;
        auto found = groupOf.find(r.card);
        if (found == groupOf.end()) {
            const auto texts = holders.constFind(m_pool[r.card]);
            const quint32 g = texts == holders.cend()
                                  ? 0
                                  : group({intern((*texts)[0]), intern((*texts)[1]), intern((*texts)[2])});
            found = groupOf.emplace(r.card, g).first;
        }
        r.holder = found->second;
    }
}

void RecordRows::removeRows(int first, int last)
{
    first = qMax(first, 1);
    last = qMin(last, rowCount());
    if (first > last)
        return;
    m_rows.remove(first - 1, last - first + 1);
}

void RecordRows::removeRowsWhere(const std::function<bool(int row)>& gone)
{
    qsizetype kept = 0;
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (!gone(int(i) + 1))
            m_rows[kept++] = m_rows[i];
    m_rows.resize(kept);
}

} // namespace k27
