#include "RecordLastSeen.h"

#include "EntryTime.h"
#include "RecordQuery.h"
#include "db/Database.h"
#include "db/RecordNewest.h"
#include "startup/TextUtil.h"

#include <QHash>

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

} // namespace

bool RecordLastSeen::run(Database& db, const RecordFilter& given, QList<Row>& rows)
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

    // Without a span or a terminal each card's newest record is the one the register keeps
    // (embedded file): a short row per holder, no record looked up anywhere in the file.
    const bool kept = !filter.timeSpan && TrimAtNul(filter.terminal).isEmpty()
                      && db.hasTable(QString::fromUtf8(newestRecords::Table));
    const QString holderRows = kept ? QStringLiteral("SELECT u.姓名, u.部门, u.卡号") + recordColumns
                                          + QStringLiteral(
                                              " FROM 用户信息 u LEFT JOIN 进出记录_最近 r ON r.卡号 = u.卡号")
                                          + holders + lastOrder + QStringLiteral(", u.姓名, u.ID")
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
        const QString from =
            kept ? QStringLiteral(
                       " FROM 进出记录_最近 r WHERE NOT EXISTS (SELECT 1 FROM 用户信息 u WHERE u.卡号 = r.卡号)")
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
    ok = ok && fillAddresses(db, numbers, rows);
    if (!ok)
        rows.clear();
    return ok;
}

} // namespace k27
