#include "RecordDeletion.h"

#include "EntryTime.h"
#include "platform/ImportProgress.h"
#include "RecordQuery.h"
#include "RecordRows.h"
#include "db/Database.h"
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

int RecordDeletion::run(Database& db, RecordRows& rows, int first, int last, ImportProgress* progress)
{
    if (last < first)
        std::swap(first, last);
    first = qMax(first, 1);
    last = qMin(last, rows.rowCount());
    if (first > last)
        return 0;
    const int total = last - first + 1;

    // The keys are taken before the first statement: window events run during the deletion.
    QList<std::pair<QString, QString>> keys;
    keys.reserve(total);
    for (int r = first; r <= last; ++r) {
        const QString entry = trimSpaces(rows.text(r, RecordRows::Time));
        // An entry time edited into another spelling of the same moment still finds its
        // record; a text that is no time finds nothing.
        const QString stored = normaliseEntryTime(entry);
        keys.append({trimSpaces(rows.text(r, RecordRows::Card)), stored.isEmpty() ? entry : stored});
    }

    if (progress) {
        progress->begin(total);
    }
    RecordQuery::ensureIndexes(db);
    const QString sql = QStringLiteral("DELETE FROM 进出记录 WHERE 卡号 = ? AND 进出时间 = ?");
    bool inTransaction = db.beginTransaction();
    int count = 0;
    for (const auto& [card, entry] : std::as_const(keys)) {
        db.exec(sql, {card, entry});   // a refused statement still counts: the row leaves the grid
        ++count;
        // Window events run only between transactions (see the import).
        const bool report = progress && count % ProgressStep == 0;
        if (inTransaction && (report || count % CommitStep == 0)) {
            db.commit();
            inTransaction = false;
        }
        if (report)
            progress->advance(count, total);
        if (!inTransaction)
            inTransaction = db.beginTransaction();
    }
    if (inTransaction)
        db.commit();

    rows.removeRows(first, last);
    if (progress)
        progress->end(count, total);
    return count;
}

QString RecordDeletion::summary(const LanguageTable& language, int count)
{
    return deletionSummary(language, count);
}

} // namespace k27
