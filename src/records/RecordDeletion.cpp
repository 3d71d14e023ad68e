#include "RecordDeletion.h"

#include "audit/AuditTrail.h"
#include "EntryTime.h"
#include "platform/ImportProgress.h"
#include "RecordQuery.h"
#include "RecordList.h"
#include "RecordRows.h"
#include "db/Database.h"
#include "db/WriteSteps.h"
#include "startup/LanguageTable.h"
#include "startup/TextUtil.h"

#include <QList>
#include <utility>

namespace k27 {

namespace {

using Key = std::pair<QString, QString>;

QList<Key> keysOf(RecordList& rows, int from, int to)
{
    QList<Key> keys;
    keys.reserve(qMax(0, to - from + 1));
    for (int r = from; r <= to; ++r)
        keys.append(rows.keyOf(r));
    return keys;
}

// The statements of one deletion in checked steps, and what the committed steps removed: the
// records, and the keys the list drops afterwards. What the open step removed counts once it
// is committed.
class DeletionSteps
{
public:
    DeletionSteps(Database& db, RecordList& rows, ImportProgress* progress, int first, int last)
        : m_db(db), m_rows(rows), m_remove(db, QStringLiteral("DELETE FROM 进出记录 WHERE 卡号 = ? AND 进出时间 = ?")),
          m_steps(db, progress, last - first + 1, {500, 100, RecordDeletion::ProgressStep})
    {
        deleted.keepKeys = rows.isTable();
        m_steps.settled = [this] {
            records += m_stepRecords;
            m_stepRecords = 0;
            for (const Key& key : std::as_const(m_stepKeys))
                deleted.add(key);
            m_stepKeys.clear();
        };
        m_steps.closing = [this, first, last] {
            return audit::record(m_db, audit::Action::RecordDelete, m_rows.filterText(),
                                 QStringLiteral("rows %1 to %2 of the list; records deleted: %3")
                                     .arg(first)
                                     .arg(last)
                                     .arg(records + (m_steps.failed() ? 0 : m_stepRecords)));
        };
        if (!m_remove.isValid() || !m_steps.begin())
            m_steps.fail();
    }

    bool ended() const { return m_steps.ended(); }

    void removeAll(const QList<Key>& keys)
    {
        // A block that could not be read gave empty keys: nothing is deleted on such a reading.
        if (m_rows.readFailed())
            m_steps.fail();
        for (const Key& key : keys) {
            if (m_steps.ended())
                return;
            if (!m_remove.bind(1, key.first).bind(2, key.second).exec()) {
                m_steps.fail(); // the file cannot be written: this step's rows stay
                return;
            }
            // An edited time finds nothing: the record stays, and so does its row.
            if (const int gone = m_db.changes(); gone > 0) {
                m_stepRecords += gone;
                m_stepKeys.append(key);
            }
            m_steps.wrote();
            m_steps.lineDone(++m_count);
        }
    }

    void finish(bool* writeFailed, bool* stopped)
    {
        m_steps.finish(m_count);
        if (writeFailed)
            *writeFailed = m_steps.failed();
        if (stopped)
            *stopped = m_steps.stopped();
    }

    RecordList::Deleted deleted;
    int records = 0;

private:
    Database& m_db;
    RecordList& m_rows;
    Statement m_remove;
    WriteSteps m_steps;
    int m_stepRecords = 0;
    QList<Key> m_stepKeys;
    int m_count = 0;
};

} // namespace

RecordDeletion::Check RecordDeletion::check(int rowCount, int& first, int& last)
{
    if (last < first)
        std::swap(first, last);
    if (rowCount < 1)
        return Check::NoRows;
    if (first < 1 || last < 1)
        return Check::HeaderRow;
    return Check::Ok;
}

int RecordDeletion::run(Database& db, RecordRows& rows, int first, int last, ImportProgress* progress,
                        bool* writeFailed, bool* stopped)
{
    RecordList list;
    list.showTable(&rows);
    return run(db, list, first, last, progress, writeFailed, stopped);
}

int RecordDeletion::run(Database& db, RecordList& rows, int first, int last, ImportProgress* progress,
                        bool* writeFailed, bool* stopped)
{
    if (writeFailed)
        *writeFailed = false;
    if (stopped)
        *stopped = false;
    if (last < first)
        std::swap(first, last);
    first = qMax(first, 1);
    last = qMin(last, rows.rowCount());
    if (first > last)
        return 0;

    // A statement also removes the records that share its card and time, wherever they are in
    // the list, and a block read again afterwards is short of them: its later rows move up.
    // So the block that holds the selection's last row, where rows moving up would bring in
    // rows never selected, is taken before anything goes. The blocks before it are selected
    // whole (but the first, taken before anything goes) and each is taken whole before its
    // records go; read again, a block brings in no rows of the next.
    const int lastBlock = qMax(first, rows.blockStart(last));
    rows.resetReadFailure();
    const QList<Key> tail = keysOf(rows, lastBlock, last);

    RecordQuery::ensureIndexes(db);
    db.useBulkWrites();
    DeletionSteps deletion(db, rows, progress, first, last);
    for (int r = first; r < lastBlock && !deletion.ended();) {
        const int end = qMin(rows.blockEnd(r), lastBlock - 1);
        deletion.removeAll(keysOf(rows, r, end));
        r = end + 1;
    }
    deletion.removeAll(tail);
    deletion.finish(writeFailed, stopped);

    // The list now shows what the database holds: twins of a deleted record go with it, a row
    // whose deletion found nothing stays.
    rows.afterDeletion(db, deletion.deleted);
    return deletion.records;
}

QString RecordDeletion::summary(const LanguageTable& language, int count, bool writeFailed, bool stopped)
{
    return deletionSummary(language, count, writeFailed, stopped);
}

} // namespace k27
