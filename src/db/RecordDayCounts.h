#pragma once

#include <QtGlobal>
#include <functional>

class QString;

namespace k27 {

class Database;

// The records counted per day and terminal (进出记录_日计数), one column per hour of the day
// (h00..h23) and one (h24) for records whose time names no hour. Triggers on the record table
// keep it exact through every insert, update and deletion; only records with a card number
// are counted, as only they are listed. A chart of a month then reads some thousands of rows
// instead of a million records.
//
// A record's day is the first ten characters of its entry time (text only: "" otherwise); its
// hour slot is the hour where characters 11-13 read " 00" to " 23", else 24. The statements
// that count records directly use the same two expressions, so both ways agree on every time.
namespace dayCounts {
inline constexpr const char* Table = "进出记录_日计数";
inline constexpr int Slots = 25;
// The day and the hour slot of the entry time in `column`.
QString day(const Database& db, const QString& column);
QString slot(const QString& column);
// The column of hour slot `s` ("h00" to "h24"), and all of them added up (a row's records).
QString slotColumn(int s);
QString allSlots();
// Told the share done (0..1000) after each portion of a long fill; false asks it to stop.
using Step = std::function<bool(int permille)>;
// Creates and fills the table and its triggers when the embedded file lacks them (together or
// not at all); true when the table is there afterwards. The fill reads the records `portion`
// IDs at a time, telling `step` after each: stopped there, nothing of it stays and the next
// call starts again. The server's register has no such table: its counts are made from the
// records.
bool ensure(Database& db, const Step& step = {}, qint64 portion = 250000);
} // namespace dayCounts

} // namespace k27
