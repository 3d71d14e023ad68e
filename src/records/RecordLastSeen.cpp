#include "RecordLastSeen.h"

#include "EntryTime.h"
#include "RecordQuery.h"
#include "db/Database.h"
#include "db/RecordDayCounts.h"
#include "db/RecordNewest.h"
#include "startup/TextUtil.h"

#include <QHash>
#include <functional>

namespace k27 {

namespace {

// The newest record of card `key` that the filter takes: its ID, through the card-and-time
// index read backwards from the card's end.
QString newestRecord(const RecordFilter& filter, QVariantList& recordParams)
{
    QString newest = QStringLiteral("(SELECT r.ID FROM 进出记录 r WHERE r.卡号 = %1 AND r.进出时间 IS NOT NULL");
    if (filter.timeSpan) {
        newest += QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 <= ?");
        recordParams << filter.start.toString(QLatin1String(EntryTimeFormat))
                     << filter.end.toString(QLatin1String(EntryTimeFormat));
    }
    const QString terminal = TrimAtNul(filter.terminal);
    if (!terminal.isEmpty()) {
        double number = 0;
        if (!parseNumber(terminal, &number)) {
            newest += QStringLiteral(" AND 1 = 0");
        } else {
            newest += QStringLiteral(" AND r.终端机号 = ?");
            recordParams << number;
        }
    }
    newest += QStringLiteral(" ORDER BY r.进出时间 DESC, r.ID DESC LIMIT 1)");
    return newest;
}

// The cardholders the filter's texts take.
QString holderCondition(const QString& card, const QString& name, const QString& department, QVariantList& holderParams)
{
    QString holderTest = QStringLiteral(" WHERE 1 = 1");
    if (!card.isEmpty()) {
        holderTest += QStringLiteral(" AND u.卡号") + RecordQuery::containsTest();
        holderParams << RecordQuery::containsLiteral(card);
    }
    if (!name.isEmpty()) {
        holderTest += QStringLiteral(" AND u.姓名") + RecordQuery::containsTest();
        holderParams << RecordQuery::containsLiteral(name);
    }
    if (!department.isEmpty()) {
        holderTest += QStringLiteral(" AND u.部门") + RecordQuery::containsTest();
        holderParams << RecordQuery::containsLiteral(department);
    }
    return holderTest;
}

// The address as the terminal list gives it for each row's record number (`numbers`, in the
// rows' order), the same comparison as a join (one address where a number is listed twice): a
// few hundred terminals cost less than a lookup per row.
bool fillAddresses(Database& db, const QList<QVariant>& numbers, QList<RecordLastSeen::Row>& rows)
{
    QHash<QString, QString> addresses;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QVariant& number = numbers.at(i);
        if (number.isNull())
            continue;
        const QString key = QString::number(number.typeId()) + u':' + number.toString();
        auto found = addresses.constFind(key);
        if (found == addresses.cend()) {
            QString address;
            if (!db.query(QStringLiteral("SELECT 地址 FROM 终端机 WHERE 终端机号 = ? ORDER BY 地址 LIMIT 1"), {number},
                          [&](const k27::Row& row) {
                              address = row.text(0);
                              return false;
                          }))
                return false;
            found = addresses.insert(key, address);
        }
        rows[i].address = *found;
    }
    return true;
}

const QString SpanTable = QStringLiteral("temp.进出记录_区间最近");

// Which cards are listed: a test of the card column named in `card`, with `params`.
using CardTest = std::function<QString(const QString& card, QVariantList& params)>;

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
        QStringList hours;
        for (int h = 0; h < dayCounts::Slots; ++h)
            hours << QStringLiteral("h%1").arg(h, 2, 10, QLatin1Char('0'));
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
        const bool ok = db.query(QStringLiteral("SELECT 日, sum(") + hours.join(u'+') + QStringLiteral(") FROM ")
                                     + QString::fromUtf8(dayCounts::Table) + where
                                     + QStringLiteral(" GROUP BY 日 ORDER BY 日 DESC LIMIT %1").arg(Chunk),
                                 params, [&](const k27::Row& row) {
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

// Each card's newest record that the span and terminal of `filter` take, as a temporary table
// of the kept table's shape (SpanTable), for at least the cards `listed` takes. Most cards are
// answered by their kept newest record: one before the span has nothing in it, one inside it
// (at the terminal asked for) is the answer. Only the others are looked for: along the time
// index backwards from the span's end, a day or so at a time while that finds enough of them
// (a card used every day is met within days), then the rest one step into the card-and-time
// index each (`newest`, the filter's look-up, with `newestParams`).
bool fillSpanNewest(Database& db, const RecordFilter& filter, const QString& newest, const QVariantList& newestParams,
                    const CardTest& listed, const RecordLastSeen::Plan& plan)
{
    const QString start = filter.timeSpan ? filter.start.toString(QLatin1String(EntryTimeFormat)) : QString();
    const QString end = filter.timeSpan ? filter.end.toString(QLatin1String(EntryTimeFormat)) : QString();
    const QString terminal = TrimAtNul(filter.terminal);
    double number = 0;
    QString atTerminal; // the terminal test of a record `r`
    if (!terminal.isEmpty())
        atTerminal = QStringLiteral(" AND r.终端机号 = ?");
    const QString columns = QStringLiteral(" SELECT r.卡号, r.进出时间, r.ID, r.终端机号");
    const QString insert = QStringLiteral("INSERT OR IGNORE INTO ") + SpanTable + columns;
    if (!db.exec(QStringLiteral("CREATE TEMP TABLE 进出记录_区间最近 (卡号 VARCHAR(15) PRIMARY KEY,"
                                " 进出时间 DATETIME NOT NULL, ID INTEGER NOT NULL, 终端机号 INT) WITHOUT ROWID")))
        return false;
    // (No terminal has a number that is no number, and a span may end before it starts.)
    if ((!terminal.isEmpty() && !parseNumber(terminal, &number)) || start > end)
        return true;
    const QVariantList terminalParams = terminal.isEmpty() ? QVariantList{} : QVariantList{number};
    const QString inSpan = filter.timeSpan ? QStringLiteral(" AND r.进出时间 >= ? AND r.进出时间 <= ?") : QString();
    if (!db.exec(insert + QStringLiteral(" FROM 进出记录_最近 r WHERE 1 = 1") + inSpan + atTerminal,
                 filter.timeSpan ? QVariantList{start, end} + terminalParams : terminalParams))
        return false;
    // The cards still wanted: listed, their kept record newer than the span's start and not
    // the answer.
    QVariantList wantedParams;
    const QString wanted = QStringLiteral(" FROM 进出记录_最近 k WHERE (")
                           + listed(QStringLiteral("k.卡号"), wantedParams) + u')'
                           + (filter.timeSpan ? QStringLiteral(" AND k.进出时间 >= ?") : QString())
                           + QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM ") + SpanTable
                           + QStringLiteral(" s WHERE s.卡号 = k.卡号)");
    if (filter.timeSpan)
        wantedParams << start;
    const qint64 wantedCount = db.scalar(QStringLiteral("SELECT count(*)") + wanted, wantedParams).toLongLong();
    if (wantedCount == 0)
        return true;
    Days days;
    const auto readDays = [&] { return days.more(db, filter, start, end, plan.sliceRecords); };
    // With a terminal asked for, a look-up reads the card's records in the span until one is
    // at that terminal: their number tells its cost.
    bool ok = readDays();
    while (ok && !terminal.isEmpty() && !days.all)
        ok = readDays();
    if (!ok)
        return false;
    // (The day counts are exact: a span without a day counted holds no record with a card.)
    if (days.all && days.unread == 0)
        return true;
    const double seekCost = plan.seekCost
                            * (terminal.isEmpty() ? 1.0
                                                  : 1.0 + double(days.unread) / double(qMax<qint64>(1, wantedCount)));

    // A slice's records newest first: the first of each card is its answer (a card answered
    // already keeps its row). The card's index stays out: the walk is along the time index.
    QVariantList walkParams;
    const QString walk = insert + QStringLiteral(" FROM 进出记录 r WHERE (")
                         + listed(QStringLiteral("+r.卡号"), walkParams) + u')' + atTerminal;
    walkParams += terminalParams;
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
        QVariantList params = walkParams;
        const QString from = filter.timeSpan && slice.from < start ? start : slice.from;
        if (!from.isEmpty()) {
            range += QStringLiteral(" AND r.进出时间 >= ?");
            params << from;
        }
        if (!below.isEmpty() || filter.timeSpan) {
            range += below.isEmpty() ? QStringLiteral(" AND r.进出时间 <= ?") : QStringLiteral(" AND r.进出时间 < ?");
            params << (below.isEmpty() ? end : below);
        }
        if (range.isEmpty())
            range = QStringLiteral(" AND r.进出时间 IS NOT NULL");
        if (!db.exec(walk + range + QStringLiteral(" ORDER BY r.进出时间 DESC, r.ID DESC"), params))
            return false;
        lastFound = db.changes();
        found += lastFound;
        days.unread -= slice.records;
        below = slice.from;
        // Every record of the span read: the cards not met have none in it.
        if (from.isEmpty() || from == start || found == wantedCount)
            return true;
    }
    QString seek = wanted;
    seek.replace(QStringLiteral(" k WHERE"), QStringLiteral(" k JOIN 进出记录 r ON r.ID = ")
                                                 + newest.arg(QStringLiteral("k.卡号")) + QStringLiteral(" WHERE"));
    return db.exec(insert + seek, newestParams + wantedParams);
}

} // namespace

bool RecordLastSeen::run(Database& db, const RecordFilter& filter, QList<Row>& rows)
{
    return run(db, filter, rows, Plan());
}

bool RecordLastSeen::run(Database& db, const RecordFilter& given, QList<Row>& rows, const Plan& plan)
{
    rows.clear();
    RecordQuery::ensureIndexes(db);
    RecordFilter filter = given;
    if (filter.recent)
        filter = RecordFilter();

    QVariantList recordParams;
    const QString newest = newestRecord(filter, recordParams);

    QVariantList holderParams;
    const QString card = TrimAtNul(filter.card);
    const QString name = TrimAtNul(filter.name);
    const QString department = TrimAtNul(filter.department);
    const QString holders = holderCondition(card, name, department, holderParams);

    // The record's columns; its terminal's address is looked up once per terminal afterwards.
    const QString recordColumns = QStringLiteral(", r.进出时间, r.终端机号");
    const QString lastOrder = QStringLiteral(
        " ORDER BY CASE WHEN r.进出时间 IS NULL THEN 1 ELSE 0 END, r.进出时间 DESC, r.ID DESC");
    QHash<qint64, QString> terminals;
    QList<QVariant> numbers; // each row's terminal as the record holds it
    const auto terminalText = [&](const k27::Row& row, int col) {
        numbers.append(row.value(col));
        if (row.isNull(col))
            return QString();
        const qint64 number = row.integer(col);
        auto found = terminals.constFind(number);
        if (found == terminals.cend())
            found = terminals.insert(number, RecordQuery::terminalText(number));
        return *found;
    };

    // Each card's newest record is the one the register keeps (embedded file): a short row per
    // holder, no record looked up anywhere in the file. With a span or a terminal, the newest
    // within them is made from it first (with the day counts to plan the work).
    bool kept = !db.isServer() && db.hasTable(QString::fromUtf8(newestRecords::Table));
    QString newestTable = QString::fromUtf8(newestRecords::Table);
    const bool within = filter.timeSpan || !TrimAtNul(filter.terminal).isEmpty();
    if (kept && within) {
        kept = db.hasTable(QString::fromUtf8(dayCounts::Table));
        newestTable = SpanTable;
    }
    const auto dropSpan = [&] { db.exec(QStringLiteral("DROP TABLE IF EXISTS ") + SpanTable); };
    if (kept && within) {
        dropSpan();
        // The cards listed: the holders' the texts take, and (without a name or department)
        // the cards nobody holds that contain the card text.
        const CardTest listed = [&](const QString& column, QVariantList& params) {
            if (card.isEmpty() && name.isEmpty() && department.isEmpty())
                return QStringLiteral("1 = 1");
            QString test = column + QStringLiteral(" IN (SELECT u.卡号 FROM 用户信息 u") + holders + u')';
            params += holderParams;
            if (name.isEmpty() && department.isEmpty()) {
                test += QStringLiteral(" OR (NOT EXISTS (SELECT 1 FROM 用户信息 u WHERE u.卡号 = ") + column
                        + QStringLiteral(") AND ") + column + RecordQuery::containsTest() + u')';
                params << RecordQuery::containsLiteral(card);
            }
            return test;
        };
        if (!fillSpanNewest(db, filter, newest, recordParams, listed, plan)) {
            dropSpan();
            return false;
        }
    }
    const QString holderRows = kept ? QStringLiteral("SELECT u.姓名, u.部门, u.卡号") + recordColumns
                                          + QStringLiteral(" FROM 用户信息 u LEFT JOIN ") + newestTable
                                          + QStringLiteral(" r ON r.卡号 = u.卡号") + holders + lastOrder
                                          + QStringLiteral(", u.姓名, u.ID")
                                    : QStringLiteral("SELECT h.姓名, h.部门, h.卡号") + recordColumns
                                          + QStringLiteral(" FROM (SELECT u.姓名, u.部门, u.卡号, u.ID, ")
                                          + newest.arg(QStringLiteral("u.卡号"))
                                          + QStringLiteral(" AS last FROM 用户信息 u") + holders
                                          + QStringLiteral(") h LEFT JOIN 进出记录 r ON r.ID = h.last") + lastOrder
                                          + QStringLiteral(", h.姓名, h.ID");
    bool ok = db.query(holderRows, kept ? holderParams : recordParams + holderParams, [&](const k27::Row& row) {
        rows.append({row.text(0), row.text(1), row.text(2), row.text(3), terminalText(row, 4), {}, false});
        return true;
    });
    // Cards without a holder have no name or department to match.
    if (ok && name.isEmpty() && department.isEmpty()) {
        QString cardTest;
        QVariantList cardParams;
        if (!card.isEmpty()) {
            cardTest = (kept ? QStringLiteral(" AND r.卡号") : QStringLiteral(" AND c.卡号"))
                       + RecordQuery::containsTest();
            cardParams << RecordQuery::containsLiteral(card);
        }
        const QString from = kept ? QStringLiteral(" FROM ") + newestTable
                                        + QStringLiteral(
                                            " r WHERE NOT EXISTS (SELECT 1 FROM 用户信息 u WHERE u.卡号 = r.卡号)")
                                        + cardTest
                                  : QStringLiteral(" FROM (SELECT c.卡号, ") + newest.arg(QStringLiteral("c.卡号"))
                                        + QStringLiteral(" AS last FROM 进出记录_卡号 c WHERE NOT EXISTS"
                                                         " (SELECT 1 FROM 用户信息 u WHERE u.卡号 = c.卡号)")
                                        + cardTest + QStringLiteral(") c JOIN 进出记录 r ON r.ID = c.last");
        const QString unknown = QStringLiteral("SELECT r.卡号") + recordColumns + from + lastOrder;
        ok = db.query(unknown, kept ? cardParams : recordParams + cardParams, [&](const k27::Row& row) {
            rows.append({{}, {}, row.text(0), row.text(1), terminalText(row, 2), {}, true});
            return true;
        });
    }
    if (kept && within)
        dropSpan();
    ok = ok && fillAddresses(db, numbers, rows);
    if (!ok)
        rows.clear();
    return ok;
}

} // namespace k27
