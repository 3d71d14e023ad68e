#include "OperatorTable.h"

#include "audit/AuditTrail.h"
#include "db/Database.h"

namespace k27 {

static OperatorRecord fromRow(const Row& r)
{
    return {r.text(0), r.text(1), r.integer(2) != 0, r.text(3)};
}

QList<OperatorRecord> loadOperators(Database& db)
{
    QList<OperatorRecord> out;
    db.query(QStringLiteral("SELECT name, Password, userrote, mark FROM 用户表 ORDER BY rowid"), {}, [&](const Row& r) {
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

static QString rank(bool administrator)
{
    return administrator ? QStringLiteral("administrator") : QStringLiteral("operator");
}

bool addOperator(Database& db, const OperatorRecord& record)
{
    // The log names the rank and remark, never the password or its hash.
    audit::Scope logged(db);
    return logged.ok()
           && db.exec(QStringLiteral("INSERT INTO 用户表 (name, Password, userrote, mark) VALUES (?, ?, ?, ?)"),
                      {record.name, record.password, record.administrator, record.mark})
           && logged.commit(audit::Action::OperatorAdd, record.name,
                            QStringLiteral("rank: %1; remark: %2").arg(rank(record.administrator), record.mark));
}

qint64 operatorVersion(Database& db, const QString& name)
{
    const QVariant version = db.scalar(
        QStringLiteral("SELECT coalesce(版本, 0) FROM 用户表 WHERE name = ? ORDER BY rowid LIMIT 1"), {name});
    return version.isValid() && !version.toString().isEmpty() ? version.toLongLong() : -1;
}

bool changeOperator(Database& db, const QString& name, bool administrator, const QString& mark, qint64 readVersion,
                    bool* changedElsewhere)
{
    const std::optional<OperatorRecord> old = findOperator(db, name);
    audit::Scope logged(db);
    const bool checked = readVersion >= 0;
    QVariantList params{administrator, mark, name};
    if (checked)
        params << readVersion;
    if (!old || !logged.ok()
        || !db.exec(QStringLiteral("UPDATE 用户表 SET userrote = ?, mark = ? WHERE rowid = "
                                   "(SELECT rowid FROM 用户表 WHERE name = ? ORDER BY rowid LIMIT 1)")
                        + (checked ? QStringLiteral(" AND coalesce(版本, 0) = ?") : QString()),
                    params))
        return false;
    if (checked && db.changes() == 0) {
        if (changedElsewhere)
            *changedElsewhere = true;
        return false;
    }
    return logged.commit(audit::Action::OperatorChange, name,
                         audit::changes({QStringLiteral("rank"), QStringLiteral("remark")},
                                        {rank(old->administrator), old->mark}, {rank(administrator), mark}));
}

bool removeOperators(Database& db, const QString& name)
{
    audit::Scope logged(db);
    if (!logged.ok() || !db.exec(QStringLiteral("DELETE FROM 用户表 WHERE name = ?"), {name}))
        return false;
    const int rows = db.changes();
    return rows == 0 || logged.commit(audit::Action::OperatorDelete, name, QStringLiteral("rows: %1").arg(rows));
}

bool setOperatorPassword(Database& db, const QString& name, const QString& storedPassword)
{
    audit::Scope logged(db);
    return logged.ok()
           && db.exec(QStringLiteral("UPDATE 用户表 SET Password = ? WHERE rowid = "
                                     "(SELECT rowid FROM 用户表 WHERE name = ? ORDER BY rowid LIMIT 1)"),
                      {storedPassword, name})
           && db.changes() == 1 && logged.commit(audit::Action::OperatorPassword, name);
}

} // namespace k27
