#include "RecordCounts.h"

#include "EntryTime.h"
#include "RecordQuery.h"
#include "db/Database.h"
#include "db/RecordDayCounts.h"
#include "startup/TextUtil.h"

#include <QMap>
#include <algorithm>
#include <cmath>

namespace k27 {

namespace {

// Keeps a column's index out of a test, so a time range is read along the entry-time index.
const QString NoIndex = QStringLiteral("+");

QString timeText(const QDateTime& t)
{
    return t.toString(QLatin1String(EntryTimeFormat));
}

// The records the filter takes, as "FROM ... WHERE ..." with its parameters; the same tests
// as the record query, each record once.
struct Source
{
    QString from;
    QVariantList params;
    bool timeSpan = false;
    QString start, end; // inclusive, when timeSpan
};

Source source(const RecordFilter& filter)
{
    Source s;
    if (filter.recent) {
        s.from = QStringLiteral(
            " FROM (SELECT 进出时间, 终端机号 FROM 进出记录 ORDER BY 进出时间 DESC, ID DESC LIMIT ?) r"
            " WHERE 1 = 1");
        s.params << RecordQuery::recentCount(filter.recentText);
        return s;
    }
    QString where;
    const QString card = TrimAtNul(filter.card);
    if (card.isEmpty()) {
        where = QStringLiteral(" WHERE ") + NoIndex + QStringLiteral("r.卡号 IS NOT NULL");
    } else {
        // The cards that contain the text come from the list of cards, far shorter than the records.
        where = QStringLiteral(" WHERE r.卡号 IN (SELECT c.卡号 FROM 进出记录_卡号 c WHERE c.卡号")
                + RecordQuery::containsTest() + QStringLiteral(")");
        s.params << RecordQuery::containsLiteral(card);
    }
    const QString name = TrimAtNul(filter.name);
    const QString department = TrimAtNul(filter.department);
    if (!name.isEmpty() || !department.isEmpty()) {
        where += QStringLiteral(" AND EXISTS (SELECT 1 FROM 用户信息 u WHERE u.卡号 = r.卡号");
        if (!name.isEmpty()) {
            where += QStringLiteral(" AND u.姓名") + RecordQuery::containsTest();
            s.params << RecordQuery::containsLiteral(name);
        }
        if (!department.isEmpty()) {
            where += QStringLiteral(" AND u.部门") + RecordQuery::containsTest();
            s.params << RecordQuery::containsLiteral(department);
        }
        where += u')';
    }
    const QString terminal = TrimAtNul(filter.terminal);
    if (!terminal.isEmpty()) {
        double number = 0;
        if (!parseNumber(terminal, &number)) {
            where += QStringLiteral(" AND 1 = 0");
        } else {
            where += QStringLiteral(" AND r.终端机号 = ?");
            s.params << number;
        }
    }
    s.from = QStringLiteral(" FROM 进出记录 r") + where;
    if (filter.timeSpan) {
        s.timeSpan = true;
        s.start = timeText(filter.start);
        s.end = timeText(filter.end);
    }
    return s;
}

QDateTime hourStart(const QString& key)
{
    // "yyyy-MM-dd HH"; as the clock on the wall, no zone: a day has 24 hours in the chart.
    const QDate date = QDate::fromString(key.left(10), QStringLiteral("yyyy-MM-dd"));
    const int hour = key.mid(11, 2).toInt();
    if (!date.isValid() || key.size() != 13 || hour < 0 || hour > 23)
        return {};
    return QDateTime(date, QTime(hour, 0), Qt::UTC);
}

QDateTime barStart(const QDateTime& t, RecordCounts::Step step)
{
    const QDate d = t.date();
    switch (step) {
    case RecordCounts::Step::Hour: return QDateTime(d, QTime(t.time().hour(), 0), Qt::UTC);
    case RecordCounts::Step::Day: return QDateTime(d, QTime(0, 0), Qt::UTC);
    case RecordCounts::Step::Week: return QDateTime(d.addDays(1 - d.dayOfWeek()), QTime(0, 0), Qt::UTC);
    case RecordCounts::Step::Month: return QDateTime(QDate(d.year(), d.month(), 1), QTime(0, 0), Qt::UTC);
    }
    return t;
}

QDateTime nextBar(const QDateTime& start, RecordCounts::Step step)
{
    switch (step) {
    case RecordCounts::Step::Hour: return start.addSecs(3600);
    case RecordCounts::Step::Day: return start.addDays(1);
    case RecordCounts::Step::Week: return start.addDays(7);
    case RecordCounts::Step::Month: return start.addMonths(1);
    }
    return start;
}

// What the counts add up, by hour ("yyyy-MM-dd HH") and by terminal.
struct Tally
{
    QMap<QString, qint64> byHour;
    QMap<qint64, qint64> byTerminal;
    qint64 total = 0;
    qint64 undated = 0;

