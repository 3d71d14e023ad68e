#pragma once

#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace k27 {

class StageTiming;

// The window benchmark's clicks on the records page. With K27CENTER_BENCH_CLICKS set as well as
// the stage variables, once the main window is usable the page is opened by its ribbon tab and
// each query below is typed into the page's fields and run by its query button, Repeats times,
// the program marking "click-NAME" at the click and "painted-NAME" once the record grid has
// painted the result's first screen. Everything goes through the controls' names, as an
// operator's clicks would. The variable lists the names to click (commas between them); any
// other value clicks them all.
struct BenchClick
{
    const char* name;
    const char* card; // the card text typed (contains)
    bool newest;      // the newest-records box ticked, 200 chosen
};

constexpr int BenchClickRepeats = 5;
const std::vector<BenchClick>& benchClicks();
// The clicks asked for; none without both variables.
std::vector<BenchClick> benchClicksAsked(const StageTiming& stages);

// Runs the clicks on `window` and then `done` (at once when none are asked).
void clickRecordQueries(const StageTiming& stages, QWidget* window, std::function<void()> done);

} // namespace k27
