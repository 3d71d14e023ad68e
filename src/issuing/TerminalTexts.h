#pragma once

#include <QString>

#include <array>

namespace k27 {

// One text per terminal number 0..500, indexed by the number: the validity text of each
// terminal granted by the last issue frame, or the terminals ticked for the last restore.
// The eight ranges end at 368, so every terminal a card can address has its place.
inline constexpr int MaxRecordedTerminal = 500;
using TerminalTexts = std::array<QString, MaxRecordedTerminal + 1>;

} // namespace k27
