#pragma once

#include <QString>

namespace k27 {

// Entry times are stored as text in this one form, so that ordering, ranges and the
// duplicate test compare them as dates.
inline constexpr const char* EntryTimeFormat = "yyyy-MM-dd HH:mm:ss";

// A date and time as terminals and operators write it, in the stored form; empty when the
// text is not a real date and time. Accepted: a four-digit year, month and day separated by
// "-" or "/", a blank, hours and minutes with optional seconds separated by ":", one or two
// digits each ("2011-03-15 08:30:05", "2011/3/15 8:30:05", "2011-3-5 8:3:5", "2011-03-15 08:30").
// Impossible dates and times (2011-02-30, 24:00:00) are refused.
QString normaliseEntryTime(const QString& text);

} // namespace k27
