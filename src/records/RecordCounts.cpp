#include "RecordCounts.h"

#include "EntryTime.h"
#include "RecordQuery.h"
#include "db/Database.h"
#include "startup/TextUtil.h"

#include <QMap>
#include <algorithm>
#include <cmath>

namespace k27 {

namespace {

// The parts of the statements that differ between database engines, kept together.
namespace dialect {
// Keeps a column's index out of a test, so a time range is read along the entry-time index.
const QString NoIndex = QStringLiteral("+");
// The hour an entry time falls in, as text ("2024-05-01 08"): times are stored as text in
// one format, so a prefix is the hour and groups without any date function.
QString hourKey(const QString& column)
{
    return QStringLiteral("substr(%1, 1, 13)").arg(column);
}
} // namespace dialect

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
        where = QStringLiteral(" WHERE ") + dialect::NoIndex + QStringLiteral("r.卡号 IS NOT NULL");
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

RecordCounts::Outcome RecordCounts::count(Database& db, const RecordFilter& filter, RecordCounts& out,
                                          const Progress& progress)
{
    out = RecordCounts();
    if (filter.recent && RecordQuery::recentCount(filter.recentText) == 0)
        return Outcome::Done;
    RecordQuery::ensureIndexes(db);
    const Source s = source(filter);

    // The slices: the span (or the register's first to last entry time) cut into pieces of
    // about SliceRecords records at the register's average rate. The recent mode is one piece.
    QString low = s.start, high = s.end;
    if (!filter.recent) {
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
    if (!filter.recent && lowTime.isValid() && highTime.isValid() && lowTime <= highTime) {
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

    QMap<QString, qint64> byHour;
    QMap<qint64, qint64> byTerminal;
    const auto countSlice = [&](const QString& condition, const QVariantList& extra) {
        QVariantList params = s.params + extra;
        bool ok = db.query(QStringLiteral("SELECT ") + dialect::hourKey(QStringLiteral("r.进出时间"))
                               + QStringLiteral(", count(*)") + s.from + condition + QStringLiteral(" GROUP BY 1"),
                           params, [&](const Row& row) {
                               const qint64 n = row.integer(1);
                               if (row.isNull(0) || !hourStart(row.text(0)).isValid())
                                   out.undated += n;
                               else
                                   byHour[row.text(0)] += n;
                               out.total += n;
                               return true;
                           });
        ok = ok
             && db.query(QStringLiteral("SELECT r.终端机号, count(*)") + s.from + condition
                             + QStringLiteral(" GROUP BY r.终端机号"),
                         params, [&](const Row& row) {
                             if (!row.isNull(0))
                                 byTerminal[row.integer(0)] += row.integer(1);
                             return true;
                         });
        return ok;
    };

    if (filter.recent) {
        if (!countSlice({}, {}))
            return Outcome::Failed;
    } else {
        const int slices = int(bounds.size()) - 1;
        for (int i = 0; i < slices; ++i) {
            const bool last = bounds[i + 1].isNull();
            const QString condition = last ? QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 <= ?")
                                           : QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 < ?");
            if (!countSlice(condition, {bounds[i], last ? high : bounds[i + 1]}))
                return Outcome::Failed;
            if (progress && !progress(int(1000LL * (i + 1) / (slices + 1))))
                return Outcome::Cancelled;
        }
        // Records without an entry time (or with one that is no time) belong to a result
        // without a time span.
        if (!s.timeSpan) {
            const bool ok = bounds.isEmpty()
                                ? countSlice({}, {})
                                : countSlice(
                                    QStringLiteral(" AND (r.进出时间 IS NULL OR r.进出时间 < ? OR r.进出时间 > ?)"),
                                    {low, high});
            if (!ok)
                return Outcome::Failed;
        }
    }
    if (progress && !progress(1000))
        return Outcome::Cancelled;

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
