#include "EntryTime.h"

#include <QDate>
#include <QTime>
#include <QRegularExpression>

#include <cstdio>

namespace k27 {

namespace {

// One to `most` ASCII digits at `at` (at least `least`), greedy.
bool digits(QStringView text, qsizetype& at, int least, int most, int* value)
{
    int n = 0, v = 0;
    while (n < most && at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
        v = v * 10 + (text[at].unicode() - u'0');
        ++at;
        ++n;
    }
    *value = v;
    return n >= least;
}

// The usual texts, read without the pattern: a file of millions of lines spends most of its
// parsing there. Only texts of ASCII digits, "-", "/", ":" and blanks are read here, and with
// the same grammar (each group of digits is followed by a fixed character or the end, so
// reading them greedily finds what the pattern finds); anything else goes to the pattern.
// Returns false when the pattern must decide.
bool quickEntryTime(QStringView text, QString* stored)
{
    for (const QChar c : text)
        if (!((c >= u'0' && c <= u'9') || c == u'-' || c == u'/' || c == u':' || c == u' '))
            return false;
    qsizetype at = 0;
    int year, month, day, hour, minute, second = 0;
    stored->clear();
    if (!digits(text, at, 4, 4, &year) || at >= text.size() || (text[at] != u'-' && text[at] != u'/'))
        return true;
    const QChar separator = text[at++];
    if (!digits(text, at, 1, 2, &month) || at >= text.size() || text[at++] != separator)
        return true;
    if (!digits(text, at, 1, 2, &day) || at >= text.size() || text[at] != u' ')
        return true;
    while (at < text.size() && text[at] == u' ')
        ++at;
    if (!digits(text, at, 1, 2, &hour) || at >= text.size() || text[at++] != u':')
        return true;
    if (!digits(text, at, 1, 2, &minute))
        return true;
    if (at < text.size() && (text[at++] != u':' || !digits(text, at, 1, 2, &second) || at != text.size()))
        return true;
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return true;
    if (year < 1000)
        return false; // the pattern's way writes the year
    char out[64];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    *stored = QString::fromLatin1(out, 19);
    return true;
}

} // namespace

QString normaliseEntryTime(const QString& text)
{
    if (QString stored; quickEntryTime(text, &stored))
        return stored;
    static const QRegularExpression shape(
        QStringLiteral(R"(^(\d{4})([-/])(\d{1,2})\2(\d{1,2}) +(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?$)"));
    const auto m = shape.match(text);
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    const int seconds = m.capturedLength(7) ? m.captured(7).toInt() : 0;
    const QTime time(m.captured(5).toInt(), m.captured(6).toInt(), seconds);
    if (!date.isValid() || !time.isValid())
        return {};
    // Date and time apart: a local time zone's daylight-saving gap must not move the value.
    return date.toString(QStringLiteral("yyyy-MM-dd")) + u' ' + time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace k27
