#include "ImportEngine.h"

#include "db/Database.h"
#include "db/ImportBatch.h"
#include "db/RegisterLock.h"
#include "db/Schema.h"
#include "workbook/Workbook.h"

#include <QScopeGuard>
#include <optional>

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

// Lines read but not yet written: on a server they go in a batch at a time.
struct ImportEngine::Held
{
    Held(Database& db, const Table& table)
        : batch(db, table.name, table.keyCondition, table.keyColumns + table.valueColumns, int(table.keyColumns.size()))
    {
    }
    void hold(int number, bool readable, const ImportRow& row)
    {
        lines.push_back({number, readable, row});
        if (readable)
            batch.add(row.key, (row.insertKey.isEmpty() ? row.key : row.insertKey), row.values);
    }

    struct Line
    {
        int number;
        bool readable;
        ImportRow row;
    };
    ImportBatch batch; // the readable lines' rows, in order
    std::vector<Line> lines;
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

    std::optional<Held> held;
    if (m_table.batched && m_db.isServer())
        held.emplace(m_db, m_table);
    QStringList line;
    ImportRow row;
    int read = 0;
    while (!steps.ended() && next(&line)) {
        ++read;
        row.insertKey.clear();
        const bool readable = m_read(line, &row);
        if (held) {
            // A key held already repeats that line's: the lines held go in first, so that this
            // one meets it stored and asks its question.
            if (readable && held->batch.holds(row.key) && !writeHeld(sql, steps, *held, &step))
                break;
            held->hold(read, readable, row);
            // Never more held than the step may take (its first rows show as soon as row by row),
            // yet a progress line's worth: each batch passes one, where a due step is committed.
            const int due = qMin(ImportBatch::Rows, qMax(steps.room(), m_table.steps.showEvery));
            if (int(held->lines.size()) >= due && !writeHeld(sql, steps, *held, &step))
                break;
            continue;
        }
        if (!readable)
            ++step.skipped;
        else if (!writeRow(sql, steps, row, &step))
            break;
        steps.lineDone(read);
    }
    if (held && !steps.ended())
        writeHeld(sql, steps, *held, &step);
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

bool ImportEngine::writeHeld(Statements& sql, WriteSteps& steps, Held& held, ImportCounts* step)
{
    const auto emptied = qScopeGuard([&held] {
        held.lines.clear();
        held.batch.clear();
    });
    if (held.lines.empty())
        return true;
    std::vector<char> stored;
    if (held.batch.size() > 0 && !held.batch.findStored(&stored)) {
        steps.fail();
        return false;
    }
    std::vector<char> inserted;
    int runFrom = 0, runTo = 0; // the run of new rows inserted last
    int next = 0;               // the batch's row of the next readable line
    for (const Held::Line& line : held.lines) {
        if (!line.readable) {
            ++step->skipped;
            continue;
        }
        const int row = next++;
        if (stored[size_t(row)]) {
            // A stored key: the lines before it are done; its question goes as row by row.
            if (!steps.lineDone(line.number - 1) || !writeRow(sql, steps, line.row, step))
                return false;
            continue;
        }
        if (row >= runTo) {
            // The new rows up to the next stored key go in with one statement.
            runFrom = row;
            runTo = row + 1;
            while (runTo < held.batch.size() && !stored[size_t(runTo)])
                ++runTo;
            if (!held.batch.insert(runFrom, runTo, &inserted)) {
                // A row the table refuses spoils the statement: row by row, it alone stays out.
                if (!m_db.lastErrorRefusedRow()) {
                    steps.fail();
                    return false;
                }
                inserted.assign(size_t(runTo - runFrom), 0);
            }
            // Counted at once: a commit within the run keeps all of them.
            for (const char in : inserted) {
                if (in) {
                    steps.wrote();
                    ++step->added;
                }
            }
        }
        // Left out: another desk stored the key meanwhile, or the statement was refused.
        if (!inserted[size_t(row - runFrom)] && !writeRow(sql, steps, line.row, step))
            return false;
    }
    return steps.lineDone(held.lines.back().number);
}

QString ImportEngine::question(const ImportRow& row, const QStringList& stored) const
{
    const ImportQuestion& q = m_question;
    return q.start + row.shownKey + q.end + QStringLiteral("\n\n")
           + describeChanges(changedFields(q.captions, stored, row.values), q.changes, q.empty, q.unchanged);
}

} // namespace k27
