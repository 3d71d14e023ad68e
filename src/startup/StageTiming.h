#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace k27 {

// For the window benchmark, which times this very program from outside: with
// K27CENTER_BENCH_STAGES set, each start-up stage is written to stderr as
//   k27center-stage NAME NANOSECONDS keys=N rss=KB [more]
// on the monotonic clock (the same in every process), with the key derivations and the
// resident memory so far. Given K27CENTER_BENCH_PASSWORD as well (and K27CENTER_BENCH_OPERATOR,
// else the first operator), the program signs in through its dialog as an operator would,
// the password checked as always, and ends once its main window is usable (or, with
// K27CENTER_BENCH_CLICKS, once it has clicked the records page's queries: BenchClicks.h). Without
// K27CENTER_BENCH_STAGES none of it runs, whatever else is set.
class StageTiming
{
public:
    // Reads the variables once and takes the password out of the environment, so that
    // nothing the program starts inherits it.
    static StageTiming fromEnvironment();

    bool enabled() const { return m_enabled; }
    bool signsIn() const { return m_signsIn; }
    const QString& operatorName() const { return m_operator; }

    void mark(const char* stage, const QByteArray& more = {}) const;

    // Calls `then` once `widget` has been painted and the events queued by then have run.
    void afterFirstPaint(QWidget* widget, std::function<void()> then) const;

    // Once the sign-in dialog has opened to `openedWidth`, chooses the operator, types the
    // password and clicks OK; the typed copy is wiped. Only when signsIn().
    void signInWhenOpened(QDialog* dialog, int openedWidth);

private:
    bool m_enabled = false;
    bool m_signsIn = false;
    QString m_operator;
    QString m_password;
};

} // namespace k27
