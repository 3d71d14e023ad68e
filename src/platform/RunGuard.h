#pragma once

#include <functional>
#include <utility>

namespace k27 {

// The one long run of the main window. Imports, deletions, the issuing run, backup and
// restore let window events through while they work, so without this a second one could
// start meanwhile: two imports would share the duplicate question, a restore would pull the
// database from under an import. Every start button asks here first; a refused start
// tells the operator (through `refused`) and starts nothing.
class RunGuard
{
public:
    enum class Run {
        None,
        CardholderImport,
        TerminalImport,
        RecordImport,
        CardholderDeletion,
        TerminalDeletion,
        RecordDeletion,
        OperatorDeletion,
        Issuing,
        Backup,
        Restore,
        RecordExport,
        RecordSummary, // an older register's day counts or newest records, made once
    };

    // Ends its run when it goes out of scope, unless kept (the issuing run stays open
    // after its start button returns).
    class Scope
    {
    public:
        Scope() = default;
        Scope(RunGuard* guard, Run run, bool started) : m_guard(guard), m_run(run), m_started(started) {}
        Scope(Scope&& other) noexcept { *this = std::move(other); }
        Scope& operator=(Scope&& other) noexcept
        {
            release();
            m_guard = std::exchange(other.m_guard, nullptr);
            m_run = other.m_run;
            m_started = std::exchange(other.m_started, false);
            return *this;
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        ~Scope() { release(); }

        explicit operator bool() const { return m_started; }
        // The run goes on after the scope; RunGuard::end() finishes it.
        void keep() { m_guard = nullptr; }

    private:
        void release()
        {
            if (m_guard && m_started)
                m_guard->end(m_run);
            m_guard = nullptr;
            m_started = false;
        }

        RunGuard* m_guard = nullptr;
        Run m_run = Run::None;
        bool m_started = false;
    };

    // Told when a start is refused (the window shows its message there).
    std::function<void()> refused;
    // Told when a run has ended (the window settles the database file there, and closes when
    // the close waited for the run).
    std::function<void()> ended;

    bool active() const { return m_current != Run::None; }
    Run current() const { return m_current; }
    // The run writes the database and holds its transaction open between commits (all but the
    // issuing run and a record export, the one run allowed beside it).
    bool writing() const { return active() && m_current != Run::Issuing && m_current != Run::RecordExport; }

    // Starts `run` when nothing else runs. The issuing run may be started again while it is
    // open (a second start resends the frame), and a record export may run beside it; neither
    // start ends the open run.
    Scope start(Run run)
    {
        if (m_current == Run::None) {
            m_current = run;
            return Scope(this, run, true);
        }
        if (m_current == run && run == Run::Issuing)
            return Scope(nullptr, run, true);
        // An export only reads, and an issuing run stays open for hours: it may go on beside it.
        if (m_current == Run::Issuing && run == Run::RecordExport)
            return Scope(nullptr, run, true);
        if (refused)
            refused();
        return Scope(nullptr, run, false);
    }

    void end(Run run)
    {
        if (m_current != run)
            return;
        m_current = Run::None;
        m_stopRequested = false;
        if (ended)
            ended();
    }

    // The operator asked to close the window during the run: the run ends at its next saved
    // step (imports and deletions) or leaves its file unwritten (an export).
    void requestStop()
    {
        if (m_current != Run::None)
            m_stopRequested = true;
    }
    bool stopRequested() const { return m_stopRequested; }

    // A start through a page that has no window (its guard is null) always goes ahead.
    static Scope start(RunGuard* guard, Run run) { return guard ? guard->start(run) : Scope(nullptr, run, true); }

private:
    Run m_current = Run::None;
    bool m_stopRequested = false;
};

} // namespace k27
