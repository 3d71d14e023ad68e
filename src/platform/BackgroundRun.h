#pragma once

#include <functional>

namespace k27 {

class ImportProgress;

// Runs `work` on a thread of its own while the calling (window) thread goes on handling its
// events, socket notifiers excepted: a device reply waits until the run is over, as it would
// wait for the run's open transaction. The progress `work` is given reaches `shown` (may be
// null) on the calling thread a few times a second; a stop `shown` asks for reaches `work` at
// its next look, and a stop asked for before the run's first look is seen there. Returns once
// `work` has returned. `work` must not touch what the calling thread uses meanwhile.
void runInBackground(ImportProgress* shown, const std::function<void(ImportProgress& progress)>& work);

} // namespace k27
