#pragma once

#include <QString>

namespace k27 {

// The like-comparison of the search fields: "*" any run of characters, "?" any one
// character, "#" any one digit, "[...]" one character of a set ("[!...]" not of it,
// "a-z" ranges). Case-sensitive; the whole text must match.
bool likeMatch(const QString& text, const QString& pattern);

} // namespace k27
