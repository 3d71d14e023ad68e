#include "RecordDeletion.h"

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
                        bool* writeFailed)
{
    RecordList list;
    list.showTable(&rows);
    return run(db, list, first, last, progress, writeFailed);
}

int RecordDeletion::run(Database& db, RecordList& rows, int first, int last, ImportProgress* progress,
                        bool* writeFailed)
{
    if (writeFailed)
        *writeFailed = false;
    if (last < first)
        std::swap(first, last);
    first = qMax(first, 1);
    last = qMin(last, rows.rowCount());
    if (first > last)
        return 0;
    const int total = last - first + 1;

    // Every key is taken before the first record goes. A statement also removes the records
    // that share its card and time; were a large result's blocks read again by position
    // afterwards, the rows behind such a record would move up, and a selection ending there
    // would take a record that was never selected. The keys wait in a table of this
    // connection's own temporary store, not in memory: a selection may hold millions of rows.
    // They are written in the first step's transaction, which fails or commits with it.
    RecordQuery::ensureIndexes(db);
    db.useBulkWrites();
    WriteSteps steps(db, progress, total, {500, 100, ProgressStep});
    if (!steps.begin() || !db.exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS deletion_keys (card TEXT, entry TEXT)"))
        || !db.exec(QStringLiteral("DELETE FROM temp.deletion_keys")))
        steps.fail();
    Statement keep(db, QStringLiteral("INSERT INTO temp.deletion_keys (card, entry) VALUES (?, ?)"));
    Statement remove(db, QStringLiteral("DELETE FROM 进出记录 WHERE 卡号 = ? AND 进出时间 = ?"));
    if (!keep.isValid() || !remove.isValid())
        steps.fail();
    rows.resetReadFailure();
    for (int r = first; r <= last && !steps.failed(); ++r) {
        const QString entry = trimSpaces(rows.text(r, RecordRows::Time));
        // An entry time edited into another spelling of the same moment still finds its
        // record; a text that is no time finds nothing.
        const QString stored = normaliseEntryTime(entry);
        if (!keep.bind(1, trimSpaces(rows.text(r, RecordRows::Card))).bind(2, stored.isEmpty() ? entry : stored).exec())
            steps.fail();
        else if (progress && r == rows.blockEnd(r))
            progress->idle();
    }
    // A block that could not be read gave empty keys: nothing is deleted on such a reading.
    if (rows.readFailed())
        steps.fail();
    int count = 0;
    while (!steps.failed() && count < total) {
        QList<std::pair<QString, QString>> keys;
        if (!db.query(QStringLiteral("SELECT card, entry FROM temp.deletion_keys WHERE rowid > ? ORDER BY rowid LIMIT 512"),
                      {count}, [&](const Row& row) {
                          keys.append({row.text(0), row.text(1)});
                          return true;
                      })
            || keys.isEmpty()) {
            steps.fail();
            break;
        }
        for (const auto& [card, entry] : std::as_const(keys)) {
            if (!remove.bind(1, card).bind(2, entry).exec()) {
                steps.fail();   // the file cannot be written: this step's rows stay
                break;
            }
            steps.wrote();
            steps.lineDone(++count);
        }
    }
    steps.finish(count);
    const int deleted = steps.failed() ? steps.committedLines() : count;
    if (writeFailed)
        *writeFailed = steps.failed();
    db.exec(QStringLiteral("DELETE FROM temp.deletion_keys"));

    if (deleted > 0)
        rows.removeRows(first, first + deleted - 1);
    return deleted;
}

QString RecordDeletion::summary(const LanguageTable& language, int count, bool writeFailed)
{
    return deletionSummary(language, count, writeFailed);
}

} // namespace k27
