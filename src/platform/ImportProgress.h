#pragma once

#include <QString>
#include <functional>

namespace k27 {

// What an import shows while it reads rows: the progress panel over its page. `advance`
// also lets pending window events run, so the window stays alive during a long import.
class ImportProgress
{
public:
    virtual ~ImportProgress() = default;
    virtual void begin(int total) = 0;
    virtual void advance(int done, int total) = 0;
    virtual void end(int done, int total) = 0;
    // Lets pending window events run during a long step before anything is shown (reading
    // a large file through once).
    virtual void idle() {}
    // The operator asked to stop the run (closing the window): it ends at its next commit,
    // keeping what is stored.
    virtual bool stopRequested() const { return false; }
};

// A whole register's copy shown table by table (the table, rows done, rows in all).
inline std::function<void(const QString&, qint64, qint64)> tableProgress(ImportProgress& progress)
{
    return [&progress, table = QString()](const QString& name, qint64 done, qint64 total) mutable {
        if (name != table) {
            table = name;
            progress.begin(int(total));
        }
        progress.advance(int(done), int(total));
    };
}

} // namespace k27