    // Records of a day and hour slot (see dayCounts): a slot of 24, or a day that is no date,
    // has no hour on the chart.
    void addTime(const QString& day, int slot, qint64 n)
    {
        if (n == 0)
            return;
        total += n;
        const QString key = day + QStringLiteral(" %1").arg(slot, 2, 10, QLatin1Char('0'));
        if (slot < 0 || slot > 23 || day.size() != 10 || !hourStart(key).isValid())
            undated += n;
        else
            byHour[key] += n;
    }
    void addTerminal(const Row& row, int column, qint64 n)
    {
        if (n != 0 && !row.isNull(column))
            byTerminal[row.integer(column)] += n;
    }
};

// The smallest text past every text that starts with `prefix`.
QString pastPrefix(const QString& prefix)
{
    QString past = prefix;
    past.back() = QChar(past.back().unicode() + 1);
    return past;
}

// A slice holds about this many records: a statement of some tens of milliseconds.
constexpr double SliceRecords = 400000;

} // namespace

RecordCounts::Step RecordCounts::stepFor(const QDate& first, const QDate& last)
{
    const qint64 days = first.daysTo(last) + 1;
    if (days <= 2)
        return Step::Hour;
    if (days <= 62)
        return Step::Day;
    if (days <= 371)
        return Step::Week;
    return Step::Month;
}

namespace {

const QString Time = QStringLiteral("r.进出时间");

// Counts the records of `s` with `condition`: per day and hour slot, and per terminal.
bool countRecords(Database& db, const Source& s, const QString& condition, const QVariantList& extra, Tally& tally)
{
    const QVariantList params = s.params + extra;
    return db.query(QStringLiteral("SELECT %1, %2, count(*)").arg(dayCounts::day(db, Time), dayCounts::slot(Time))
                        + s.from + condition + QStringLiteral(" GROUP BY 1, 2"),
                    params,
                    [&](const Row& row) {
                        tally.addTime(row.text(0), int(row.integer(1)), row.integer(2));
                        return true;
                    })
           && db.query(QStringLiteral("SELECT r.终端机号, count(*)") + s.from + condition
                           + QStringLiteral(" GROUP BY r.终端机号"),
                       params, [&](const Row& row) {
                           tally.addTerminal(row, 0, row.integer(1));
                           return true;
                       });
}

// The records of a filter counted in slices of the span (or of the register's first to last
// entry time), each of about SliceRecords records at the register's average rate, so that a
// long count can be followed and stopped.
RecordCounts::Outcome countSliced(Database& db, const Source& s, Tally& tally, const RecordCounts::Progress& progress)
{
    using Outcome = RecordCounts::Outcome;
    QString low = s.start, high = s.end;
    {
        // (An empty or malformed time sorts before every date: it counts with the undated.)
        const QString first = db.scalar(QStringLiteral("SELECT min(进出时间) FROM 进出记录 WHERE 进出时间 >= '0'"))
                                  .toString();
        const QString last = db.scalar(QStringLiteral("SELECT max(进出时间) FROM 进出记录")).toString();
        if (low.isEmpty() || first > low)
            low = first;
        if (high.isEmpty() || (!last.isEmpty() && last < high))
            high = last;
    }
    QList<QString> bounds; // slice i: bounds[i] <= time < bounds[i + 1]; the last bound inclusive
    const QDateTime lowTime = QDateTime::fromString(low, QLatin1String(EntryTimeFormat));
    const QDateTime highTime = QDateTime::fromString(high, QLatin1String(EntryTimeFormat));
    if (lowTime.isValid() && highTime.isValid() && lowTime <= highTime) {
        // One aggregate per statement: each is then read from one end of an index, where
        // "max(ID) - min(ID)" would walk the whole table.
        const qint64 ids = db.scalar(QStringLiteral("SELECT max(ID) FROM 进出记录")).toLongLong()
                           - db.scalar(QStringLiteral("SELECT min(ID) FROM 进出记录")).toLongLong() + 1;
        const QString allFirst = db.scalar(QStringLiteral("SELECT min(进出时间) FROM 进出记录")).toString();
        const QString allLast = db.scalar(QStringLiteral("SELECT max(进出时间) FROM 进出记录")).toString();
        const qint64 allSeconds = qMax<qint64>(
            1, QDateTime::fromString(allFirst, QLatin1String(EntryTimeFormat))
                   .secsTo(QDateTime::fromString(allLast, QLatin1String(EntryTimeFormat))));
        const double perSecond = double(qMax<qint64>(1, ids)) / double(allSeconds);
        const qint64 sliceSeconds = qMax<qint64>(3600, qint64(SliceRecords / perSecond));
        for (QDateTime t = lowTime; t <= highTime; t = t.addSecs(sliceSeconds))
            bounds << timeText(t);
        bounds << QString(); // the last slice ends at `high`, included
    }

    const int slices = int(bounds.size()) - 1;
    for (int i = 0; i < slices; ++i) {
        const bool last = bounds[i + 1].isNull();
        const QString condition = last ? QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 <= ?")
                                       : QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 < ?");
        if (!countRecords(db, s, condition, {bounds[i], last ? high : bounds[i + 1]}, tally))
            return Outcome::Failed;
        if (progress && !progress(int(1000LL * (i + 1) / (slices + 1))))
            return Outcome::Cancelled;
    }
    // Records without an entry time (or with one that is no time) belong to a result
    // without a time span.
    if (!s.timeSpan) {
        const bool ok = bounds.isEmpty()
                            ? countRecords(db, s, {}, {}, tally)
                            : countRecords(
                                db, s, QStringLiteral(" AND (r.进出时间 IS NULL OR r.进出时间 < ? OR r.进出时间 > ?)"),
                                {low, high}, tally);
        if (!ok)
            return Outcome::Failed;
    }
    return Outcome::Done;
}

// The counts of a filter of time span and terminal only, from the day counts: the days
// inside the span whole, the hours of its first and last day that lie wholly inside, and the
// records of the hours the span starts and ends in (and of times on those days that name no
// hour) counted one by one.
bool countFromDays(Database& db, const RecordFilter& filter, const Source& s, Tally& tally)
{
    const QString table = QString::fromUtf8(dayCounts::Table);
    QString where = QStringLiteral(" WHERE 1 = 1");
    QVariantList params;
    const QString terminal = TrimAtNul(filter.terminal);
    if (!terminal.isEmpty()) {
        double number = 0;
        if (!parseNumber(terminal, &number))
            return true; // no terminal has such a number
        where += QStringLiteral(" AND 终端机号 = ?");
        params << number;
    }
    const QString startDay = s.start.left(10), endDay = s.end.left(10);
    const int startHour = s.start.mid(11, 2).toInt(), endHour = s.end.mid(11, 2).toInt();
    QVariantList inside = params;
    if (s.timeSpan) {
        if (s.start > s.end)
            return true;
        where += QStringLiteral(" AND 日 > ? AND 日 < ?");
        inside << startDay << endDay;
    }
    QStringList hours, sum;
    for (int h = 0; h < dayCounts::Slots; ++h) {
        hours << dayCounts::slotColumn(h);
        sum << QStringLiteral("sum(%1)").arg(hours.back());
    }
    const QString terminalColumn = QStringLiteral("CASE WHEN typeof(终端机号) = 'blob' THEN NULL ELSE 终端机号 END");
    bool ok = db.query(QStringLiteral("SELECT 日, ") + sum.join(QStringLiteral(", ")) + QStringLiteral(" FROM ") + table
                           + where + QStringLiteral(" GROUP BY 日"),
                       inside,
                       [&](const Row& row) {
                           for (int h = 0; h < dayCounts::Slots; ++h)
                               tally.addTime(row.text(0), h, row.integer(1 + h));
                           return true;
                       })
              && db.query(QStringLiteral("SELECT ") + terminalColumn + QStringLiteral(", sum(")
                              + hours.join(QStringLiteral(" + ")) + QStringLiteral(") FROM ") + table + where
                              + QStringLiteral(" GROUP BY 终端机号"),
                          inside, [&](const Row& row) {
                              tally.addTerminal(row, 0, row.integer(1));
                              return true;
                          });
    if (!ok || !s.timeSpan)
        return ok;

    // The first and last day: the hours wholly inside from the counts.
    bool unnamed[2] = {false, false}; // times on the first / last day that name no hour
    QString edgeWhere = where;
    edgeWhere.replace(QStringLiteral(" AND 日 > ? AND 日 < ?"), QStringLiteral(" AND 日 IN (?, ?)"));
    ok = db.query(QStringLiteral("SELECT 日, ") + terminalColumn + u',' + hours.join(QStringLiteral(", "))
                      + QStringLiteral(" FROM ") + table + edgeWhere,
                  params + QVariantList{startDay, endDay}, [&](const Row& row) {
                      const QString day = row.text(0);
                      for (int h = 0; h < 24; ++h) {
                          if ((day == startDay && h <= startHour) || (day == endDay && h >= endHour))
                              continue;
                          tally.addTime(day, h, row.integer(2 + h));
                          tally.addTerminal(row, 1, row.integer(2 + h));
                      }
                      if (row.integer(2 + 24) != 0)
                          unnamed[day == startDay ? 0 : 1] = true;
                      return true;
                  });
    // The hours the span starts and ends in, record by record.
    const QString startPrefix = s.start.left(13), endPrefix = s.end.left(13);
    const QString range = QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 < ? AND r.进出时间 <= ?");
    ok = ok && countRecords(db, s, range, {s.start, pastPrefix(startPrefix), s.end}, tally);
    if (ok && endPrefix != startPrefix)
        ok = countRecords(db, s, QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 <= ?"), {endPrefix, s.end}, tally);
    const QString noHour = QStringLiteral(" AND ") + dayCounts::slot(Time) + QStringLiteral(" = 24");
    if (ok && unnamed[0])
        ok = countRecords(db, s, range + noHour, {s.start, pastPrefix(startDay), s.end}, tally);
    if (ok && unnamed[1] && endDay != startDay)
        ok = countRecords(db, s, range + QStringLiteral(" AND r.进出时间 >= ?") + noHour,
                          {endDay, pastPrefix(endDay), s.end, s.start}, tally);
    return ok;
}

} // namespace

RecordCounts::Outcome RecordCounts::count(Database& db, const RecordFilter& filter, RecordCounts& out,
                                          const Progress& progress)
{
    out = RecordCounts();
    if (filter.recent && RecordQuery::recentCount(filter.recentText) == 0)
        return Outcome::Done;
    RecordQuery::ensureIndexes(db);
    const Source s = source(filter);
    Tally tally;

    // A filter of time span and terminal only is counted from the day counts where the
    // register keeps them (the embedded file; an older one gets them from dayCounts::ensure).
    const bool byDays = !filter.recent && TrimAtNul(filter.card).isEmpty() && TrimAtNul(filter.name).isEmpty()
                        && TrimAtNul(filter.department).isEmpty() && !db.isServer()
                        && db.hasTable(QString::fromUtf8(dayCounts::Table));
    if (byDays) {
        if (!countFromDays(db, filter, s, tally))
            return Outcome::Failed;
    } else if (filter.recent) {
        if (!countRecords(db, s, {}, {}, tally))
            return Outcome::Failed;
    } else if (const Outcome sliced = countSliced(db, s, tally, progress); sliced != Outcome::Done) {
        return sliced;
    }
    if (progress && !progress(1000))
        return Outcome::Cancelled;
    out.total = tally.total;
    out.undated = tally.undated;
    const QMap<QString, qint64>& byHour = tally.byHour;
    const QMap<qint64, qint64>& byTerminal = tally.byTerminal;

    // The timeline covers the span asked for, or the entries found.
    QDateTime first, last;
    if (s.timeSpan) {
        first = QDateTime(filter.start.date(), filter.start.time(), Qt::UTC);
        last = QDateTime(filter.end.date(), filter.end.time(), Qt::UTC);
    } else if (!byHour.isEmpty()) {
        first = hourStart(byHour.firstKey());
        last = hourStart(byHour.lastKey()).addSecs(3599);
    }
    if (!byHour.isEmpty() && first.isValid() && last.isValid() && first <= last) {
        out.step = stepFor(first.date(), last.date());
        for (QDateTime t = barStart(first, out.step); t <= last; t = nextBar(t, out.step))
            out.timeline.append({t, nextBar(t, out.step).addSecs(-1), 0});
        for (auto h = byHour.cbegin(); h != byHour.cend(); ++h) {
            const QDateTime at = hourStart(h.key());
            if (!at.isValid())
                continue;
            out.hours[at.time().hour()] += h.value();
            const QDateTime bar = barStart(at, out.step);
            const auto found = std::lower_bound(out.timeline.begin(), out.timeline.end(), bar,
                                                [](const Bar& b, const QDateTime& t) { return b.start < t; });
            if (found != out.timeline.end() && found->start == bar)
                found->count += h.value();
        }
    }

    for (auto t = byTerminal.cbegin(); t != byTerminal.cend(); ++t)
        out.terminals.append({t.key(), {}, t.value()});
    std::stable_sort(out.terminals.begin(), out.terminals.end(),
                     [](const Terminal& a, const Terminal& b) { return a.count > b.count; });
    if (out.terminals.size() > BusiestTerminals)
        out.terminals.resize(BusiestTerminals);
    for (Terminal& t : out.terminals)
        t.address = db.scalar(QStringLiteral("SELECT 地址 FROM 终端机 WHERE 终端机号 = ? ORDER BY 地址 LIMIT 1"),
                              {t.number})
                        .toString();
    return Outcome::Done;
}

RecordFilter RecordCounts::narrowedToTime(const RecordFilter& filter, const QDateTime& start, const QDateTime& end)
{
    RecordFilter narrowed = filter;
    narrowed.recent = false;
    narrowed.timeSpan = true;
    // Within the span already asked for.
    narrowed.start = QDateTime(start.date(), start.time());
    narrowed.end = QDateTime(end.date(), end.time());
    if (filter.timeSpan && !filter.recent) {
        narrowed.start = qMax(narrowed.start, filter.start);
        narrowed.end = qMin(narrowed.end, filter.end);
    }
    return narrowed;
}

RecordFilter RecordCounts::narrowedToTerminal(const RecordFilter& filter, qint64 number)
{
    RecordFilter narrowed = filter;
    narrowed.terminal = QString::number(number);
    return narrowed;
}

RecordFilter RecordCounts::narrowedToHourOfDay(const RecordFilter& filter, int hour) const
{
    if (timeline.isEmpty() || hour < 0 || hour > 23 || step != Step::Hour)
        return filter;
    const QDate day = timeline.first().start.date();
    if (timeline.last().start.date() != day)
        return filter;
    const QDateTime start(day, QTime(hour, 0), Qt::UTC);
    return narrowedToTime(filter, start, start.addSecs(3599));
}

} // namespace k27
