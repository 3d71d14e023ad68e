#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <vector>

namespace k27::bench {

// The median of `runs` timings of run(i), in milliseconds: one slow run (the other core busy)
// does not move it.
template <typename F>
double medianMs(int runs, F&& run)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run(i);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace k27::bench
