#include "LastSeenRecords.h"

#include "EntryTime.h"
#include "RecordQuery.h"
#include "db/Database.h"
#include "db/RecordDayCounts.h"
#include "db/RecordNewest.h"
#include "startup/TextUtil.h"

#include <QStringList>

namespace k27::lastSeen {

int compareTexts(QStringView a, QStringView b)
{
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y)
            continue;
        // Surrogates (code points past U+FFFF) go above U+E000..U+FFFF.
        if (x >= 0xD800 && y >= 0xD800) {
            x = x >= 0xE000 ? x - 0x800 : x + 0x2000;
            y = y >= 0xE000 ? y - 0x800 : y + 0x2000;
        }
        return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compareNewestFirst(const Record& a, const Record& b)
{
    if (a.digits >= 0 && b.digits >= 0 && a.digits != b.digits)
        return a.digits > b.digits ? -1 : 1;
    if (a.kind != b.kind)
        return a.kind > b.kind ? -1 : 1;
    if (a.kind == 1 && a.number != b.number)
        return a.number > b.number ? -1 : 1;
    if (a.kind != 1)
        if (const int c = compareTexts(a.time, b.time))
            return -c;
    return a.id == b.id ? 0 : (a.id > b.id ? -1 : 1);
}

qint64 CardKeys::add(const QString& card)
{
    const qint64 key = find(card);
    return key != 0 ? key : *m_others.insert(card, -m_others.size() - 1);
}

qint64 CardKeys::find(const QString& card) const
{
    constexpr qsizetype MostDigits = 17; // (times 32 still within 63 bits)
    if (card.isEmpty() || card.size() > MostDigits)
        return m_others.value(card);
    qint64 number = 0;
    for (const QChar c : card) {
        if (c < u'0' || c > u'9')
            return m_others.value(card);
        number = number * 10 + (c.unicode() - u'0');
    }
    return number * 32 + card.size();
}

namespace {

qint64 digitsOf(const QString& time)
{
    static constexpr char Pattern[] = "dddd-dd-dd dd:dd:dd";
    if (time.size() != qsizetype(sizeof Pattern) - 1)
        return -1;
    qint64 digits = 0;
    for (qsizetype i = 0; i < time.size(); ++i) {
        const char16_t c = time[i].unicode();
        if (Pattern[i] != 'd') {
            if (c != char16_t(Pattern[i]))
                return -1;
        } else if (c >= u'0' && c <= u'9') {
            digits = digits * 10 + (c - u'0');
        } else {
            return -1;
        }
    }
    return digits;
}

// Time, ID and terminal from columns `c` to `c + 2` into `r`.
void fill(Record& r, const Row& row, int c)
{
    r.pending = false;
    r.number = 0;
    r.time = row.text(c);
    r.digits = digitsOf(r.time);
    r.kind = 2;
    // (Read as a value only where it does not read as a time: no number does, and a blob that
    // did goes among the texts.)
    if (r.digits < 0) {
        const QVariant time = row.value(c);
        if (time.typeId() == QMetaType::QByteArray)
            r.kind = 3;
        else if (time.typeId() != QMetaType::QString)
            r.kind = 1, r.number = time.toDouble();
    }
    r.id = row.integer(c + 1);
    r.terminal = row.value(c + 2);
    r.terminalNumber = row.integer(c + 2);
}

// " WHERE" and the card test of `cards` on the column `card`.
QString cardTest(const Cards& cards, const QString& card, QVariantList& params)
{
    if (cards.text.isEmpty())
        return {};
    params << RecordQuery::containsLiteral(cards.text);
    return QStringLiteral(" WHERE ") + card + RecordQuery::containsTest();
}

// The span's records per day (every terminal: the walk reads them all), newest day first, cut
// into slices of about `sliceRecords`; read some weeks at a time as the walk goes, so that a
// walk of a few days does not sum a long span's days. Each slice holds the times from its
// oldest day on, up to where the newer slice begins; the oldest has no lower bound of its own.
struct Slice
{
    QString from; // empty: the span's start (or none)
    qint64 records = 0;
};

struct Days
{
    QList<Slice> slices;
    qint64 unread = 0; // records of the slices read that the walk has not read
    bool all = false;  // every day of the span read
    bool started = false;
    QString oldest; // the oldest day read

