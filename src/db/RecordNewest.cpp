#include "RecordNewest.h"

#include "db/Database.h"

#include <QString>
#include <QVariant>

namespace k27::newestRecords {

namespace {

// The newest timed record of card `card` (an expression) as a row of the table: one step into
// the card-and-time index, backwards from the card's end.
QString newestOf(const QString& card)
{
    return QStringLiteral("(SELECT ID FROM 进出记录 WHERE 卡号 = %1 AND 进出时间 IS NOT NULL"
                          " ORDER BY 进出时间 DESC, ID DESC LIMIT 1)")
        .arg(card);
}

// The record NEW taken in where it is newer than its card's row (the row is made first).
const QString Add = QStringLiteral(
    "INSERT OR IGNORE INTO 进出记录_最近 SELECT NEW.卡号, NEW.进出时间, NEW.ID, NEW.终端机号"
    " WHERE NEW.卡号 IS NOT NULL AND NEW.进出时间 IS NOT NULL;"
    "UPDATE 进出记录_最近 SET 进出时间 = NEW.进出时间, ID = NEW.ID, 终端机号 = NEW.终端机号"
    " WHERE 卡号 = NEW.卡号 AND NEW.进出时间 IS NOT NULL AND (NEW.进出时间, NEW.ID) > (进出时间, ID);");

// The record OLD given up: where it was its card's newest, the card's next one takes its place
// (none left: the card has no row).
QString drop()
{
    return QStringLiteral("DELETE FROM 进出记录_最近 WHERE 卡号 = OLD.卡号 AND ID = OLD.ID;"
                          "INSERT INTO 进出记录_最近 SELECT 卡号, 进出时间, ID, 终端机号 FROM 进出记录 WHERE ID = ")
           + newestOf(QStringLiteral("OLD.卡号"))
           + QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM 进出记录_最近 WHERE 卡号 = OLD.卡号);");
}

} // namespace

bool ensure(Database& db, const std::function<bool(int permille)>& step, int portion)
{
    const QString table = QString::fromUtf8(Table);
    if (db.isServer() || db.hasTable(table) || !db.hasTable(QStringLiteral("进出记录"))
        || !db.hasTable(QStringLiteral("进出记录_卡号")))
        return !db.isServer() && db.hasTable(table);
    // Time and terminal keep the record table's column types, so that both compare alike.
    bool ok = db.exec(QStringLiteral("SAVEPOINT 最近"))
              && db.execScript(
                  QStringLiteral("CREATE TABLE 进出记录_最近 (卡号 VARCHAR(15) PRIMARY KEY, 进出时间 DATETIME NOT NULL,"
                                 " ID INTEGER NOT NULL, 终端机号 INT) WITHOUT ROWID;"
                                 "CREATE TRIGGER 进出记录_最近_加 AFTER INSERT ON 进出记录 BEGIN ")
                  + Add + QStringLiteral(" END; CREATE TRIGGER 进出记录_最近_删 AFTER DELETE ON 进出记录 BEGIN ")
                  + drop()
                  + QStringLiteral(" END; CREATE TRIGGER 进出记录_最近_改 AFTER UPDATE OF 卡号, 进出时间, 终端机号"
                                   " ON 进出记录 BEGIN ")
                  + drop() + Add + QStringLiteral(" END;"));
    // The cards of the list in their order, a portion at a time: each portion ends at its last
    // card, and the next begins above it.
    const qint64 cards = ok ? db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录_卡号")).toLongLong() : 0;
    const QString fill = QStringLiteral("INSERT INTO 进出记录_最近 SELECT r.卡号, r.进出时间, r.ID, r.终端机号 FROM"
                                        " 进出记录_卡号 c JOIN 进出记录 r ON r.ID = ")
                         + newestOf(QStringLiteral("c.卡号")) + QStringLiteral(" WHERE c.卡号 <= ?");
    portion = qMax(1, portion);
    QVariant after; // none yet: from the first card
    for (qint64 done = 0; ok;) {
        QVariant end;
        qint64 taken = 0;
        const QString above = after.isValid() ? QStringLiteral(" WHERE 卡号 > ?") : QString();
        const QVariantList from = after.isValid() ? QVariantList{after} : QVariantList{};
        ok = db.query(QStringLiteral("SELECT 卡号 FROM 进出记录_卡号") + above
                          + QStringLiteral(" ORDER BY 卡号 LIMIT ?"),
                      from + QVariantList{portion}, [&](const Row& row) {
                          end = row.value(0);
                          ++taken;
                          return true;
                      });
        if (!ok || taken == 0)
            break;
        ok = db.exec(fill + (after.isValid() ? QStringLiteral(" AND c.卡号 > ?") : QString()),
                     QVariantList{end} + from);
        after = end;
        done += taken;
        if (ok && step && !step(int(1000 * qMin(cards, done) / qMax<qint64>(1, cards))))
            ok = false;
    }
    if (!ok)
        db.exec(QStringLiteral("ROLLBACK TO 最近"));
    db.exec(QStringLiteral("RELEASE 最近"));
    return ok;
}

} // namespace k27::newestRecords
