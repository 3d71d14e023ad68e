#pragma once

#include <QString>

namespace k27 {

// Leading and trailing blanks (only U+0020) removed, as the forms' trimming does.
QString trimSpaces(const QString& text);
QString trimRight(const QString& text);

// The text cut before its first NUL, then trimmed of blanks.
QString TrimAtNul(const QString& text);

// A number "in the usual sense": optional sign, digits with an optional decimal point,
// optional exponent; surrounding blanks allowed. Locale-independent.
bool parseNumber(const QString& text, double* value);

// The leading decimal number of a text, 0 when it has none ("0012ab" -> 12, "ab" -> 0).
double leadingNumber(const QString& text);

} // namespace k27
