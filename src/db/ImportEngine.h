#pragma once

#include "db/WriteSteps.h"
#include "platform/DuplicateAnswer.h"
#include "platform/RowChanges.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>

namespace k27 {

class Database;
class ImportProgress;
struct Workbook;

// One sheet line as a register reads it.
struct ImportRow
{
    QVariantList key;       // bound to the lookup and to the update's key condition
    QVariantList insertKey; // the key columns as an insert stores them (empty: `key`)
    QStringList values;     // the value columns, as the insert and an overwrite write them
    QString shownKey;       // the row as the duplicate question names it
};

// The texts of the duplicate question: start + shown key + end, a blank line, then the
// changes an overwrite would make under `changes` (`empty` for an empty text), or
// `unchanged` when it would change nothing. `captions` run parallel to the value columns.
struct ImportQuestion
{
    QString start;
    QString end;
    QString changes;
    QString empty;
    QString unchanged;
    QStringList captions;
};

// What an import did, as committed.
struct ImportCounts
{
    int added = 0;
    int overwritten = 0;
    int skipped = 0; // incomplete, or the operator kept the stored row
    int refused = 0; // the database refused the row itself (a constraint)
    bool operator==(const ImportCounts&) const = default;
};

// Hears what an import changes. Does nothing unless a subclass says otherwise.
class ImportObserver
{
public:
    virtual ~ImportObserver() = default;
    // A stored row of `table` was overwritten; called inside the import's open step, so what
    // the observer writes through the same connection is committed or rolled back with the
    // row. `key` holds the key columns' values, `changes` the value columns whose text changed
    // (caption = column name), stored → incoming. False fails the run like a refused write.
    virtual bool overwritten(const QString& table, const QStringList& key, const QList<FieldChange>& changes)
    {
        Q_UNUSED(table);
        Q_UNUSED(key);
        Q_UNUSED(changes);
        return true;
    }
    // The run's last step is still open (after a stop: a transaction of its own), `counts`
    // being what the run will have committed with it out of `total` lines; what the observer
    // writes goes in with that step. False fails the step.
    virtual bool closing(const QString& table, const ImportCounts& counts, int total)
    {
        Q_UNUSED(table);
        Q_UNUSED(counts);
        Q_UNUSED(total);
        return true;
    }
    // The run is over (after its last commit); `counts` is what was committed.
    virtual void finished(const QString& table, const ImportCounts& counts)
    {
        Q_UNUSED(table);
        Q_UNUSED(counts);
    }
};

// The loop of a register's workbook import: each line is read by the register, looked up by
// its key, inserted when new; a known key asks the duplicate question (what is done so far
// is committed first, since the operator may take a while) and is overwritten or kept. The
// rows are written in steps (WriteSteps); a step that cannot be committed ends the run and
// its rows do not count.
class ImportEngine
{
public:
    struct Table
    {
        QString name;
        QStringList keyColumns;
        QString keyCondition; // " where ...": the key columns, bound in order
        QStringList valueColumns;
        int minimumColumns = 1;
        WriteSteps::Policy steps;
        // On a server, rows go in many at a time (ImportBatch; every column text).
        bool batched = false;
    };
    // Fills `row` from a sheet line; false when the line cannot be a row (it is skipped).
    using ReadLine = std::function<bool(const QStringList& line, ImportRow* row)>;
    // Gives the next data row, false at the end (a reader that streams its rows).
    using RowSource = std::function<bool(QStringList* row)>;

    struct Result
    {
        bool tooFewColumns = false; // nothing was read or written
        int read = 0;
        ImportCounts counts;
        bool writeFailed = false; // the database could not be written: the run stopped there
        bool stopped = false;     // stopped on request (a close) at a commit before the end

        int imported() const { return counts.added + counts.overwritten; }
        int skipped() const { return counts.skipped + counts.refused; }
    };

    ImportEngine(Database& db, Table table, ReadLine read);
    ImportEngine(const ImportEngine&) = delete;
    ImportEngine& operator=(const ImportEngine&) = delete;

    void setAsk(DuplicateAnswer::Ask ask) { m_ask = std::move(ask); }
    void setProgress(ImportProgress* progress) { m_progress = progress; }
    void setQuestion(ImportQuestion question) { m_question = std::move(question); }
    void setObserver(ImportObserver* observer) { m_observer = observer ? observer : &m_quiet; }

    Result run(const Workbook& sheet);
    // `total` data rows of `columns` columns each, taken from `next`.
    Result run(int columns, int total, const RowSource& next);
    const DuplicateAnswer& answer() const { return m_answer; }

private:
    struct Statements;
    struct Held;
    // Writes one complete row in the open step; false ends the run.
    bool writeRow(Statements& sql, WriteSteps& steps, const ImportRow& row, ImportCounts* step);
    // Writes the lines held for a batch, in their order, and marks them done; false ends the run.
    bool writeHeld(Statements& sql, WriteSteps& steps, Held& held, ImportCounts* step);
    QString question(const ImportRow& row, const QStringList& stored) const;

    Database& m_db;
    Table m_table;
    ReadLine m_read;
    ImportQuestion m_question;
    DuplicateAnswer::Ask m_ask;
    ImportProgress* m_progress = nullptr;
    ImportObserver m_quiet;
    ImportObserver* m_observer = &m_quiet;
    DuplicateAnswer m_answer;
};

} // namespace k27
