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
    const int total = last - first + 1;

    // A statement also removes the records that share its card and time, wherever they are in
    // the list, and a block read again afterwards is short of them: its later rows move up.
    // So the block that holds the selection's last row, where rows moving up would bring in
    // rows never selected, is taken before anything goes. The blocks before it are selected
    // whole (but the first, taken before anything goes) and each is taken whole before its
    // records go; read again, a block brings in no rows of the next.
    const int lastBlock = qMax(first, rows.blockStart(last));
    rows.resetReadFailure();
    QList<std::pair<QString, QString>> tail;
    tail.reserve(last - lastBlock + 1);
    for (int r = lastBlock; r <= last; ++r)
        tail.append(rows.keyOf(r));

    RecordQuery::ensureIndexes(db);
    db.useBulkWrites();
    Statement remove(db, QStringLiteral("DELETE FROM 进出记录 WHERE 卡号 = ? AND 进出时间 = ?"));
    WriteSteps steps(db, progress, total, {500, 100, ProgressStep});
    // What the open step removed counts once it is committed: the records, and the keys the
    // list drops afterwards.
    RecordList::Deleted deleted;
    deleted.keepKeys = rows.isTable();
    int records = 0;
    int stepRecords = 0;
    QList<std::pair<QString, QString>> stepKeys;
    steps.settled = [&] {
        records += stepRecords;
        stepRecords = 0;
        for (const auto& key : std::as_const(stepKeys))
            deleted.add(key);
        stepKeys.clear();
    };
    steps.closing = [&] {
        return audit::record(db, audit::Action::RecordDelete, rows.filterText(),
                             QStringLiteral("rows %1 to %2 of the list; records deleted: %3")
                                 .arg(first)
                                 .arg(last)
                                 .arg(records + (steps.failed() ? 0 : stepRecords)));
    };
    if (!remove.isValid() || !steps.begin())
        steps.fail();
    int count = 0;
    const auto removeAll = [&](const QList<std::pair<QString, QString>>& keys) {
        // A block that could not be read gave empty keys: nothing is deleted on such a reading.
        if (rows.readFailed())
            steps.fail();
        for (const auto& key : keys) {
            if (steps.ended())
                return;
            if (!remove.bind(1, key.first).bind(2, key.second).exec()) {
                steps.fail(); // the file cannot be written: this step's rows stay
                return;
            }
            // An edited time finds nothing: the record stays, and so does its row.
            if (const int gone = db.changes(); gone > 0) {
                stepRecords += gone;
                stepKeys.append(key);
            }
            steps.wrote();
            steps.lineDone(++count);
        }
    };
    for (int r = first; r < lastBlock && !steps.ended();) {
        const int end = qMin(rows.blockEnd(r), lastBlock - 1);
        QList<std::pair<QString, QString>> keys;
        for (; r <= end; ++r)
            keys.append(rows.keyOf(r));
        removeAll(keys);
    }
    removeAll(tail);
    steps.finish(count);
    if (writeFailed)
        *writeFailed = steps.failed();
    if (stopped)
        *stopped = steps.stopped();

    // The list now shows what the database holds: twins of a deleted record go with it, a row
    // whose deletion found nothing stays.
    rows.afterDeletion(db, deleted);
    return records;
}

QString RecordDeletion::summary(const LanguageTable& language, int count, bool writeFailed, bool stopped)
{
    return deletionSummary(language, count, writeFailed, stopped);
}

} // namespace k27
