#pragma once

#include "RecordQuery.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <array>
#include <functional>

namespace k27 {

class Database;

// The numbers behind the records page's activity chart, for the same filter as the record
// query: entries per hour, day, week or month over the span, the busiest terminals and the
// hour-of-day profile. They are counted by the database over the time index and the list of
// cards (a statement per slice of the span, so a long span can be followed and stopped);
// no record is read into the program. An entry is a record: a card held by two cardholders
// counts once here where the list shows it twice.
class RecordCounts
{
public:
    enum class Step { Hour, Day, Week, Month };
    struct Bar
    {
        QDateTime start; // the first second of the hour, day, week (Monday) or month
        QDateTime end;   // its last second
        qint64 count = 0;
    };
    struct Terminal
    {
        qint64 number = 0;
        QString address;
        qint64 count = 0;
    };
    static constexpr int BusiestTerminals = 10;

    Step step = Step::Day;
    QList<Bar> timeline;            // every bar of the span, empty ones too; none without dated records
    QList<Terminal> terminals;      // busiest first (ties: lower number first), at most BusiestTerminals
    std::array<qint64, 24> hours{}; // dated entries by hour of the day
    qint64 total = 0;               // every entry the filter takes, those without a time too
    qint64 undated = 0;

    enum class Outcome { Done, Cancelled, Failed };
    // Called after each slice with 0..1000; false stops the count.
    using Progress = std::function<bool(int permille)>;
    static Outcome count(Database& db, const RecordFilter& filter, RecordCounts& out, const Progress& progress = {});

    // The bar width for a span of days (first and last included).
    static Step stepFor(const QDate& first, const QDate& last);
    // The filter narrowed to one bar of the timeline, to one terminal, or to one hour of the
    // day (only where the span is a single day; otherwise the filter is returned unchanged).
    // The recent mode gives way to the bar's time span.
    static RecordFilter narrowedToTime(const RecordFilter& filter, const QDateTime& start, const QDateTime& end);
    static RecordFilter narrowedToTerminal(const RecordFilter& filter, qint64 number);
    RecordFilter narrowedToHourOfDay(const RecordFilter& filter, int hour) const;
};

} // namespace k27
