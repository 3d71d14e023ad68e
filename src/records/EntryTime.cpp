#include "EntryTime.h"

#include <QDate>
#include <QTime>
#include <QRegularExpression>

namespace k27 {

QString normaliseEntryTime(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral(
        R"(^(\d{4})([-/])(\d{1,2})\2(\d{1,2}) +(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?$)"));
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
