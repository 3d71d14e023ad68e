#pragma once

namespace k27 {

// Lets the interface process pending events until `ms` milliseconds have passed
// (at least once when ms > 0). Returns at once for ms <= 0.
void DelayMs(int ms);

// Selects the whole text of the control that has the input focus.
void SelectAllText();

} // namespace k27
