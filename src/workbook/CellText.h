#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace k27::wb {

// How a number format shows a number: as a plain number, a date, a time, both, or an
// elapsed time whose first unit is not cut at the next larger one ([h]:mm:ss, [mm]:ss, [ss]).
enum class NumberKind { Plain, Date, Time, DateTime, ElapsedHours, ElapsedMinutes, ElapsedSeconds };

// The kind of a number format, from its id (the engines' built-in formats) and, for
// custom formats, its code.
NumberKind builtinFormatKind(uint32_t id);
NumberKind formatCodeKind(std::string_view code);

// A number as a spreadsheet shows it in a general format: 13800138000, 42, 0.5, -3.25.
std::string numberText(double v);
// A number in a cell of the given kind: dates as yyyy-MM-dd, times as HH:mm:ss, elapsed
// times with all their hours (255:10:10), minutes or seconds. `date1904` picks the
// workbook's date system.
std::string cellNumberText(double v, NumberKind kind, bool date1904);

// Appends UTF-16 code units as UTF-8; unpaired surrogates become U+FFFD.
void appendUtf16(std::string* out, const uint16_t* units, size_t count);
void appendCodePoint(std::string* out, uint32_t cp);

} // namespace k27::wb
