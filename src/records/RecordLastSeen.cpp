#include "RecordLastSeen.h"

#include "LastSeenRecords.h"

#include "EntryTime.h"
#include "RecordQuery.h"
#include "db/Database.h"
#include "db/RecordDayCounts.h"
#include "db/RecordNewest.h"
#include "startup/TextUtil.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <vector>

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
    QHash<qint64, QString> byInteger; // the usual kind, without a text key made per row
    QHash<QString, QString> byOther;
    const auto addressOf = [&](auto& cache, const auto& key, const QVariant& number, QString& address) {
        auto found = cache.constFind(key);
        if (found == cache.cend()) {
            QString text;
            if (!db.query(QStringLiteral("SELECT 地址 FROM 终端机 WHERE 终端机号 = ? ORDER BY 地址 LIMIT 1"), {number},
                          [&](const k27::Row& row) {
                              text = row.text(0);
                              return false;
                          }))
                return false;
            found = cache.insert(key, text);
        }
        address = *found;
        return true;
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QVariant& number = numbers.at(i);
        if (number.isNull())
            continue;
        const bool ok = number.typeId() == QMetaType::LongLong
                            ? addressOf(byInteger, *static_cast<const qint64*>(number.constData()), number,
                                        rows[i].address)
                            : addressOf(byOther, QString::number(number.typeId()) + u':' + number.toString(), number,
                                        rows[i].address);
        if (!ok)
            return false;
    }
    return true;
}

// Each row's terminal as the record list shows it, and as the record holds it (for its
// address, looked up once per terminal afterwards).
struct Terminals
{
    QHash<qint64, QString> texts;
    QList<QVariant> numbers; // in the rows' order

    QString add(const QVariant& number, qint64 asInteger)
    {
        numbers.append(number);
        if (number.isNull())
            return {};
        auto found = texts.constFind(asInteger);
        if (found == texts.cend())
            found = texts.insert(asInteger, RecordQuery::terminalText(asInteger));
        return *found;
    }
};

// A row of the list with what orders it.
struct Listed
{
    QString name, department, card;
    qint64 holder = 0;
    bool nameNull = false; // (before every name)
    qint64 key = 0;        // of the card; 0: none
    const lastSeen::Record* last = nullptr;
};

// What orders a row, kept together so that the sort does not reach into each row's texts for
// the usual times.
struct Order
{
    qint64 digits; // the record's time as digits; -1: written otherwise; -2: no record
    qint64 record;
    qsizetype at; // the row
};

// Newest first, those without a record after; then by name and holder ID.
bool before(const std::vector<Listed>& listed, const Order& x, const Order& y)
{
    if (x.digits >= 0 && y.digits >= 0) {
        if (x.digits != y.digits)
            return x.digits > y.digits;
        if (x.record != y.record)
            return x.record > y.record;
    }
    const Listed& a = listed[x.at];
    const Listed& b = listed[y.at];
    if (a.last && b.last) {
        if (const int c = lastSeen::compareNewestFirst(*a.last, *b.last))
            return c < 0;
    } else if (a.last || b.last) {
        return a.last != nullptr;
    }
    if (a.nameNull != b.nameNull)
        return a.nameNull;
    if (const int c = lastSeen::compareTexts(a.name, b.name))
        return c < 0;
    return a.holder < b.holder;
}

void append(std::vector<Listed>& listed, bool unknown, Terminals& terminals, QList<RecordLastSeen::Row>& rows)
{
    std::vector<Order> order;
    order.reserve(listed.size());
    for (qsizetype i = 0; i < qsizetype(listed.size()); ++i) {
        const lastSeen::Record* last = listed[i].last;
        order.push_back({last ? last->digits : -2, last ? last->id : 0, i});
    }
    std::sort(order.begin(), order.end(), [&](const Order& x, const Order& y) { return before(listed, x, y); });
    rows.reserve(rows.size() + qsizetype(listed.size()));
    for (const Order& o : order) {
        Listed& l = listed[o.at];
        rows.append({std::move(l.name), std::move(l.department), std::move(l.card), {}, {}, {}, unknown});
        if (l.last) {
            rows.back().time = l.last->time;
            rows.back().terminal = terminals.add(l.last->terminal, l.last->terminalNumber);
        } else {
            terminals.add({}, 0);
        }
    }
}

