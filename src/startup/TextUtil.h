#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace k27 {

// Leading and trailing blanks (only U+0020) removed, as the forms' trimming does.
QString trimSpaces(const QString& text);
QString trimRight(const QString& text);

// The text cut before its first NUL, then trimmed of blanks.
QString TrimAtNul(const QString& text);

// A number "in the usual sense": optional sign, digits with an optional decimal point,
// optional exponent; surrounding blanks allowed. Locale-independent.
bool parseNumber(const QString& text, double* value);

// The lines of a text, which end in CR LF, LF or a lone CR; the text after the last break
// is a line only when it is not empty. `breaks`, when given, receives the number of breaks.
QList<QStringView> splitLines(const QString& text, int* breaks = nullptr);

// The leading decimal number of a text, 0 when it has none ("0012ab" -> 12, "ab" -> 0).
double leadingNumber(const QString& text);

} // namespace k27
