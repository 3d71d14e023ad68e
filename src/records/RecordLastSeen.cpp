#include "RecordLastSeen.h"

#include "EntryTime.h"
#include "RecordQuery.h"
#include "db/Database.h"
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

    // The record's columns and its terminal's address (one address where a number is listed twice).
    const QString recordColumns = QStringLiteral(
        ", r.进出时间, r.终端机号, (SELECT t.地址 FROM 终端机 t WHERE t.终端机号 = r.终端机号 ORDER BY t.地址 LIMIT 1)");
    const QString lastOrder = QStringLiteral(
        " ORDER BY CASE WHEN r.进出时间 IS NULL THEN 1 ELSE 0 END, r.进出时间 DESC, r.ID DESC");
    QHash<qint64, QString> terminals;
    const auto terminalText = [&](const k27::Row& row, int col) {
        if (row.isNull(col))
            return QString();
        const qint64 number = row.integer(col);
        auto found = terminals.constFind(number);
        if (found == terminals.cend())
            found = terminals.insert(number, RecordQuery::terminalText(number));
        return *found;
    };

    bool ok = db.query(
        QStringLiteral("SELECT h.姓名, h.部门, h.卡号") + recordColumns
            + QStringLiteral(" FROM (SELECT u.姓名, u.部门, u.卡号, u.ID, ") + newest.arg(QStringLiteral("u.卡号"))
            + QStringLiteral(" AS last FROM 用户信息 u") + holders
            + QStringLiteral(") h LEFT JOIN 进出记录 r ON r.ID = h.last") + lastOrder
            + QStringLiteral(", h.姓名, h.ID"),
        recordParams + holderParams, [&](const k27::Row& row) {
            rows.append({row.text(0), row.text(1), row.text(2), row.text(3), terminalText(row, 4), row.text(5), false});
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
        ok = db.query(QStringLiteral("SELECT c.卡号") + recordColumns + QStringLiteral(" FROM (SELECT c.卡号, ")
                          + newest.arg(QStringLiteral("c.卡号"))
                          + QStringLiteral(" AS last FROM 进出记录_卡号 c WHERE NOT EXISTS"
                                           " (SELECT 1 FROM 用户信息 u WHERE u.卡号 = c.卡号)")
                          + cardTest + QStringLiteral(") c JOIN 进出记录 r ON r.ID = c.last") + lastOrder,
                      recordParams + cardParams, [&](const k27::Row& row) {
                          rows.append({{}, {}, row.text(0), row.text(1), terminalText(row, 2), row.text(3), true});
                          return true;
                      });
    }
    if (!ok)
        rows.clear();
    return ok;
}

} // namespace k27
