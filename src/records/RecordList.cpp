#include "RecordList.h"

#include "EntryTime.h"
#include "db/Database.h"
#include "startup/TextUtil.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <limits>

namespace k27 {

RecordList::RecordList(int blockRows, int cacheBlocks, int firstRows)
    : m_blockRows(qMax(1, blockRows)), m_cacheBlocks(qMax(1, cacheBlocks)),
      m_firstRows(firstRows > 0 ? firstRows : qMin(m_blockRows, FirstRows))
{
}

void RecordList::clear()
{
    m_table = nullptr;
    m_pass.reset();
    m_blocks.clear();
    m_count = 0;
    m_estimate = 0;
    m_idSpan = 0;
    m_top.clear();
    m_floor.clear();
    m_cache.clear();
    m_cached.clear();
    m_edits.clear();
    m_editedRows.clear();
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
    m_filterText = filter.recent
                       ? QStringLiteral("newest %1").arg(filter.recentText)
                       : QStringLiteral("card: %1; name: %2; department: %3; terminal: %4%5")
                             .arg(filter.card, filter.name, filter.department, filter.terminal,
                                  filter.timeSpan
                                      ? QStringLiteral("; from %1 to %2")
                                            .arg(filter.start.toString(Qt::ISODate), filter.end.toString(Qt::ISODate))
                                      : QString());
    if (!RecordQuery::start(db, filter, m_pass)) {
        m_table = &table;
        return RecordQuery::run(db, filter, table);
    }
    RecordQuery::Result result;
    Block first{m_pass, 1, 0};
    Cached cached{0, {}};
    const int read = m_pass.fetch(db, cached.rows, m_firstRows);
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
    // Nothing of the result is older than the span's start.
    if (filter.timeSpan && filter.start.isValid()) {
        const QString start = filter.start.toString(QLatin1String(EntryTimeFormat));
        if (start > m_floor)
            m_floor = start;
    }
    if (isCounting()) {
        // One aggregate per statement: each is then one look at an end of the table (the
        // difference of the two in one statement walks all of it).
        m_idSpan = db.scalar(QStringLiteral("SELECT max(ID) FROM 进出记录")).toLongLong()
                   - db.scalar(QStringLiteral("SELECT min(ID) FROM 进出记录")).toLongLong() + 1;
        estimate();
    }
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
    estimate();
    return true;
}

void RecordList::estimate()
{
    // Records spread over time about as the counted ones are: the rows counted so far over
    // the share of the result's time span they cover.
    double rows = m_count;
    if (isCounting() && !m_pass.pastDated()) {
        const QDateTime top = QDateTime::fromString(m_top, QLatin1String(EntryTimeFormat));
        const QDateTime floor = QDateTime::fromString(m_floor, QLatin1String(EntryTimeFormat));
        const QDateTime at = QDateTime::fromString(m_pass.lastTime().toString(), QLatin1String(EntryTimeFormat));
        if (top.isValid() && floor.isValid() && at.isValid() && floor < top && at < top)
            rows = double(m_count) * double(floor.secsTo(top)) / double(at.secsTo(top));
    }
    if (m_idSpan > 0)
        rows = qMin(rows, double(m_idSpan));
    m_estimate = int(qBound(double(m_count), rows, double(std::numeric_limits<int>::max() - 1)));
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
    if (row >= 1 && row <= m_count && col >= 1 && col <= RecordRows::Columns) {
        // Its texts as read find the row again once a deletion has moved it.
        if (!m_editedRows.contains(row))
            m_editedRows.insert(row, readRow(row));
        m_edits.insert(editKey(row, col), text);
    }
}

QStringList RecordList::readRow(int row)
{
    QStringList texts;
    const int b = blockOf(row);
    const RecordRows* rows = b < 0 ? nullptr : load(b);
    for (int col = 1; col <= RecordRows::Columns; ++col)
        texts << (rows ? rows->text(row - m_blocks[b].firstRow + 1, col) : QString());
    return texts;
}

std::pair<QString, QString> RecordList::keyOf(int row)
{
    const QString entry = trimSpaces(text(row, RecordRows::Time));
    const QString stored = normaliseEntryTime(entry);
    return {trimSpaces(text(row, RecordRows::Card)), stored.isEmpty() ? entry : stored};
}

void RecordList::Deleted::add(const std::pair<QString, QString>& key)
{
    if (keepKeys)
        keys.insert(key);
    if (oldest.isNull() || key.second < oldest)
        oldest = key.second;
    if (newest.isNull() || key.second > newest)
        newest = key.second;
}

bool RecordList::mayHold(int b, const QString& oldest, const QString& newest) const
{
    // A block's rows lie between where it starts and where the next one starts; a start
    // without a time (the first, or among undated records) bounds nothing.
    const QVariant upper = m_blocks[b].from.lastTime();
    const QVariant lower = b + 1 < m_blocks.size() ? m_blocks[b + 1].from.lastTime()
                           : isCounting()          ? m_pass.lastTime()
                                                   : QVariant();
    if (upper.isValid() && oldest > upper.toString())
        return false;
    if (lower.isValid() && newest < lower.toString())
        return false;
    return true;
}

void RecordList::afterDeletion(Database& db, const Deleted& deleted)
{
    if (m_table) {
        dropDeletedKeys(deleted);
        return;
    }
    if (deleted.newest.isNull())
        return; // nothing left the database
    QList<int> oldFirst;
    QList<bool> recounted;
    recountBlocks(db, deleted, oldFirst, recounted);
    moveEdits(oldFirst, recounted);
    m_blocks.removeIf([](const Block& block) { return block.rows == 0; });
    m_cache.clear();
    m_cached.clear();
    estimate();
}

void RecordList::dropDeletedKeys(const Deleted& deleted)
{
    if (deleted.keys.isEmpty())
        return;
    // The card alone rules out most rows before a time is read.
    QSet<QString> cards;
    for (const auto& key : deleted.keys)
        cards.insert(key.first);
    m_table->removeRowsWhere([&](int row) {
        return cards.contains(trimSpaces(m_table->text(row, RecordRows::Card))) && deleted.keys.contains(keyOf(row));
    });
}

// Counted again from where each block starts, up to where the next starts: twins of a
// deleted record and records a deletion missed (an edited time) come out as stored.
void RecordList::recountBlocks(Database& db, const Deleted& deleted, QList<int>& oldFirst, QList<bool>& recounted)
{
    for (int b = 0; b < m_blocks.size(); ++b) {
        Block& block = m_blocks[b];
        oldFirst << block.firstRow;
        recounted << mayHold(b, deleted.oldest, deleted.newest);
        if (!recounted.last())
            continue;
        RecordCursor from = block.from;
        const RecordCursor* bound = b + 1 < m_blocks.size() ? &m_blocks[b + 1].from : isCounting() ? &m_pass : nullptr;
        const int read = from.skipBefore(db, block.rows, bound);
        if (read < 0)
            m_readFailed = true;
        else
            block.rows = qMin(read, block.rows);
    }
    int next = 1;
    for (Block& block : m_blocks) {
        block.firstRow = next;
        next += block.rows;
    }
    m_count = next - 1;
    m_cache.clear();
    m_cached.clear();
}

// Each edit follows its row: by position in a block not counted again, by its texts as
// read in one that was (a row whose record went takes its edit with it).
void RecordList::moveEdits(const QList<int>& oldFirst, const QList<bool>& recounted)
{
    QHash<int, int> moved;         // old row -> new row
    QHash<int, QSet<int>> claimed; // block -> rows (within it) taken by an edited row
    QList<int> editedRows = m_editedRows.keys();
    std::sort(editedRows.begin(), editedRows.end());
    for (const int row : editedRows) {
        const auto after = std::upper_bound(oldFirst.cbegin(), oldFirst.cend(), row);
        const int b = int(after - oldFirst.cbegin()) - 1;
        if (b < 0)
            continue;
        if (!recounted[b]) {
            moved.insert(row, row - oldFirst[b] + m_blocks[b].firstRow);
            continue;
        }
        const int r = findRead(b, m_editedRows[row], claimed[b]);
        if (r > 0) {
            claimed[b].insert(r);
            moved.insert(row, m_blocks[b].firstRow + r - 1);
        }
    }
    QHash<quint64, QString> edits;
    for (auto e = m_edits.cbegin(); e != m_edits.cend(); ++e) {
        const auto to = moved.constFind(int(e.key() >> 4));
        if (to != moved.cend())
            edits.insert(editKey(*to, int(e.key() & 15)), e.value());
    }
    QHash<int, QStringList> editedRowsAfter;
    for (auto m = moved.cbegin(); m != moved.cend(); ++m)
        editedRowsAfter.insert(m.value(), m_editedRows.value(m.key()));
    m_edits = std::move(edits);
    m_editedRows = std::move(editedRowsAfter);
}

int RecordList::findRead(int b, const QStringList& texts, const QSet<int>& claimed)
{
    const RecordRows* rows = load(b);
    if (!rows)
        return 0;
    for (int r = 1; r <= qMin(rows->rowCount(), m_blocks[b].rows); ++r) {
        if (claimed.contains(r))
            continue;
        bool same = true;
        for (int col = 1; same && col <= RecordRows::Columns; ++col)
            same = rows->text(r, col) == texts[col - 1];
        if (same)
            return r;
    }
    return 0;
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
    m_estimate = qMax(m_count, m_estimate - removed);
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
    QHash<int, QStringList> editedRows;
    for (auto e = m_editedRows.cbegin(); e != m_editedRows.cend(); ++e) {
        if (e.key() < first)
            editedRows.insert(e.key(), e.value());
        else if (e.key() > last)
            editedRows.insert(e.key() - removed, e.value());
    }
    m_editedRows = std::move(editedRows);
}

qint64 RecordList::memoryBytes() const
{
    // A block start is a cursor: its statement texts are shared, its last key is its own.
    qint64 bytes = qint64(m_blocks.capacity()) * qint64(sizeof(Block)) + qint64(m_blocks.size()) * 64;
    // A cached row: 24 bytes, its share of the texts it holds about as much again.
    for (const Cached& c : m_cache)
        bytes += qint64(sizeof(Cached)) + qint64(c.rows.rowCount()) * 48;
    bytes += qint64(m_edits.size()) * 64 + qint64(m_editedRows.size()) * 400;
    return bytes;
}

} // namespace k27
