#include "RecordList.h"

#include "EntryTime.h"
#include "db/Database.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>

namespace k27 {

RecordList::RecordList(int blockRows, int cacheBlocks)
    : m_blockRows(qMax(1, blockRows)), m_cacheBlocks(qMax(1, cacheBlocks))
{
}

void RecordList::clear()
{
    m_table = nullptr;
    m_pass.reset();
    m_blocks.clear();
    m_count = 0;
    m_top.clear();
    m_floor.clear();
    m_cache.clear();
    m_cached.clear();
    m_edits.clear();
    m_readFailed = false;
}

void RecordList::showTable(RecordRows* rows)
{
    clear();
    m_table = rows;
}

RecordQuery::Result RecordList::start(Database& db, const RecordFilter& filter, RecordRows& table)
{
    clear();
    if (!RecordQuery::start(db, filter, m_pass)) {
        m_table = &table;
        return RecordQuery::run(db, filter, table);
    }
    RecordQuery::Result result;
    Block first{m_pass, 1, 0};
    Cached cached{0, {}};
    const int read = m_pass.fetch(db, cached.rows, m_blockRows);
    if (read < 0) {
        m_pass.reset();
        result.outcome = RecordQuery::Outcome::Failed;
        return result;
    }
    result.outcome = RecordQuery::Outcome::Done;
    if (read == 0)
        return result;
    first.rows = read;
    // The first block is read again from its first record, not from the newest one then:
    // records collected meanwhile would push its rows down.
    first.from.keepBelowFirstOf(m_pass);
    m_blocks.append(first);
    m_count = result.rows = read;
    m_cache.push_front(std::move(cached));
    m_cached.emplace(0, m_cache.begin());
    m_top = m_cache.front().rows.text(1, RecordRows::Time);
    m_floor = db.scalar(QStringLiteral("SELECT min(进出时间) FROM 进出记录")).toString();
    return result;
}

int RecordList::rowCount() const
{
    return m_table ? m_table->rowCount() : m_count;
}

bool RecordList::countPortion(Database& db, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (isCounting()) {
        Block next{m_pass, m_count + 1, 0};
        const int read = m_pass.skip(db, m_blockRows);
        if (read < 0) {
            m_pass.reset();
            return false;
        }
        if (read > 0) {
            next.rows = read;
            m_blocks.append(next);
            m_count += read;
        }
        if (clock.elapsed() >= milliseconds)
            break;
    }
    return true;
}

int RecordList::countPermille() const
{
    if (!isCounting() || m_pass.pastDated())
        return 1000;
    const QDateTime top = QDateTime::fromString(m_top, QLatin1String(EntryTimeFormat));
    const QDateTime floor = QDateTime::fromString(m_floor, QLatin1String(EntryTimeFormat));
    const QDateTime at = QDateTime::fromString(m_pass.lastTime().toString(), QLatin1String(EntryTimeFormat));
    if (!top.isValid() || !floor.isValid() || !at.isValid() || floor >= top)
        return 0;
    return int(std::clamp<qint64>(1000 * at.secsTo(top) / floor.secsTo(top), 0, 999));
}

int RecordList::blockOf(int row) const
{
    // The last block starting at or before the row.
    const auto after = std::upper_bound(m_blocks.cbegin(), m_blocks.cend(), row,
                                        [](int r, const Block& b) { return r < b.firstRow; });
    return int(after - m_blocks.cbegin()) - 1;
}

int RecordList::blockEnd(int row) const
{
    if (m_table)
        return m_table->rowCount();
    const int b = blockOf(row);
    return b < 0 ? row : m_blocks[b].firstRow + m_blocks[b].rows - 1;
}

int RecordList::blockStart(int row) const
{
    if (m_table)
        return 1;
    const int b = blockOf(row);
    return b < 0 ? row : m_blocks[b].firstRow;
}

const RecordRows* RecordList::load(int block)
{
    const auto found = m_cached.find(block);
    if (found != m_cached.end()) {
        m_cache.splice(m_cache.begin(), m_cache, found->second);
        return &m_cache.front().rows;
    }
    Database* db = m_reader ? m_reader() : nullptr;
    if (!db) {
        m_readFailed = true;
        return nullptr;
    }
    // A copy: the block's start stays for the next time the block is read.
    RecordCursor from = m_blocks[block].from;
    Cached cached{block, {}};
    cached.rows.reserve(m_blocks[block].rows);
    // Up to where the next block starts: records deleted meanwhile leave this block short
    // rather than bring in rows of the next one.
    const int read = block + 1 < m_blocks.size()
        ? from.fetchBefore(*db, cached.rows, m_blocks[block].rows, m_blocks[block + 1].from)
        : from.fetch(*db, cached.rows, m_blocks[block].rows);
    if (read < 0) {
        m_readFailed = true;
        return nullptr;
    }
    if (int(m_cache.size()) >= m_cacheBlocks) {
        m_cached.erase(m_cache.back().block);
        m_cache.pop_back();
    }
    m_cache.push_front(std::move(cached));
    m_cached.emplace(block, m_cache.begin());
    return &m_cache.front().rows;
}

QString RecordList::text(int row, int col)
{
    if (m_table)
        return m_table->text(row, col);
    if (row < 1 || row > m_count || col < 1 || col > RecordRows::Columns)
        return {};
    if (!m_edits.isEmpty()) {
        const auto edited = m_edits.constFind(editKey(row, col));
        if (edited != m_edits.cend())
            return *edited;
    }
    const int b = blockOf(row);
    const RecordRows* rows = b < 0 ? nullptr : load(b);
    // Rows read beyond the block's count belong to the next block; rows missing (records
    // deleted meanwhile by others) show empty.
    return rows ? rows->text(row - m_blocks[b].firstRow + 1, col) : QString();
}

void RecordList::setText(int row, int col, const QString& text)
{
    if (m_table) {
        m_table->setText(row, col, text);
        return;
    }
    if (row >= 1 && row <= m_count && col >= 1 && col <= RecordRows::Columns)
        m_edits.insert(editKey(row, col), text);
}

void RecordList::removeRows(int first, int last)
{
    if (m_table) {
        m_table->removeRows(first, last);
        return;
    }
    first = qMax(first, 1);
    last = qMin(last, m_count);
    if (first > last)
        return;
    const int removed = last - first + 1;
    // A block keeps its start: read from there, its remaining rows come first, as the removed
    // records are gone. Blocks left without rows go; later blocks move up.
    QList<Block> kept;
    kept.reserve(m_blocks.size());
    int next = 1;
    for (Block& b : m_blocks) {
        const int end = b.firstRow + b.rows - 1;
        const int overlap = qMax(0, qMin(end, last) - qMax(b.firstRow, first) + 1);
        b.rows -= overlap;
        if (b.rows == 0)
            continue;
        b.firstRow = next;
        next += b.rows;
        kept.append(std::move(b));
    }
    m_blocks = std::move(kept);
    m_count -= removed;
    m_cache.clear();
    m_cached.clear();
    QHash<quint64, QString> edits;
    for (auto e = m_edits.cbegin(); e != m_edits.cend(); ++e) {
        const int row = int(e.key() >> 4), col = int(e.key() & 15);
        if (row < first)
            edits.insert(e.key(), e.value());
        else if (row > last)
            edits.insert(editKey(row - removed, col), e.value());
    }
    m_edits = std::move(edits);
}

qint64 RecordList::memoryBytes() const
{
    // A block start is a cursor: its statement texts are shared, its last key is its own.
    qint64 bytes = qint64(m_blocks.capacity()) * qint64(sizeof(Block)) + qint64(m_blocks.size()) * 64;
    // A cached row: 24 bytes, its share of the texts it holds about as much again.
    for (const Cached& c : m_cache)
        bytes += qint64(sizeof(Cached)) + qint64(c.rows.rowCount()) * 48;
    bytes += qint64(m_edits.size()) * 64;
    return bytes;
}

} // namespace k27
