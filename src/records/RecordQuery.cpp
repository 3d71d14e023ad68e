#include "RecordQuery.h"

#include "EntryTime.h"
#include "RecordRows.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "startup/TextUtil.h"

#include <QHash>
#include <QVariantList>
#include <cmath>
#include <limits>

namespace k27 {

// The operator's text as a like-pattern that matches it anywhere, taken literally.
QString RecordQuery::containsLiteral(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 2);
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

const QString& RecordQuery::containsTest()
{
    static const QString test = QStringLiteral(" LIKE '%' || ? || '%' ESCAPE '\\'");
    return test;
}

qint64 RecordQuery::recentCount(const QString& text)
{
    const double n = std::nearbyint(std::fabs(leadingNumber(text))); // ties to even
    if (!(n < 9.0e18))
        return std::numeric_limits<qint64>::max();
    return qint64(n);
}

void RecordQuery::ensureIndexes(Database& db)
{
    // Same names as the schema gives new files, so nothing is built twice. A missing register
    // table only loses its index. A server's register has them from its schema: there the
    // statement would need the tables' owner and, even for one, lock out other desks' writes.
    if (db.isServer())
        return;
    for (const char* sql : {"CREATE INDEX IF NOT EXISTS 进出记录_卡号时间 ON 进出记录 (卡号, 进出时间)",
                            "CREATE INDEX IF NOT EXISTS 进出记录_时间 ON 进出记录 (进出时间)",
                            "CREATE INDEX IF NOT EXISTS 用户信息_卡号 ON 用户信息 (卡号)",
                            "CREATE INDEX IF NOT EXISTS 终端机_号 ON 终端机 (终端机号)"})
        db.exec(QString::fromUtf8(sql));
    ensureRecordCards(db);
    ensureRepeatedHolderCards(db);
}

void RecordQuery::warmCardList(Database& db)
{
    if (!db.isServer() && db.hasTable(QStringLiteral("进出记录_卡号")))
        db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录_卡号"));
}

QString RecordQuery::terminalText(qint64 number)
{
    const QString digits = QString::number(number < 0 ? -number : number).rightJustified(4, u'0');
    return number < 0 ? u'-' + digits : digits;
}

namespace {

const QString Select = QStringLiteral(
    "SELECT r.进出时间, r.星期, u.姓名, u.部门, u.住址, r.终端机号, t.地址, r.卡号, r.ID");
// The same columns by position, only those that order and count the rows filled.
const QString KeySelect = QStringLiteral("SELECT r.进出时间, 0, 0, 0, 0, 0, 0, 0, r.ID");
const QString HolderJoin = QStringLiteral(" LEFT JOIN 用户信息 u ON u.卡号 = r.卡号");
const QString TerminalJoin = QStringLiteral(" LEFT JOIN 终端机 t ON t.终端机号 = r.终端机号");
const QString Joins = HolderJoin + TerminalJoin;
// Records stamped alike come newest-stored first, so the order is stable.
const QString NewestFirst = QStringLiteral(" ORDER BY r.进出时间 DESC, r.ID DESC");

void appendRow(const Row& row, RecordRows& rows, QHash<qint64, QString>& terminals)
{
    QString terminal;
    if (!row.isNull(5)) {
        const qint64 number = row.integer(5);
        auto found = terminals.constFind(number);
        if (found == terminals.cend())
            found = terminals.insert(number, RecordQuery::terminalText(number));
        terminal = *found;
    }
    rows.append({row.text(0), row.text(1), row.text(2), row.text(3), row.text(4), terminal, row.text(6), row.text(7)});
}

} // namespace

namespace {

QDateTime entryTime(const QString& text)
{
    // UTC: the arithmetic of the windows knows no clock changes.
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (text.size() != 19 || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

// Measured on ten million records (microseconds): one record walked along the entry-time
// index with its card tested; one card of the list tested; one card's records entered
// through the card index.
constexpr double WalkCost = 0.5;
constexpr double ListCost = 0.12;
constexpr double SeekCost = 4.0;

// Rows a statement on a server returns beyond those wanted (see RecordCursor::read).
constexpr int LimitSlack = 64;

} // namespace

// The estimates a card filter's windows start from: how many cards match, and how densely
// records lie in time. Each is one short look at an index or at the list of cards.
void RecordCursor::planWindows(Database& db)
{
    Windows& w = m_windows;
    // One pass over the list of cards counts those that match and keeps them while they are
    // few: the statements then name them and enter the card index at once, instead of
    // testing every card of the list again each time (the test is most of a narrow query).
    QVariantList few;
    bool counted = db.query(QStringLiteral("SELECT 卡号 FROM 进出记录_卡号 WHERE 卡号") + RecordQuery::containsTest(),
                            {m_params.value(0)}, [&](const Row& row) {
                                if (++w.cards <= m_fewCards)
                                    few << row.value(0);
                                return true;
                            });
    counted = counted && db.query(QStringLiteral("SELECT count(*) FROM 进出记录_卡号"), {}, [&](const Row& row) {
        w.allCards = row.integer(0);
        return false;
    });
    if (!counted)
        return; // the reading reports the failure
    if (w.cards == 0) {
        m_sql.clear(); // no card matches: nothing to read
        return;
    }
    if (w.cards <= m_fewCards) {
        const QString names = QStringLiteral("卡号 IN (?") + QStringLiteral(", ?").repeated(few.size() - 1) + u')';
        m_sql = w.select + QStringLiteral(" WHERE r.") + names + w.where;
        m_keySql = w.keySelect + QStringLiteral(" WHERE r.") + names + w.where;
        // Along the entry-time index, the same names tested on each record.
        w.walkSql = w.select + QStringLiteral(" WHERE +r.") + names + w.where;
        w.walkKeySql = w.keySelect + QStringLiteral(" WHERE +r.") + names + w.where;
        m_params = few + m_params.mid(1);
        w.named = true;
    }
    // One aggregate per statement: each is then answered from one end of an index.
    w.top = db.scalar(QStringLiteral("SELECT max(进出时间) FROM 进出记录")).toString();
    w.floor = db.scalar(QStringLiteral("SELECT min(进出时间) FROM 进出记录")).toString();
    const qint64 firstId = db.scalar(QStringLiteral("SELECT min(ID) FROM 进出记录")).toLongLong();
    const qint64 lastId = db.scalar(QStringLiteral("SELECT max(ID) FROM 进出记录")).toLongLong();
    // Within a time span only its part of the records counts.
    if (m_start.isValid() && m_start.toString() > w.floor)
        w.floor = m_start.toString();
    if (m_end.isValid() && m_end.toString() < w.top)
        w.top = m_end.toString();
    const QDateTime top = entryTime(w.top), floor = entryTime(w.floor);
    const double seconds = top.isValid() && floor.isValid() ? qMax<qint64>(1, floor.secsTo(top)) : 1;
    w.allPerSecond = double(lastId - firstId + 1) / seconds;
    w.matchPerSecond = w.allPerSecond * double(w.cards) / double(qMax<qint64>(1, w.allCards));
    w.on = true;
}

// The next window: below the last record read, long enough for about `wanted` matching rows
// at the rate seen so far, read the cheaper way.
void RecordCursor::chooseWindow(int wanted)
{
    Windows& w = m_windows;
    const QString high = m_started ? m_lastTime.toString() : m_end.isValid() ? m_end.toString() : w.top;
    const QDateTime highTime = entryTime(high), floor = entryTime(w.floor);
    w.seconds = qBound(1.0, double(wanted) / qMax(w.matchPerSecond, 1e-9), 1e11);
    w.low = QVariant();
    double walked = std::numeric_limits<double>::infinity();
    if (highTime.isValid() && floor.isValid()) {
        const QString low = highTime.addSecs(-qint64(std::ceil(w.seconds))).toString(QLatin1String(EntryTimeFormat));
        if (low > w.floor)
            w.low = low;
        else
            w.seconds = qMax<qint64>(1, floor.secsTo(highTime));
        walked = w.allPerSecond * w.seconds;
    }
    const double seek = (w.named ? 0.0 : ListCost * double(w.allCards)) + SeekCost * double(w.cards);
    switch (m_cardReading) {
    case CardReading::Cheapest: w.walk = WalkCost * walked < seek; break;
    case CardReading::CardIndex: w.walk = false; break;
    case CardReading::TimeIndex: w.walk = true; break;
    }
    w.found = 0;
    w.chosen = true;
}

void RecordCursor::keepBelowFirstOf(const RecordCursor& reader)
{
    if (m_started || m_undated || reader.m_firstTime.isNull())
        return;
    // Just above the first record: a record stored later with the same time has a higher ID.
    m_started = true;
    m_lastTime = reader.m_firstTime;
    m_lastId = reader.m_firstId + 1;
}

bool RecordCursor::reachedBy(const QVariant& time, qint64 id) const
{
    // Dated records come first, newest first; then those without a time, highest ID first.
    const bool undated = time.isNull();
    if (!m_undated) {
        if (!m_started || undated)
            return true;
        const int order = time.toString().compare(m_lastTime.toString());
        return order < 0 || (order == 0 && id < m_lastId);
    }
    return undated && (!m_started || id < m_lastId);
}

// The statement of the next step: the current window (or none), below the last record read.
QString RecordCursor::nextStatement(bool keysOnly, bool windowed, int wanted, QVariantList& params)
{
    QString sql = m_sql;
    Windows& w = m_windows;
    if (windowed) {
        if (!w.chosen)
            chooseWindow(wanted);
        if (w.walk)
            sql = w.walkSql;
    }
    if (keysOnly)
        sql = windowed && w.walk ? w.walkKeySql : m_keySql;
    if (!m_undated) {
        // One upper bound on the entry time, so the index is entered right at the next
        // record instead of being walked from the newest one again.
        sql += QStringLiteral(" AND r.进出时间 IS NOT NULL");
        if (windowed && w.low.isValid()) {
            sql += QStringLiteral(" AND r.进出时间 >= ?");
            params << w.low;
        }
        if (m_started) {
            sql += QStringLiteral(" AND r.进出时间 <= ? AND (r.进出时间 < ? OR r.ID < ?)");
            params << m_lastTime << m_lastTime << m_lastId;
        } else if (m_end.isValid()) {
            sql += QStringLiteral(" AND r.进出时间 <= ?");
            params << m_end;
        }
        sql += NewestFirst;
    } else {
        sql += QStringLiteral(" AND r.进出时间 IS NULL");
        if (m_started) {
            sql += QStringLiteral(" AND r.ID < ?");
            params << m_lastId;
        }
        sql += QStringLiteral(" ORDER BY r.ID DESC");
    }
    return sql;
}

// A step read to its end moves the cursor on: to the next window, to the records without a
// time, or to its end.
void RecordCursor::stepEnded(bool windowed)
{
    Windows& w = m_windows;
    if (windowed) {
        w.chosen = false;
        if (w.low.isValid()) {
            // The window is read to its bottom: the next one starts below it, at the rate
            // this one showed (a window without rows makes the next one eight times longer).
            w.matchPerSecond = w.found > 0 ? double(w.found) / w.seconds : w.matchPerSecond / 8;
            m_lastTime = w.low;
            m_lastId = std::numeric_limits<qint64>::min();
            m_started = true;
            return;
        }
    }
    if (m_undated || m_end.isValid()) {
        m_sql.clear();
    } else {
        m_undated = true;
        m_started = false;
    }
}

int RecordCursor::read(Database& db, RecordRows* into, int rows, const RecordCursor* bound)
{
    int added = 0;
    while (added < rows && !atEnd()) {
        QVariantList params = m_params;
        const bool windowed = m_windows.on && !m_undated;
        QString sql = nextStatement(!into, windowed, rows - added, params);
        // A server sends the whole result of a statement before its first row is read: the
        // statement asks for the rows wanted, and a few more so that the rows of the last
        // record (a card shared by cardholders) come whole.
        const qint64 limit = db.isServer() && rows - added < (1 << 30) ? qint64(rows - added) + LimitSlack : 0;
        if (limit > 0)
            sql += QStringLiteral(" LIMIT %1").arg(limit);
        qint64 seen = 0;
        bool cut = false;
        bool bounded = false;
        qint64 previous = -1;
        const bool ok = db.query(sql, params, [&](const Row& row) {
            ++seen;
            const qint64 id = row.integer(8);
            // The rows of one record (a card shared by two cardholders) stay together.
            if (added >= rows && id != previous) {
                cut = true;
                return false;
            }
            if (bound && bound->reachedBy(row.value(0), id)) {
                bounded = true;
                return false;
            }
            if (into)
                appendRow(row, *into, m_terminals);
            // (A card filter's first window may have been empty and moved the start already.)
            if (m_firstTime.isNull() && !m_undated) {
                m_firstTime = row.value(0);
                m_firstId = id;
            }
            previous = m_lastId = id;
            m_lastTime = row.value(0);
            m_started = true;
            ++added;
            ++m_windows.found;
            return true;
        });
        if (!ok) {
            reset();
            return -1;
        }
        if (bounded)
            break;
        // A result cut by its limit goes on below its last record.
        if (!cut && !(limit > 0 && seen == limit))
            stepEnded(windowed);
    }
    return added;
}

bool RecordQuery::start(Database& db, const RecordFilter& filter, RecordCursor& cursor)
{
    cursor.reset();
    QString sql;
    QVariantList params;
    if (filter.recent)
        return false;
    // A join adds rows only where a card or a terminal number is listed twice; a count that
    // leaves out a join that adds none takes a fifth of the time. (Checked per query: a site
    // that lists a card twice counts the slower way. The cards held twice are kept listed by
    // the cardholder table's triggers; without that list, every holder is grouped.)
    ensureIndexes(db);
    const auto listedTwice = [&](const char* sql) { return db.scalar(QString::fromUtf8(sql)).isValid(); };
    QString keyJoins;
    if (db.hasTable(QStringLiteral("用户信息_重复卡号"))
            ? listedTwice("SELECT 1 FROM 用户信息_重复卡号 LIMIT 1")
            : listedTwice("SELECT 1 FROM 用户信息 WHERE 卡号 IS NOT NULL GROUP BY 卡号 HAVING count(*) > 1 LIMIT 1"))
        keyJoins += HolderJoin;
    if (listedTwice("SELECT 1 FROM 终端机 WHERE 终端机号 IS NOT NULL GROUP BY 终端机号 HAVING count(*) > 1 LIMIT 1"))
        keyJoins += TerminalJoin;
    const bool windows = setUp(filter, cursor, sql, params, keyJoins);
    // The windows are a plan for the embedded engine; the server plans the join itself.
    if (windows && !db.isServer())
        cursor.planWindows(db);
    return true;
}

bool RecordQuery::setUp(const RecordFilter& filter, RecordCursor& cursor, QString& sql, QVariantList& params,
                        QString keyJoins)
{
    bool windows = false;
    if (filter.recent) {
        const qint64 n = recentCount(filter.recentText);
        sql = Select + QStringLiteral(" FROM 进出记录 r") + Joins + NewestFirst + QStringLiteral(" LIMIT ?");
        params << n;
    } else {
        QString where;
        QVariant start, end;
        if (filter.timeSpan) {
            where += QStringLiteral(" AND r.进出时间 >= ?");
            start = filter.start.toString(QLatin1String(EntryTimeFormat));
            params << start;
            end = filter.end.toString(QLatin1String(EntryTimeFormat));
        }
        const QString name = TrimAtNul(filter.name);
        const QString department = TrimAtNul(filter.department);
        if ((!name.isEmpty() || !department.isEmpty()) && !keyJoins.contains(HolderJoin))
            keyJoins.prepend(HolderJoin);
        if (!name.isEmpty()) {
            where += QStringLiteral(" AND u.姓名") + RecordQuery::containsTest();
            params << RecordQuery::containsLiteral(name);
        }
        if (!department.isEmpty()) {
            where += QStringLiteral(" AND u.部门") + RecordQuery::containsTest();
            params << RecordQuery::containsLiteral(department);
        }
        const QString terminal = TrimAtNul(filter.terminal);
        if (!terminal.isEmpty()) {
            // Compared as a number; a text that is no number finds nothing.
            double number = 0;
            if (!parseNumber(terminal, &number))
                where += QStringLiteral(" AND 0");
            else {
                where += QStringLiteral(" AND r.终端机号 = ?");
                params << number;
            }
        }
        // Name and department tests drop records without a cardholder.
        const QString card = TrimAtNul(filter.card);
        if (card.isEmpty()) {
            // An empty card text keeps every record that has a card number. Read along the
            // entry-time index ("+" keeps the card index out of it).
            const QString from = QStringLiteral(" FROM 进出记录 r");
            const QString test = QStringLiteral(" WHERE +r.卡号 IS NOT NULL") + where;
            cursor.m_sql = Select + from + Joins + test;
            cursor.m_keySql = KeySelect + from + keyJoins + test;
            cursor.m_params = params;
            cursor.m_end = end;
        } else {
            // The cards that contain the text, from the list of cards, then their records
            // through the card index: the list is far shorter than the records.
            const QString from = QStringLiteral(" FROM 进出记录_卡号 c CROSS JOIN 进出记录 r ON r.卡号 = c.卡号");
            const QString test = QStringLiteral(" WHERE c.卡号") + RecordQuery::containsTest() + where;
            cursor.m_sql = Select + from + Joins + test;
            cursor.m_keySql = KeySelect + from + keyJoins + test;
            // The same test on each record, for windows read along the entry-time index.
            const QString walkFrom = QStringLiteral(" FROM 进出记录 r");
            const QString walkTest = QStringLiteral(" WHERE +r.卡号") + RecordQuery::containsTest() + where;
            cursor.m_windows.walkSql = Select + walkFrom + Joins + walkTest;
            cursor.m_windows.walkKeySql = KeySelect + walkFrom + keyJoins + walkTest;
            cursor.m_windows.select = Select + walkFrom + Joins;
            cursor.m_windows.keySelect = KeySelect + walkFrom + keyJoins;
            cursor.m_windows.where = where;
            params.prepend(RecordQuery::containsLiteral(card));
            cursor.m_params = params;
            cursor.m_end = end;
            cursor.m_start = start;
            windows = true;
        }
    }
    return windows;
}

RecordQuery::Result RecordQuery::run(Database& db, const RecordFilter& filter, RecordRows& rows, RecordCursor* rest,
                                     int firstRows)
{
    Result result;
    RecordCursor whole;
    RecordCursor& cursor = rest ? *rest : whole;
    cursor.reset();
    if (filter.recent && recentCount(filter.recentText) == 0)
        return result;
    QString sql;
    QVariantList params;
    const bool windows = setUp(filter, cursor, sql, params, Joins);
    ensureIndexes(db);
    if (windows && !db.isServer())
        cursor.planWindows(db);
    rows.clear();
    bool ok = true;
    if (!sql.isEmpty()) {
        ok = db.query(sql, params, [&](const Row& row) {
            appendRow(row, rows, cursor.m_terminals);
            return true;
        });
    } else {
        const int wanted = rest ? qMax(1, firstRows) : std::numeric_limits<int>::max();
        ok = cursor.fetch(db, rows, wanted) >= 0;
        while (ok && !rest && !cursor.atEnd())
            ok = cursor.fetch(db, rows, wanted) >= 0;
    }
    if (!ok) {
        rows.clear();
        cursor.reset();
        result.outcome = Outcome::Failed;
        return result;
    }
    result.outcome = Outcome::Done;
    result.rows = rows.rowCount();
    return result;
}

} // namespace k27
