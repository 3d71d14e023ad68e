#include "BackgroundRun.h"

#include "ImportProgress.h"

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <mutex>
#include <thread>

namespace k27 {

namespace {

// What the worker reports, kept for the calling thread's next look.
class Relay final : public ImportProgress
{
public:
    void begin(int total) override { m_total.store(total); }
    void advance(int done, int /*total*/) override { m_done.store(done); }
    void end(int done, int /*total*/) override
    {
        m_done.store(done);
        m_ended.store(true);
    }
    bool stopRequested() const override
    {
        // The first look waits for the window's next look, which brings any stop already asked
        // for: a run otherwise could end before a close made at its very start reached it.
        if (m_firstLook.exchange(false)) {
            std::unique_lock lock(m_mutex);
            const int seen = m_looks;
            m_looked.wait_for(lock, std::chrono::seconds(1), [&] { return m_looks > seen || m_finished; });
        }
        return m_stop.load();
    }

    // Calling thread.
    int total() const { return m_total.load(); }
    int done() const { return m_done.load(); }
    bool ended() const { return m_ended.load(); }
    void looked(bool stop)
    {
        if (stop)
            m_stop.store(true);
        {
            std::lock_guard lock(m_mutex);
            ++m_looks;
        }
        m_looked.notify_all();
    }
    void finished()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_looked.notify_all();
    }

private:
    std::atomic<int> m_total{-1};
    std::atomic<int> m_done{-1};
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_stop{false};
    mutable std::atomic<bool> m_firstLook{true};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_looked;
    int m_looks = 0;
    bool m_finished = false;
};

} // namespace

void runInBackground(ImportProgress* shown, const std::function<void(ImportProgress& progress)>& work)
{
    Relay relay;
    std::atomic<bool> done{false};
    QEventLoop loop;
    int shownTotal = -1, shownDone = -1;
    bool looking = false;
    // The panel is up before the first event runs, while the worker still reads its input.
    if (shown)
        shown->begin(0);
    const auto look = [&] {
        if (looking) // the progress lets events run, this timer's among them
            return;
        looking = true;
        const bool stop = shown && shown->stopRequested();
        if (shown) {
            const int total = relay.total();
            if (total >= 0 && total != shownTotal) {
                shownTotal = total;
                shown->begin(total);
            }
            const int count = relay.done();
            if (count >= 0 && count != shownDone && !relay.ended()) {
                shownDone = count;
                shown->advance(count, qMax(total, 0));
            }
        }
        relay.looked(stop);
        if (done.load())
            loop.quit();
        looking = false;
    };
    QTimer timer;
    timer.setInterval(16);
    QObject::connect(&timer, &QTimer::timeout, &loop, look);
    timer.start();
    std::thread worker([&] {
        work(relay);
        done.store(true);
        relay.finished();
    });
    loop.exec(QEventLoop::AllEvents | QEventLoop::ExcludeSocketNotifiers);
    worker.join();
    timer.stop();
#ifdef __GLIBC__
    // The run's thread allocated in a heap of its own, which keeps what it freed: given back
    // now, the memory the run used is the system's again.
    malloc_trim(0);
#endif
    if (shown && relay.ended())
        shown->end(relay.done(), qMax(relay.total(), 0));
}

} // namespace k27
