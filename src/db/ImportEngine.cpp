#include "ImportEngine.h"

#include "db/Database.h"
#include "db/RegisterLock.h"
#include "db/Schema.h"
#include "workbook/Workbook.h"

namespace k27 {

namespace {

void bindAll(Statement& statement, int first, const QVariantList& values)
{
    for (const QVariant& value : values) {
        if (value.typeId() == QMetaType::LongLong)
            statement.bind(first++, value.toLongLong());
        else
            statement.bind(first++, value.toString());
    }
}

void bindTexts(Statement& statement, int first, const QStringList& texts)
{
    for (const QString& text : texts)
        statement.bind(first++, text);
}

} // namespace

struct ImportEngine::Statements
{
    explicit Statements(Database& db, const Table& table)
        : lookup(db, QStringLiteral("select %1 from %2").arg(table.valueColumns.join(QStringLiteral(", ")), table.name)
                         + table.keyCondition),
          insert(db, QStringLiteral("insert into %1 (%2) values (%3)")
                         .arg(table.name, (table.keyColumns + table.valueColumns).join(QStringLiteral(", ")),
                              QStringList(table.keyColumns.size() + table.valueColumns.size(), QStringLiteral("?"))
                                  .join(QStringLiteral(", ")))),
          update(
              db,
              QStringLiteral("update %1 set %2 = ?").arg(table.name, table.valueColumns.join(QStringLiteral(" = ?, ")))
                  + table.keyCondition)
    {
    }
    bool isValid() const { return lookup.isValid() && insert.isValid() && update.isValid(); }

    Statement lookup; // the stored values an overwrite would replace
    Statement insert; // key columns, then value columns
    Statement update; // value columns, then the key condition
    QStringList stored;
};

ImportEngine::ImportEngine(Database& db, Table table, ReadLine read)
    : m_db(db), m_table(std::move(table)), m_read(std::move(read))
{
}

ImportEngine::Result ImportEngine::run(const Workbook& sheet)
{
    int next = 0;
    return run(sheet.columns, int(sheet.rows.size()), [&](QStringList* row) {
        if (next >= sheet.rows.size())
            return false;
        *row = sheet.rows[next++];
        return true;
    });
}

ImportEngine::Result ImportEngine::run(int columns, int total, const RowSource& next)
{
    Result result;
    m_answer.clear();
    if (columns < m_table.minimumColumns) {
        result.tooFewColumns = true;
        return result;
    }
    ensureLookupIndexes(m_db);
    m_db.useBulkWrites();
    Statements sql(m_db, m_table);

    // What the open step did counts once the step is committed.
    ImportCounts step;
    WriteSteps steps(m_db, m_progress, total, m_table.steps);
    steps.settled = [&] {
        result.counts.added += step.added;
        result.counts.overwritten += step.overwritten;
        result.counts.skipped += step.skipped;
        result.counts.refused += step.refused;
        step = {};
    };
    steps.closing = [&] {
        ImportCounts all = result.counts;
        if (!steps.failed()) {
            all.added += step.added;
            all.overwritten += step.overwritten;
            all.skipped += step.skipped;
            all.refused += step.refused;
        }
        return m_observer->closing(m_table.name, all, total);
    };
    // Each step queues behind the writes of other desks (audited overwrites lock the log's head).
    steps.opened = [this] { return RegisterLock::queueWrites(m_db); };
    if (!sql.isValid() || !steps.begin())
        steps.fail();

    QStringList line;
    ImportRow row;
    int read = 0;
    while (!steps.ended() && next(&line)) {
        ++read;
        row.insertKey.clear();
        if (!m_read(line, &row))
            ++step.skipped;
        else if (!writeRow(sql, steps, row, &step))
            break;
        steps.lineDone(read);
    }
    result.read = steps.finish(read);
    result.writeFailed = steps.failed();
    result.stopped = steps.stopped();
    m_observer->finished(m_table.name, result.counts);
    return result;
}

bool ImportEngine::writeRow(Statements& sql, WriteSteps& steps, const ImportRow& row, ImportCounts* step)
{
    bool failed = false;
    const auto lookUp = [&] {
        bindAll(sql.lookup, 1, row.key);
        return sql.lookup.exists(&failed, &sql.stored);
    };
    const auto insert = [&] {
        bindAll(sql.insert, 1, row.insertKey.isEmpty() ? row.key : row.insertKey);
        bindTexts(sql.insert, int(m_table.keyColumns.size()) + 1, row.values);
        return sql.insert.exec();
    };
    bool known = lookUp();
    bool written = false;
    bool tried = false;
    if (!failed && !known) {
        tried = true;
        written = insert();
        // Another desk stored the same key since the look: the row is a duplicate after all.
        if (!written && m_db.lastErrorDuplicateKey()) {
            known = lookUp();
            tried = !known;
        }
    }
    if (!failed && known) {
        // The operator may take a while to answer, and events run meanwhile: nothing stays
        // locked, and what is done so far is stored.
        const bool asking = !m_answer.holdsForAll();
        if (asking && !steps.commitNow())
            return false;
        // The question shows the row as it is now: other desks write beside this one.
        if (asking && !m_db.oneWriterAtATime())
            known = lookUp();
        if (failed) {
        } else if (!known) {
            // Deleted meanwhile: the line is new again.
            tried = true;
            written = insert();
        } else if (m_answer.decide(asking ? question(row, sql.stored) : QString(), m_ask)) {
            tried = true;
            bindTexts(sql.update, 1, row.values);
            bindAll(sql.update, int(row.values.size()) + 1, row.key);
            written = sql.update.exec();
            QStringList key;
            for (const QVariant& value : row.key)
                key << value.toString();
            if (written
                && !m_observer->overwritten(m_table.name, key,
                                            changedFields(m_table.valueColumns, sql.stored, row.values))) {
                steps.fail();
                return false;
            }
        }
    }
    if (failed) {
        steps.fail();
        return false;
    }
    if (!steps.rowDone(tried, written))
        return false;
    if (written)
        ++(known ? step->overwritten : step->added);
    else
        ++(tried ? step->refused : step->skipped);
    return true;
}

QString ImportEngine::question(const ImportRow& row, const QStringList& stored) const
{
    const ImportQuestion& q = m_question;
    return q.start + row.shownKey + q.end + QStringLiteral("\n\n")
           + describeChanges(changedFields(q.captions, stored, row.values), q.changes, q.empty, q.unchanged);
}

} // namespace k27
