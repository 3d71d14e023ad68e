#include "AuditQuery.h"

#include "db/Database.h"

namespace k27::audit {

namespace {
// A part of a text to find with LIKE: its own %, _ and \ are ordinary characters.
QString likePart(QString text)
{
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + text + QLatin1Char('%');
}
} // namespace

QList<LogRow> findRows(Database& db, const LogFilter& filter, bool* ok)
{
    QString sql = QStringLiteral("SELECT 序号, 时间, 计算机, 操作员, 动作, 对象, 详情, hash FROM 操作日志 WHERE 1 = 1");
    QVariantList params;
    auto narrow = [&](const QString& condition, const QVariantList& values) {
        sql += QStringLiteral(" AND ") + condition;
        params += values;
    };
    if (!filter.fromUtc.isEmpty())
        narrow(QStringLiteral("时间 >= ?"), {filter.fromUtc});
    if (!filter.toUtc.isEmpty())
        narrow(QStringLiteral("时间 <= ?"), {filter.toUtc});
    if (!filter.operatorName.isEmpty())
        narrow(QStringLiteral("操作员 = ?"), {filter.operatorName});
    if (!filter.action.isEmpty())
        narrow(QStringLiteral("动作 = ?"), {filter.action});
    if (!filter.subject.isEmpty())
        narrow(QStringLiteral("(对象 LIKE ? ESCAPE '\\' OR 详情 LIKE ? ESCAPE '\\')"),
               {likePart(filter.subject), likePart(filter.subject)});
    sql += QStringLiteral(" ORDER BY 序号 DESC LIMIT ?");
    params << filter.limit;
    QList<LogRow> rows;
    const bool read = db.query(sql, params, [&](const Row& r) {
        rows.append({r.integer(0), r.text(1), r.text(2), r.text(3), r.text(4), r.text(5), r.text(6), {}});
        return true;
    });
    if (ok)
        *ok = read;
    return rows;
}

QStringList distinctValues(Database& db, const QString& column)
{
    QStringList values;
    if (column != QStringLiteral("操作员") && column != QStringLiteral("动作"))
        return values; // only these two are offered; never a column name from elsewhere
    db.query(QStringLiteral("SELECT DISTINCT ") + column + QStringLiteral(" FROM 操作日志 ORDER BY 1"), {},
             [&](const Row& r) {
                 values << r.text(0);
                 return true;
             });
    return values;
}

} // namespace k27::audit
