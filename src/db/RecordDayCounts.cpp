#include "RecordDayCounts.h"

#include "db/Database.h"

#include <QString>
#include <QStringList>

namespace k27::dayCounts {

QString slotColumn(int s)
{
    return QStringLiteral("h%1").arg(s, 2, 10, QLatin1Char('0'));
}

QString allSlots()
{
    QStringList columns;
    for (int s = 0; s < Slots; ++s)
        columns << slotColumn(s);
    return columns.join(u'+');
}

namespace {

QString hourColumns(const QString& pattern)
{
    QStringList parts;
    for (int s = 0; s < Slots; ++s)
        parts << QString(pattern)
                     .replace(QStringLiteral("%h"), slotColumn(s))
                     .replace(QStringLiteral("%s"), QString::number(s));
    return parts.join(QStringLiteral(", "));
}

// Adds (sign "+") or takes away ("-") the record `row` (NEW or OLD) where it has a card. (The
// embedded engine knows no "insert or add": the day's row is made first, then counted in.)
QString change(const Database& db, const QString& row, const char* sign)
{
    const QString time = row + QStringLiteral(".进出时间");
    const QString dayOf = day(db, time);
    const QString terminal = QStringLiteral("ifnull(%1.终端机号, x'')").arg(row);
    const QString hasCard = QStringLiteral("%1.卡号 IS NOT NULL").arg(row);
    QString sql;
    if (*sign == '+')
        sql = QStringLiteral("INSERT OR IGNORE INTO 进出记录_日计数 (日, 终端机号) SELECT %1, %2 WHERE %3;")
                  .arg(dayOf, terminal, hasCard);
    const QString hourOf = slot(time);
    QStringList set;
    for (int s = 0; s < Slots; ++s)
        set << QStringLiteral("h%1 = h%1 %2 (%3 = %4)")
                   .arg(s, 2, 10, QLatin1Char('0'))
                   .arg(QLatin1String(sign), hourOf)
                   .arg(s);
    return sql + QStringLiteral("UPDATE 进出记录_日计数 SET ") + set.join(QStringLiteral(", "))
           + QStringLiteral(" WHERE 日 = %1 AND 终端机号 = %2 AND %3;").arg(dayOf, terminal, hasCard);
}

} // namespace

QString day(const Database& db, const QString& column)
{
    // (The embedded file keeps whatever type a time was written with: a number is no day.)
    if (db.isServer())
        return QStringLiteral("coalesce(substr(%1, 1, 10), '')").arg(column);
    return QStringLiteral("CASE WHEN typeof(%1) = 'text' THEN substr(%1, 1, 10) ELSE '' END").arg(column);
}

QString slot(const QString& column)
{
    return QStringLiteral("CASE WHEN substr(%1, 11, 1) = ' ' AND substr(%1, 12, 1) BETWEEN '0' AND '2'"
                          " AND substr(%1, 13, 1) BETWEEN '0' AND '9' AND substr(%1, 12, 2) <= '23'"
                          " THEN CAST(substr(%1, 12, 2) AS INTEGER) ELSE 24 END")
        .arg(column);
}

bool ensure(Database& db, const Step& step, qint64 portion)
{
    const QString table = QString::fromUtf8(Table);
    if (db.isServer() || db.hasTable(table) || !db.hasTable(QStringLiteral("进出记录")))
        return !db.isServer() && db.hasTable(table);
    // The terminal column keeps the record's value as it is (no type of its own); a record
    // without a terminal is counted under an empty blob, which no record holds. Each portion's
    // counts go to a list of their own, summed into the table at the end (a day can lie in two
    // portions, and this engine has no "insert or add").
    const QString portionFill = QStringLiteral("INSERT INTO temp.日计数_部分 SELECT d, t, ")
                                + hourColumns(QStringLiteral("sum(s = %s)"))
                                + QStringLiteral(
                                      " FROM (SELECT %1 AS d, ifnull(终端机号, x'') AS t, %2 AS s FROM 进出记录"
                                      " WHERE 卡号 IS NOT NULL AND ID >= ? AND ID < ?) GROUP BY d, t")
                                      .arg(day(db, QStringLiteral("进出时间")), slot(QStringLiteral("进出时间")));
    const QString sum = QStringLiteral("INSERT INTO 进出记录_日计数 (日, 终端机号, ")
                        + hourColumns(QStringLiteral("%h")) + QStringLiteral(") SELECT d, t, ")
                        + hourColumns(QStringLiteral("sum(%h)"))
                        + QStringLiteral(" FROM temp.日计数_部分 GROUP BY d, t");
    bool ok = db.exec(QStringLiteral("SAVEPOINT 日计数"))
              && db.execScript(
                  QStringLiteral("CREATE TABLE 进出记录_日计数 (日 TEXT NOT NULL, 终端机号 NOT NULL, ")
                  + hourColumns(QStringLiteral("%h INTEGER NOT NULL DEFAULT 0"))
                  + QStringLiteral(", PRIMARY KEY (日, 终端机号)) WITHOUT ROWID;"
                                   "CREATE TRIGGER 进出记录_日计数_加 AFTER INSERT ON 进出记录 BEGIN ")
                  + change(db, QStringLiteral("NEW"), "+")
                  + QStringLiteral(" END; CREATE TRIGGER 进出记录_日计数_删 AFTER DELETE ON 进出记录 BEGIN ")
                  + change(db, QStringLiteral("OLD"), "-")
                  + QStringLiteral(" END; CREATE TRIGGER 进出记录_日计数_改 AFTER UPDATE OF 卡号, 进出时间, 终端机号"
                                   " ON 进出记录 BEGIN ")
                  + change(db, QStringLiteral("OLD"), "-") + change(db, QStringLiteral("NEW"), "+")
                  + QStringLiteral(" END;"));
    // (Each end of the ID index is one step.)
    const qint64 first = ok ? db.scalar(QStringLiteral("SELECT min(ID) FROM 进出记录")).toLongLong() : 0;
    const qint64 last = ok ? db.scalar(QStringLiteral("SELECT max(ID) FROM 进出记录")).toLongLong() : -1;
    ok = ok
         && db.exec(QStringLiteral("CREATE TEMP TABLE 日计数_部分 (d, t, ") + hourColumns(QStringLiteral("%h"))
                    + QStringLiteral(")"));
    portion = qMax<qint64>(1, portion);
    for (qint64 from = first; ok && from <= last; from += portion) {
        const qint64 to = qMin(last, from + portion - 1);
        ok = db.exec(portionFill, {from, to + 1});
        // (The sum at the end is the last twentieth.)
        if (ok && step && !step(int(950 * double(to - first + 1) / double(last - first + 1))))
            ok = false;
    }
    ok = ok && db.exec(sum);
    db.exec(QStringLiteral("DROP TABLE IF EXISTS temp.日计数_部分"));
    if (!ok)
        db.exec(QStringLiteral("ROLLBACK TO 日计数"));
    db.exec(QStringLiteral("RELEASE 日计数"));
    return ok;
}

} // namespace k27::dayCounts