// Where the register keeps each card's newest record (embedded file): the holders and those
// records are each read in one plain pass, then joined and sorted here.
bool readKept(Database& db, const RecordFilter& filter, const RecordLastSeen::Plan& plan,
              QList<RecordLastSeen::Row>& rows, Terminals& terminals)
{
    const QString card = TrimAtNul(filter.card);
    const QString name = TrimAtNul(filter.name);
    const QString department = TrimAtNul(filter.department);
    // Cards without a holder have no name or department to match.
    const bool unknownListed = name.isEmpty() && department.isEmpty();
    QVariantList holderParams;
    const QString holders = holderCondition(card, name, department, holderParams);
    std::vector<Listed> listed;
    QSet<qint64> held; // the listed holders' cards, where others' are left out
    lastSeen::Records records;
    bool ok = db.query(
        QStringLiteral("SELECT u.姓名, u.部门, u.卡号, u.ID FROM 用户信息 u") + holders, holderParams,
        [&](const k27::Row& row) {
            // (A holder without a card has no record.)
            const QString holderCard = row.text(2);
            const qint64 key = row.isNull(2) ? 0 : records.keys.add(holderCard);
            listed.push_back({row.text(0), row.text(1), holderCard, row.integer(3), row.isNull(0), key, nullptr});
            if (!unknownListed && key != 0)
                held.insert(key);
            return true;
        });
    // The cards listed: those with the card text, only the holders' where names or
    // departments are asked for.
    const lastSeen::Cards cards{card, unknownListed ? nullptr : &held};
    records.byKey.reserve(qsizetype(listed.size()) + qsizetype(listed.size()) / 4);
    const bool within = filter.timeSpan || !TrimAtNul(filter.terminal).isEmpty();
    ok = ok
         && (within ? lastSeen::readWithin(db, filter, cards, plan, records) : lastSeen::readKept(db, cards, records));
    if (!ok)
        return false;
    for (Listed& l : listed) {
        if (l.key == 0)
            continue;
        const auto found = records.byKey.find(l.key);
        if (found != records.byKey.end()) {
            found->held = true;
            l.last = &*found;
        }
    }
    append(listed, false, terminals, rows);
    listed.clear();
    if (unknownListed) {
        for (const lastSeen::Record& r : std::as_const(records.byKey))
            if (!r.held)
                listed.push_back({{}, {}, r.card, 0, false, 0, &r});
        append(listed, true, terminals, rows);
    }
    return true;
}

// Where nothing is kept (a server's register): each holder's and each unknown card's newest
// record looked up through the card-and-time index.
bool readEach(Database& db, const RecordFilter& filter, QList<RecordLastSeen::Row>& rows, Terminals& terminals)
{
    QVariantList recordParams;
    const QString newest = newestRecord(filter, recordParams);
    QVariantList holderParams;
    const QString card = TrimAtNul(filter.card);
    const QString name = TrimAtNul(filter.name);
    const QString department = TrimAtNul(filter.department);
    const QString holders = holderCondition(card, name, department, holderParams);
    const QString recordColumns = QStringLiteral(", r.进出时间, r.终端机号");
    const QString lastOrder = QStringLiteral(
        " ORDER BY CASE WHEN r.进出时间 IS NULL THEN 1 ELSE 0 END, r.进出时间 DESC, r.ID DESC");
    const auto terminalText = [&](const k27::Row& row, int col) {
        return terminals.add(row.value(col), row.integer(col));
    };
    const QString holderRows = QStringLiteral("SELECT h.姓名, h.部门, h.卡号") + recordColumns
                               + QStringLiteral(" FROM (SELECT u.姓名, u.部门, u.卡号, u.ID, ")
                               + newest.arg(QStringLiteral("u.卡号")) + QStringLiteral(" AS last FROM 用户信息 u")
                               + holders + QStringLiteral(") h LEFT JOIN 进出记录 r ON r.ID = h.last") + lastOrder
                               + QStringLiteral(", h.姓名, h.ID");
    bool ok = db.query(holderRows, recordParams + holderParams, [&](const k27::Row& row) {
        rows.append({row.text(0), row.text(1), row.text(2), row.text(3), terminalText(row, 4), {}, false});
        return true;
    });
    // Cards without a holder have no name or department to match.
    if (ok && name.isEmpty() && department.isEmpty()) {
        QString cardTest;
        QVariantList cardParams;
        if (!card.isEmpty()) {
            cardTest = QStringLiteral(" AND c.卡号") + RecordQuery::containsTest();
            cardParams << RecordQuery::containsLiteral(card);
        }
        const QString unknown = QStringLiteral("SELECT r.卡号") + recordColumns
                                + QStringLiteral(" FROM (SELECT c.卡号, ") + newest.arg(QStringLiteral("c.卡号"))
                                + QStringLiteral(" AS last FROM 进出记录_卡号 c WHERE NOT EXISTS"
                                                 " (SELECT 1 FROM 用户信息 u WHERE u.卡号 = c.卡号)")
                                + cardTest + QStringLiteral(") c JOIN 进出记录 r ON r.ID = c.last") + lastOrder;
        ok = db.query(unknown, recordParams + cardParams, [&](const k27::Row& row) {
            rows.append({{}, {}, row.text(0), row.text(1), terminalText(row, 2), {}, true});
            return true;
        });
    }
    return ok;
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
    // Each card's newest record is the one the register keeps (embedded file); with a span or
    // a terminal, the newest within them is made from it (with the day counts to plan the work).
    const bool within = filter.timeSpan || !TrimAtNul(filter.terminal).isEmpty();
    const bool kept = !db.isServer() && db.hasTable(QString::fromUtf8(newestRecords::Table))
                      && (!within || db.hasTable(QString::fromUtf8(dayCounts::Table)));
    Terminals terminals;
    const bool ok = (kept ? readKept(db, filter, plan, rows, terminals) : readEach(db, filter, rows, terminals))
                    && fillAddresses(db, terminals.numbers, rows);
    if (!ok)
        rows.clear();
    return ok;
}

} // namespace k27
