#pragma once

#include <QElapsedTimer>
#include <functional>

namespace k27 {

class Database;
class ImportProgress;

// The writes of a long operation (an import, a deletion) in steps: each step is one
// transaction, committed at a progress line once it holds `rows` writes or has been open
// `ms` milliseconds. The progress is shown, and window events run, only right after a
// commit: no write lock is held while a device reply wants to store its card, and the
// operator never sees a count whose rows a crash could still take away (a crash loses at
// most the open step). Every commit is checked; a failed one ends the run.
class WriteSteps
{
public:
    struct Policy
    {
        int rows = 500;     // writes per step at most
        int ms = 100;       // age of a step with its commit at most (so the window never waits long)
        int showEvery = 50; // lines between two progress displays
        // When above `rows`: the row bound doubles at each commit up to this. The first rows
        // show at once, and a long run commits about every `ms`: each commit writes every page
        // its step touched, so a step of 500 rows into a large index costs several times what
        // the same rows cost in one step ten times their size.
        int growTo = 0;
        // The row bound becomes `growTo` at the first commit instead of doubling: a run off the
        // window's thread shows its first rows (and sees a stop) early, then commits by age.
        bool growAtOnce = false;
    };

    WriteSteps(Database& db, ImportProgress* progress, int total, Policy policy);
    WriteSteps(Database& db, ImportProgress* progress, int total) : WriteSteps(db, progress, total, Policy{}) {}
    // A step still open is rolled back.
    ~WriteSteps();
    WriteSteps(const WriteSteps&) = delete;
    WriteSteps& operator=(const WriteSteps&) = delete;

    // Called after each successful commit: what the engine kept aside for the step (counts,
    // rows for the grid) now counts.
    std::function<void()> settled;
    // Called once at the end with the last step still open (or, after a stop, in a transaction
    // of its own): the run's own row (the operator log's) goes in with its last rows. False
    // fails the last step.
    std::function<bool()> closing;
    // Called right after each step's transaction opened; false fails the step.
    std::function<bool()> opened;
    // Called before each commit, and before `closing`: writes the caller holds back to send
    // together go in with their step. False fails the step.
    std::function<bool()> flushing;

    // Opens the first step and shows the start of the progress. False when the database
    // refuses a transaction.
    bool begin();
    // One row of the open step was written.
    void wrote() { ++m_writes; }
    // Rows the open step may still take before it is due (at least 1).
    int room() const { return qMax(1, m_rowBound - m_writes); }
    // Lines up to `done` are done (one more, or several whose rows went in together). Commits
    // when the step is due and a progress line was passed, and then shows the lines committed.
    // False once the run has failed or stopped.
    bool lineDone(int done);
    // Commits the open step now and opens the next (before a question to the operator).
    // False when that failed, or when the progress asked to stop (all done so far is stored).
    bool commitNow();
    // Commits the last step and shows the end of the progress. Returns the lines that count:
    // `done`, or the lines committed when the run failed.
    int finish(int done);
    // A write was refused for the file's sake: the open step is rolled back, the run stops.
    void fail();
    // The outcome of one row's write, if one was `tried`: a written row counts toward the step;
    // a write refused for the file's sake (not for the row's own) fails the run, and false says
    // to stop.
    bool rowDone(bool tried, bool written);

    bool failed() const { return m_failed; }
    // The progress asked to stop and a commit has since kept everything done so far.
    bool stopped() const { return m_stopped; }
    // No more lines: the run failed or was stopped.
    bool ended() const { return m_failed || m_stopped; }

private:
    bool commit();
    bool open();
    void show(int upTo);

    Database& m_db;
    ImportProgress* m_progress;
    int m_total;
    Policy m_policy;
    QElapsedTimer m_age;
    int m_rowBound = 0;
    int m_writes = 0;
    qint64 m_commitMs = 0; // how long the last commit took
    int m_lines = 0;       // lines done so far
    int m_committedLines = 0;
    int m_shown = 0;
    bool m_failed = false;
    bool m_stopped = false;
};

} // namespace k27
