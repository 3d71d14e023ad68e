#include "OperatorTable.h"

#include "db/Database.h"

namespace k27 {

static OperatorRecord fromRow(const Row& r)
{
    return {r.text(0), r.text(1), r.integer(2) != 0, r.text(3)};
}

QList<OperatorRecord> loadOperators(Database& db)
{
    QList<OperatorRecord> out;
    db.query(QStringLiteral("SELECT name, Password, userrote, mark FROM 用户表 ORDER BY rowid"), {},
             [&](const Row& r) {
                 out.append(fromRow(r));
                 return true;
             });
    return out;
}

std::optional<OperatorRecord> findOperator(Database& db, const QString& name)
{
    std::optional<OperatorRecord> found;
    db.query(QStringLiteral("SELECT name, Password, userrote, mark FROM 用户表 WHERE name = ? ORDER BY rowid LIMIT 1"),
             {name}, [&](const Row& r) {
                 found = fromRow(r);
                 return false;
             });
    return found;
}

bool addOperator(Database& db, const OperatorRecord& record)
{
    return db.exec(QStringLiteral("INSERT INTO 用户表 (name, Password, userrote, mark) VALUES (?, ?, ?, ?)"),
                   {record.name, record.password, record.administrator, record.mark});
}

bool setOperatorPassword(Database& db, const QString& name, const QString& storedPassword)
{
    return db.exec(QStringLiteral("UPDATE 用户表 SET Password = ? WHERE rowid = "
                                  "(SELECT rowid FROM 用户表 WHERE name = ? ORDER BY rowid LIMIT 1)"),
                   {storedPassword, name})
        && db.changes() == 1;
}

} // namespace k27
