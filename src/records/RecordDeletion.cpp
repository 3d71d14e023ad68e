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

    // The keys of a portion are taken before its first statement: window events run during the
    // deletion, and a portion is a whole block of the list, read before any of its records go.
    QList<std::pair<QString, QString>> keys;
    int taken = first - 1;
    const auto takeKeys = [&] {
        keys.clear();
        const int end = qMin(last, qMax(rows.blockEnd(taken + 1), taken + 1));
        for (int r = taken + 1; r <= end; ++r) {
            const QString entry = trimSpaces(rows.text(r, RecordRows::Time));
            // An entry time edited into another spelling of the same moment still finds its
            // record; a text that is no time finds nothing.
            const QString stored = normaliseEntryTime(entry);
            keys.append({trimSpaces(rows.text(r, RecordRows::Card)), stored.isEmpty() ? entry : stored});
        }
        taken = end;
    };

    RecordQuery::ensureIndexes(db);
    db.useBulkWrites();
    Statement remove(db, QStringLiteral("DELETE FROM 进出记录 WHERE 卡号 = ? AND 进出时间 = ?"));
    WriteSteps steps(db, progress, total, {500, 100, ProgressStep});
    if (!remove.isValid() || !steps.begin())
        steps.fail();
    int count = 0;
    while (!steps.failed() && taken < last) {
        takeKeys();
        for (const auto& [card, entry] : std::as_const(keys)) {
            if (steps.failed())
                break;
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

    if (deleted > 0)
        rows.removeRows(first, first + deleted - 1);
    return deleted;
}

QString RecordDeletion::summary(const LanguageTable& language, int count, bool writeFailed)
{
    return deletionSummary(language, count, writeFailed);
}

} // namespace k27
