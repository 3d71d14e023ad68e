#pragma once

#include "RecordQuery.h"
#include "RecordRows.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>
#include <list>
#include <unordered_map>
#include <utility>

namespace k27 {

class Database;

// What the records grid shows: either a small table held whole (an import's rows, the recent
// mode), or a query result of any size known by position. A result of ten million records is
// not held: a counting pass walks it in order reading only its keys and keeps where every
// block of rows starts; the texts come in blocks read on demand from the nearest block start
// and kept in a bounded cache, the least recently used dropped first. Memory is then the block
// starts (some 300 bytes per block) plus the cache (`cacheBlocks` x `blockRows` rows), and
// edits the operator makes are kept aside so a dropped block does not lose them.
class RecordList
{
public:
    static constexpr int BlockRows = 1024;
    // About 27 MB of texts. The grid beside the list holds 8 bytes per row of its own (the
    // view's row sections, 80 MB for ten million rows), and the two stay within 150 MB.
    static constexpr int CacheBlocks = 64;
    // The first block is what the first screen needs (a tall screen shows some 60 rows): a
    // click waits for it alone, the blocks after it are counted behind.
    static constexpr int FirstRows = 128;

    // The connection blocks are read on (the window's); may give null when the file is gone.
    using Reader = std::function<Database*()>;

    // `firstRows` 0: FirstRows, or fewer when the blocks are smaller.
    explicit RecordList(int blockRows = BlockRows, int cacheBlocks = CacheBlocks, int firstRows = 0);

    void setReader(Reader reader) { m_reader = std::move(reader); }

    // Shows `rows` (not owned) as they are: edits and removals go to that table.
    void showTable(RecordRows* rows);
    // Runs the query: the recent mode fills `table` and shows it; otherwise the first block is
    // read now and the rest is counted by countPortion().
    RecordQuery::Result start(Database& db, const RecordFilter& filter, RecordRows& table);
    // Empties the list.
    void clear();

    // Rows counted so far (all of them once counted() is true).
    int rowCount() const;
    // The rows the scroll bar covers: while the count goes on, the whole result's size as
    // estimated from the entry times counted so far (refined with each portion); rows past
    // rowCount() show empty until the count reaches them.
    int expectedRows() const { return isCounting() ? qMax(m_count, m_estimate) : rowCount(); }
    bool counted() const { return !m_table && m_pass.atEnd(); }
    bool isCounting() const { return !m_table && !m_pass.atEnd(); }
    // Counts on for about `milliseconds` (at least one block); false when the database refused
    // (the count then ends where it was).
    bool countPortion(Database& db, int milliseconds);
    // Stops the count where it is.
    void endCount() { m_pass.reset(); }
    // Where the count is, 0..1000, judged by entry time (for a progress bar).
    int countPermille() const;

    // Empty text outside rows 1..rowCount() or columns 1..8, or when a block cannot be read.
    QString text(int row, int col);
    // A block could not be read since the last start(), clear() or resetReadFailure(): texts
    // taken meanwhile may be empty in its place.
    bool readFailed() const { return m_readFailed; }
    void resetReadFailure() { m_readFailed = false; }
    void setText(int row, int col, const QString& text);
    // The operator has typed into the list since the last start().
    bool hasEdits() const { return !m_edits.isEmpty(); }
    // The last row of the block that holds `row`: a deletion takes the keys of a whole block
    // before any of its records go, as a block is read again by position.
    int blockEnd(int row) const;
    // The first row of that block (1 for a table held whole).
    int blockStart(int row) const;
    // The filter of the query the list shows, as the operator log names it.
    const QString& filterText() const { return m_filterText; }
    // Rows first..last (clamped) left the database: later rows move up.
    void removeRows(int first, int last);

    // What identifies a row's record: its card number and entry time as a deletion finds it
    // (an edited time in another spelling of the same moment finds the same record).
    std::pair<QString, QString> keyOf(int row);
    bool isTable() const { return m_table != nullptr; }
    // The records a deletion removed, by key, and the span of their entry times.
    struct Deleted
    {
        bool keepKeys = false; // a table held whole drops rows by key; a result by position
                               // only needs the span
        QSet<std::pair<QString, QString>> keys;
        QString oldest;
        QString newest;
        void add(const std::pair<QString, QString>& key);
    };
    // Records left the database: the list shows again what is stored. A table held whole drops
    // every row of a deleted key, selected or not; a result by position counts again the blocks
    // whose entry times span a deleted one. An operator's edit stays on its record.
    void afterDeletion(Database& db, const Deleted& deleted);

    int blockCount() const { return int(m_blocks.size()); }
    int cachedBlocks() const { return int(m_cache.size()); }
    // Bytes held for the result: block starts, cached blocks and edits (an estimate).
    qint64 memoryBytes() const;

private:
    QString m_filterText;
    struct Block
    {
        RecordCursor from; // reads this block's rows first
        int firstRow = 1;
        int rows = 0;
    };
    struct Cached
    {
        int block;
        RecordRows rows;
    };

    int blockOf(int row) const;
    // Whether block `b` can hold records with entry times in [oldest, newest].
    bool mayHold(int b, const QString& oldest, const QString& newest) const;
    // The row's texts as read, without the operator's edits.
    QStringList readRow(int row);
    const RecordRows* load(int block);
    // The steps of afterDeletion().
    void dropDeletedKeys(const Deleted& deleted);
    void recountBlocks(Database& db, const Deleted& deleted, QList<int>& oldFirst, QList<bool>& recounted);
    void moveEdits(const QList<int>& oldFirst, const QList<bool>& recounted);
    // The row (within block `b`, from 1; 0 for none) not yet claimed whose texts as read are `texts`.
    int findRead(int b, const QStringList& texts, const QSet<int>& claimed);
    static quint64 editKey(int row, int col) { return (quint64(row) << 4) | quint64(col); }

    int m_blockRows;
    int m_cacheBlocks;
    int m_firstRows;
    Reader m_reader;
    RecordRows* m_table = nullptr;
    RecordCursor m_pass;
    QList<Block> m_blocks;
    int m_count = 0;
    int m_estimate = 0;
    qint64 m_idSpan = 0; // no result holds more records than the table's ID span
    void estimate();
    QString m_top; // the result's newest and oldest entry times, for countPermille()
    QString m_floor;
    std::list<Cached> m_cache; // most recently used first
    std::unordered_map<int, std::list<Cached>::iterator> m_cached;
    QHash<quint64, QString> m_edits;
    QHash<int, QStringList> m_editedRows; // the texts as read of every edited row
    bool m_readFailed = false;
};

} // namespace k27