    bool more(Database& db, const RecordFilter& filter, const QString& start, const QString& end, qint64 sliceRecords)
    {
        constexpr int Chunk = 62;
        QString where = QStringLiteral(" WHERE 1 = 1");
        QVariantList params;
        if (filter.timeSpan) {
            where += QStringLiteral(" AND 日 >= ? AND 日 <= ?");
            params << start.left(10) << end.left(10);
        }
        if (started) {
            where += QStringLiteral(" AND 日 < ?");
            params << oldest;
        }
        started = true;
        int days = 0;
        const bool ok = db.query(QStringLiteral("SELECT 日, sum(") + dayCounts::allSlots() + QStringLiteral(") FROM ")
                                     + QString::fromUtf8(dayCounts::Table) + where
                                     + QStringLiteral(" GROUP BY 日 ORDER BY 日 DESC LIMIT %1").arg(Chunk),
                                 params, [&](const Row& row) {
                                     ++days;
                                     if (slices.isEmpty() || slices.back().records >= sliceRecords)
                                         slices.append(Slice{});
                                     oldest = row.text(0);
                                     slices.back().from = oldest;
                                     slices.back().records += row.integer(1);
                                     unread += row.integer(1);
                                     return true;
                                 });
        if (ok && days < Chunk) {
            all = true;
            if (!slices.isEmpty())
                slices.back().from.clear();
        }
        return ok;
    }
};

// The cards looked for: listed in `records` as pending until their answer is found.
struct Search
{
    Database& db;
    const RecordFilter& filter;
    Records& records;
    QString start, end;
    QString atTerminal; // the record test of the terminal asked for, with `terminalParams`
    QVariantList terminalParams;
    qint64 pending = 0;

    // The answer for `card` where it is looked for.
    bool answer(const QString& card, const Row& row)
    {
        const auto found = records.byKey.find(records.keys.find(card));
        if (found == records.byKey.end() || !found->pending)
            return false;
        fill(*found, row, 1);
        --pending;
        return true;
    }

    // The records of `range` (with `params`) newest first: the first of each card looked for
    // is its answer. Tells how many cards it answered.
    bool walk(const QString& range, const QVariantList& params, qint64& found)
    {
        found = 0;
        return db.query(QStringLiteral("SELECT 卡号, 进出时间, ID, 终端机号 FROM 进出记录 WHERE 1 = 1") + range
                            + atTerminal + QStringLiteral(" ORDER BY 进出时间 DESC, ID DESC"),
                        params + terminalParams, [&](const Row& row) {
                            found += !row.isNull(0) && answer(row.text(0), row);
                            return pending > 0;
                        });
    }

    // With a terminal asked for, the span read in the order of the record IDs, which costs
    // less than along the time index, where IDs follow the times (records stored as they
    // came). Used only when it met every record of the span at the terminal, which the day
    // counts tell: each record the filter takes is counted on its day. False in `complete`
    // otherwise, nothing answered.
    bool scanIds(qint64 spanRecords, bool& complete)
    {
        complete = false;
        qint64 low = 0, high = -1, expected = 0;
        const QString ids = QStringLiteral(
            "SELECT ID FROM 进出记录 WHERE 进出时间 >= ? AND 进出时间 <= ? ORDER BY 进出时间 %1, ID %1 LIMIT 1");
        const bool ok = db.query(ids.arg(QStringLiteral("ASC")), {start, end},
                                 [&](const Row& row) { return low = row.integer(0), false; })
                        && db.query(ids.arg(QStringLiteral("DESC")), {start, end},
                                    [&](const Row& row) { return high = row.integer(0), false; })
                        && db.query(QStringLiteral("SELECT total(") + dayCounts::allSlots() + QStringLiteral(") FROM ")
                                        + QString::fromUtf8(dayCounts::Table)
                                        + QStringLiteral(" WHERE 日 >= ? AND 日 <= ? AND 终端机号 = ?"),
                                    QVariantList{start.left(10), end.left(10)} + terminalParams, [&](const Row& row) {
                                        expected = qint64(row.value(0).toDouble());
                                        return false;
                                    });
        // (IDs that do not follow the times spread the span's records wider.)
        if (!ok || high < low || high - low >= spanRecords + spanRecords / 8)
            return ok;
        QHash<qint64, Record> newest;
        qint64 met = 0;
        // (Along the IDs alone: the other tests keep off the indexes.)
        if (!db.query(QStringLiteral("SELECT 卡号, 进出时间, ID, 终端机号 FROM 进出记录 WHERE ID >= ? AND ID <= ?"
                                     " AND +卡号 IS NOT NULL AND +进出时间 >= ? AND +进出时间 <= ?")
                          + atTerminal,
                      QVariantList{low, high, start, end} + terminalParams, [&](const Row& row) {
                          ++met;
                          const qint64 key = records.keys.find(row.text(0));
                          const auto found = records.byKey.constFind(key);
                          if (found == records.byKey.cend() || !found->pending)
                              return true;
                          Record record = *found;
                          fill(record, row, 1);
                          auto best = newest.find(key);
                          if (best == newest.end())
                              newest.insert(key, record);
                          else if (compareNewestFirst(record, *best) < 0)
                              *best = record;
                          return true;
                      }))
            return false;
        complete = met == expected;
        if (complete) {
            for (auto n = newest.cbegin(); n != newest.cend(); ++n)
                records.byKey[n.key()] = *n;
            pending -= newest.size();
        }
        return true;
    }

