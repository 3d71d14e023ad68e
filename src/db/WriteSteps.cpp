#include "WriteSteps.h"

#include "db/Database.h"
#include "platform/ImportProgress.h"

namespace k27 {

WriteSteps::WriteSteps(Database& db, ImportProgress* progress, int total, Policy policy)
    : m_db(db), m_progress(progress), m_total(total), m_policy(policy)
{
    m_policy.showEvery = qMax(1, m_policy.showEvery);
    m_rowBound = m_policy.rows;
}

WriteSteps::~WriteSteps()
{
    if (m_db.inTransaction())
        m_db.rollback();
}

bool WriteSteps::begin()
{
    if (m_progress)
        m_progress->begin(m_total);
    m_age.start();
    if (!open())
        fail();
    return !m_failed;
}

bool WriteSteps::open()
{
    return m_db.beginTransaction() && (!opened || opened());
}

void WriteSteps::fail()
{
    m_failed = true;
    if (m_db.inTransaction())
        m_db.rollback();
}

bool WriteSteps::rowDone(bool tried, bool written)
{
    if (tried && !written && !m_db.lastErrorRefusedRow()) {
        fail();
        return false;
    }
    if (written)
        wrote();
    return true;
}

bool WriteSteps::commit()
{
    if (m_failed)
        return false;
    // A failed commit may leave the transaction open (or the engine has rolled it back).
    QElapsedTimer took;
    took.start();
    if ((flushing && !flushing()) || !m_db.inTransaction() || !m_db.commit()) {
        fail();
        return false;
    }
    m_commitMs = took.elapsed();
    m_committedLines = m_lines;
    m_writes = 0;
    if (m_policy.growTo > m_rowBound)
        m_rowBound = m_policy.growAtOnce ? m_policy.growTo : int(qMin<qint64>(qint64(m_rowBound) * 2, m_policy.growTo));
    if (settled)
        settled();
    return true;
}

void WriteSteps::show(int upTo)
{
    if (!m_progress)
        return;
    // Every progress line passed since the last display, in order: the count moves as it
    // would line by line, only never ahead of what is stored.
    for (int line = m_shown + m_policy.showEvery; line <= upTo; line += m_policy.showEvery) {
        m_progress->advance(line, m_total);
        m_shown = line;
    }
}

bool WriteSteps::commitNow()
{
    if (m_stopped || !commit())
        return false;
    show(m_committedLines);
    // A stop asked for while the progress let events run: what is done is stored, and no
    // further line is begun.
    if (m_progress && m_progress->stopRequested()) {
        m_stopped = true;
        return false;
    }
    m_age.restart();
    if (!open())
        fail();
    return !m_failed;
}

bool WriteSteps::lineDone(int done)
{
    if (m_failed || m_stopped)
        return false;
    // Lines done several at once (a batch) pass a progress line as the last of them would.
    const bool passed = done / m_policy.showEvery > m_lines / m_policy.showEvery;
    m_lines = done;
    if (!passed)
        return true;
    // Due once the step and its commit (as long as the last one) would hold the window for
    // `ms`: a commit of a large step into a large index takes tens of milliseconds itself.
    if (m_writes < m_rowBound && m_age.elapsed() + m_commitMs < m_policy.ms)
        return true;
    return commitNow();
}

int WriteSteps::finish(int done)
{
    if (m_stopped) {
        done = m_committedLines;
        if (closing)
            closing();
    } else if (!m_failed) {
        m_lines = done;
        if ((flushing && !flushing()) || (closing && !closing()))
            fail();
        commit();
    }
    if (!m_failed)
        show(done);
    const int counted = m_failed ? m_committedLines : done;
    if (m_progress)
        m_progress->end(counted, m_total);
    return counted;
}

} // namespace k27
