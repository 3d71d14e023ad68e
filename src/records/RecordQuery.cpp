#include "RecordQuery.h"

#include "EntryTime.h"
#include "RecordRows.h"
#include "db/Database.h"
#include "startup/TextUtil.h"

#include <QHash>
#include <QVariantList>
#include <cmath>
#include <limits>

namespace k27 {

namespace {

// The operator's text as a like-pattern that matches it anywhere, taken literally.
QString containsLiteral(const QString& text)
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

const QString ContainsTest = QStringLiteral(" LIKE '%' || ? || '%' ESCAPE '\\'");

} // namespace

qint64 RecordQuery::recentCount(const QString& text)
{
    const double n = std::nearbyint(std::fabs(leadingNumber(text)));   // ties to even
    if (!(n < 9.0e18))
        return std::numeric_limits<qint64>::max();
    return qint64(n);
}

void RecordQuery::ensureIndexes(Database& db)
{
    // Same names as the schema gives new files, so nothing is built twice. A missing register
    // table only loses its index.
    for (const char* sql : {"CREATE INDEX IF NOT EXISTS 进出记录_卡号时间 ON 进出记录 (卡号, 进出时间)",
                            "CREATE INDEX IF NOT EXISTS 进出记录_时间 ON 进出记录 (进出时间)",
                            "CREATE INDEX IF NOT EXISTS 用户信息_卡号 ON 用户信息 (卡号)",
                            "CREATE INDEX IF NOT EXISTS 终端机_号 ON 终端机 (终端机号)"})
        db.exec(QString::fromUtf8(sql));
}

QString RecordQuery::terminalText(qint64 number)
{
    const QString digits = QString::number(number < 0 ? -number : number).rightJustified(4, u'0');
    return number < 0 ? u'-' + digits : digits;
}

RecordQuery::Result RecordQuery::run(Database& db, const RecordFilter& filter, RecordRows& rows)
{
    Result result;
    QString sql = QStringLiteral(
        "SELECT r.进出时间, r.星期, u.姓名, u.部门, u.住址, r.终端机号, t.地址, r.卡号"
        " FROM 进出记录 r"
        " LEFT JOIN 用户信息 u ON u.卡号 = r.卡号"
        " LEFT JOIN 终端机 t ON t.终端机号 = r.终端机号");
    QVariantList params;

    if (filter.recent) {
        const qint64 n = recentCount(filter.recentText);
        if (n == 0)
            return result;
        sql += QStringLiteral(" ORDER BY r.进出时间 DESC, r.ID DESC LIMIT ?");
        params << n;
    } else {
        // The card test is always there: with an empty text it keeps every record that has
        // a card number. Name and department tests drop records without a cardholder.
        sql += QStringLiteral(" WHERE r.卡号") + ContainsTest;
        params << containsLiteral(TrimAtNul(filter.card));
        if (filter.timeSpan) {
            sql += QStringLiteral(" AND r.进出时间 BETWEEN ? AND ?");
            params << filter.start.toString(QLatin1String(EntryTimeFormat))
                   << filter.end.toString(QLatin1String(EntryTimeFormat));
        }
        const QString name = TrimAtNul(filter.name);
        if (!name.isEmpty()) {
            sql += QStringLiteral(" AND u.姓名") + ContainsTest;
            params << containsLiteral(name);
        }
        const QString department = TrimAtNul(filter.department);
        if (!department.isEmpty()) {
            sql += QStringLiteral(" AND u.部门") + ContainsTest;
            params << containsLiteral(department);
        }
        const QString terminal = TrimAtNul(filter.terminal);
        if (!terminal.isEmpty()) {
            // Compared as a number; a text that is no number finds nothing.
            double number = 0;
            if (!parseNumber(terminal, &number))
                sql += QStringLiteral(" AND 0");
            else {
                sql += QStringLiteral(" AND r.终端机号 = ?");
                params << number;
            }
        }
        // Records stamped alike come newest-stored first, so the order is stable.
        sql += QStringLiteral(" ORDER BY r.进出时间 DESC, r.ID DESC");
    }

    ensureIndexes(db);
    rows.clear();
    QHash<qint64, QString> terminals;   // formatted once per terminal number
    const bool ok = db.query(sql, params, [&](const Row& row) {
        QString terminal;
        if (!row.isNull(5)) {
            const qint64 number = row.integer(5);
            auto found = terminals.constFind(number);
            if (found == terminals.cend())
                found = terminals.insert(number, terminalText(number));
            terminal = *found;
        }
        rows.append({row.text(0), row.text(1), row.text(2), row.text(3), row.text(4), terminal, row.text(6),
                     row.text(7)});
        return true;
    });
    if (!ok) {
        rows.clear();
        result.outcome = Outcome::Failed;
        return result;
    }
    result.outcome = Outcome::Done;
    result.rows = rows.rowCount();
    return result;
}

} // namespace k27