    // The cards still looked for, one step into the card-and-time index each.
    bool seek()
    {
        QString sql = QStringLiteral(
            "SELECT NULL, 进出时间, ID, 终端机号 FROM 进出记录 WHERE 卡号 = ? AND 进出时间 IS NOT NULL");
        if (filter.timeSpan)
            sql += QStringLiteral(" AND 进出时间 >= ? AND 进出时间 <= ?");
        // (Bound as a text made a number: the same comparison as the walk's.)
        if (!terminalParams.isEmpty())
            sql += QStringLiteral(" AND 终端机号 = CAST(? AS REAL)");
        Statement seek(db, sql + QStringLiteral(" ORDER BY 进出时间 DESC, ID DESC LIMIT 1"));
        for (auto r = records.byKey.begin(); r != records.byKey.end() && pending > 0; ++r) {
            if (!r->pending)
                continue;
            seek.bind(1, r->card);
            if (filter.timeSpan)
                seek.bind(2, start).bind(3, end);
            if (!terminalParams.isEmpty())
                seek.bind(filter.timeSpan ? 4 : 2, QString::number(terminalParams.first().toDouble(), 'g', 17));
            const Statement::Step step = seek.step();
            if (step == Statement::Step::Failed)
                return false;
            if (step == Statement::Step::Row)
                fill(*r, seek.row(), 1), --pending;
            seek.reset();
        }
        return true;
    }
};

// The walk newest first, slice by slice, while reading on costs less than looking up the
// cards left; then the look-ups.
bool walkThenSeek(Search& search, const RecordLastSeen::Plan& plan)
{
    const RecordFilter& filter = search.filter;
    const qint64 wantedCount = search.pending;
    Days days;
    const auto readDays = [&] { return days.more(search.db, filter, search.start, search.end, plan.sliceRecords); };
    // With a terminal asked for, a look-up reads the card's records in the span until one is
    // at that terminal: their number tells its cost.
    bool ok = readDays();
    while (ok && !search.atTerminal.isEmpty() && !days.all)
        ok = readDays();
    if (!ok)
        return false;
    // (The day counts are exact: a span without a day counted holds no record with a card.)
    if (days.all && days.unread == 0)
        return true;
    const double seekCost = plan.seekCost
                            * (search.atTerminal.isEmpty()
                                   ? 1.0
                                   : 1.0 + double(days.unread) / double(qMax<qint64>(1, wantedCount)));
    // Reading the whole span at a terminal costs less than the look-ups: in the order of the
    // IDs where that meets it whole.
    if (!search.atTerminal.isEmpty() && filter.timeSpan && seekCost * double(wantedCount) >= double(days.unread)) {
        bool complete = false;
        if (!search.scanIds(days.unread, complete))
            return false;
        if (complete)
            return true;
    }
    qint64 found = 0, lastFound = -1;
    QString below; // where the newer slice begins
    for (qsizetype i = 0;; ++i) {
        // The slice whole (a newer one begun after it), and days enough to tell whether the
        // rest of the span costs less to read than the cards left to look up.
        const double seeks = seekCost * double(wantedCount - found);
        while (!days.all && (i + 1 >= days.slices.size() || seeks >= double(days.unread)))
            if (!readDays())
                return false;
        if (i >= days.slices.size())
            break;
        const Slice slice = days.slices[i];
        // On while reading the rest of the span costs less than looking up the cards left, or
        // while the last slice found cards enough to pay for this one.
        if (seeks < double(days.unread)
            && seekCost * double(lastFound < 0 ? wantedCount : lastFound) < double(slice.records))
            break;
        // One bound each way, so that the time index is read over the slice alone.
        QString range;
        QVariantList params;
        const QString from = filter.timeSpan && slice.from < search.start ? search.start : slice.from;
        if (!from.isEmpty()) {
            range += QStringLiteral(" AND 进出时间 >= ?");
            params << from;
        }
        if (!below.isEmpty() || filter.timeSpan) {
            range += below.isEmpty() ? QStringLiteral(" AND 进出时间 <= ?") : QStringLiteral(" AND 进出时间 < ?");
            params << (below.isEmpty() ? search.end : below);
        }
        if (range.isEmpty())
            range = QStringLiteral(" AND 进出时间 IS NOT NULL");
        if (!search.walk(range, params, lastFound))
            return false;
        found += lastFound;
        days.unread -= slice.records;
        below = slice.from;
        // Every record of the span read: the cards not met have none in it.
        if (from.isEmpty() || from == search.start || search.pending == 0)
            return true;
    }
    return search.seek();
}

} // namespace

bool readKept(Database& db, const Cards& cards, Records& records)
{
    QVariantList params;
    const QString sql = QStringLiteral("SELECT 卡号, 进出时间, ID, 终端机号 FROM ")
                        + QString::fromUtf8(newestRecords::Table) + cardTest(cards, QStringLiteral("卡号"), params);
    return db.query(sql, params, [&](const Row& row) {
        const QString card = row.text(0);
        const qint64 key = records.keys.add(card);
        if (!cards.only || cards.only->contains(key)) {
            Record& r = records.byKey[key];
            r.card = card;
            fill(r, row, 1);
        }
        return true;
    });
}

bool readWithin(Database& db, const RecordFilter& filter, const Cards& cards, const RecordLastSeen::Plan& plan,
                Records& records)
{
    Search search{db, filter, records, {}, {}, {}, {}, 0};
    if (filter.timeSpan) {
        search.start = filter.start.toString(QLatin1String(EntryTimeFormat));
        search.end = filter.end.toString(QLatin1String(EntryTimeFormat));
    }
    const QString terminal = TrimAtNul(filter.terminal);
    double number = 0;
    // (No terminal has a number that is no number, and a span may end before it starts.)
    if ((!terminal.isEmpty() && !parseNumber(terminal, &number)) || search.start > search.end)
        return true;
    if (!terminal.isEmpty()) {
        search.atTerminal = QStringLiteral(" AND 终端机号 = ?");
        search.terminalParams << number;
    }
    // Each kept record: the answer where the filter takes it, else the card is looked for
    // where its newest record is not older than the span.
    QVariantList params = search.terminalParams;
    QString taken = QStringLiteral("1 = 1") + search.atTerminal;
    QString notOlder = QStringLiteral("1");
    if (filter.timeSpan) {
        taken += QStringLiteral(" AND 进出时间 >= ? AND 进出时间 <= ?");
        notOlder = QStringLiteral("进出时间 >= ?");
        params << search.start << search.end << search.start;
    }
    const QString sql = QStringLiteral("SELECT 卡号, 进出时间, ID, 终端机号, ") + taken + QStringLiteral(", ")
                        + notOlder + QStringLiteral(" FROM ") + QString::fromUtf8(newestRecords::Table)
                        + cardTest(cards, QStringLiteral("卡号"), params);
    const bool ok = db.query(sql, params, [&](const Row& row) {
        const QString card = row.text(0);
        const qint64 key = records.keys.add(card);
        if ((cards.only && !cards.only->contains(key)) || !(row.integer(4) || row.integer(5)))
            return true;
        Record& r = records.byKey[key];
        r.card = card;
        if (row.integer(4)) {
            fill(r, row, 1);
        } else {
            r.pending = true;
            ++search.pending;
        }
        return true;
    });
    if (!ok || (search.pending > 0 && !walkThenSeek(search, plan)))
        return false;
    // Cards not met have no record that the filter takes.
    if (search.pending > 0)
        records.byKey.removeIf([](const QHash<qint64, Record>::iterator& r) { return r->pending; });
    return true;
}

} // namespace k27::lastSeen
