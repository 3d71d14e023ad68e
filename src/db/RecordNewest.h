#pragma once

#include <functional>

namespace k27 {

class Database;

// Each card's newest record (进出记录_最近: card, time, record ID, terminal), the one a
// reading of the card-and-time index backwards from the card's end finds first: the highest
// time, then the highest ID, among the card's records that have a time. Triggers on the record
// table keep it through every insert, update and deletion, so "last seen" over every holder
// reads one short row per holder instead of a record spread anywhere in the file.
namespace newestRecords {
inline constexpr const char* Table = "进出记录_最近";
// Creates and fills the table and its triggers when the embedded file lacks them (together or
// not at all); true when the table is there afterwards. The fill takes `portion` cards at a
// time, telling `step` the share done (0..1000) after each; false from it stops the fill and
// nothing of it stays (the next call starts again). The server's register has no such table:
// there each card's newest record is read through its index.
bool ensure(Database& db, const std::function<bool(int permille)>& step = {}, int portion = 5000);
} // namespace newestRecords

} // namespace k27
