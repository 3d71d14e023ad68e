#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace k27 {

class Database;

// One row of the operator table 用户表.
struct OperatorRecord
{
    QString name;
    QString password; // stored form (hash), empty for the empty password
    bool administrator = false;
    QString mark;
};

// Operators in table order.
QList<OperatorRecord> loadOperators(Database& db);
// The first row with this name, in table order.
std::optional<OperatorRecord> findOperator(Database& db, const QString& name);
bool addOperator(Database& db, const OperatorRecord& record);
// Sets rank and remark of the first row with this name; false when there is none.
// With a `readVersion` (>= 0) only while the row is still at that version: otherwise nothing
// is written and *changedElsewhere is set.
bool changeOperator(Database& db, const QString& name, bool administrator, const QString& mark, qint64 readVersion = -1,
                    bool* changedElsewhere = nullptr);
// The version of the first row with this name (-1 when none, or the register keeps none).
qint64 operatorVersion(Database& db, const QString& name);
// Deletes every row with this name.
bool removeOperators(Database& db, const QString& name);
// Each change above is written with its row in the operator log, in one transaction.
// Sets the stored password of the first row with this name; false when no row was changed.
bool setOperatorPassword(Database& db, const QString& name, const QString& storedPassword);

} // namespace k27
