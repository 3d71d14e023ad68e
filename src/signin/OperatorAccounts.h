#pragma once

#include "startup/Messages.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace k27 {

class DatabaseSession;
class LanguageTable;

// One row of the operator list: name, rights text, remark.
struct OperatorListRow
{
    QString name;
    QString rights;
    QString mark;
    bool operator==(const OperatorListRow&) const = default;
};

// What the operator typed into the account fields, as typed.
struct OperatorInput
{
    QString name;
    QString password;
    QString confirmation;
    bool administrator = false;
    QString mark;
};

// The operator accounts of the table 用户表: the checks and the statements behind the
// operator list of the settings page, on the window's connection.
// Outcomes are message numbers (0 = done); names go in as bound values, so quotes and
// wildcard characters in names are ordinary characters.
class OperatorAccounts
{
public:
    enum Message {
        Done = 0,
        AddEmptyName = Msg::AddOperatorEmptyName,
        PasswordsDiffer = Msg::OperatorPasswordsDiffer,
        NameExists = Msg::OperatorNameExists,
        ChangeEmptyName = Msg::ChangeOperatorEmptyName,
        ChangeUnknownName = Msg::ChangeOperatorUnknown,
        DeleteSignedIn = Msg::DeleteSignedInOperator,
        ChangedElsewhere = Msg::RowChangedElsewhere, // changed by another desk since it was read
        NotStored = -1,                              // the database refused the statement; nothing is reported
    };

    OperatorAccounts(DatabaseSession& databases, const LanguageTable& language);

    // Message 62 for an administrator, 63 for an ordinary operator.
    QString rightsText(bool administrator) const;
    // A list row counts as administrator when message 73 occurs in its rights text.
    bool isAdministratorText(const QString& rightsText) const;

    // All operators in table order.
    QList<OperatorListRow> list() const;

    // Adds an operator. The name and remark are stored trimmed, the password as the salted
    // hash of the trimmed text (empty password: empty text). *row receives the list row.
    int add(const OperatorInput& input, OperatorListRow* row = nullptr) const;

    // Sets rights and remark of the first operator with this (trimmed) name; name and
    // password stay. *row receives the changed list row.
    // With a `readVersion` (>= 0, from version()) only while nobody changed the row since; then
    // *row receives the row as it is now.
    int change(const QString& name, bool administrator, const QString& mark, OperatorListRow* row = nullptr,
               qint64 readVersion = -1) const;
    // The version of the operator's row now (-1: none), and its list row in *row.
    qint64 version(const QString& name, OperatorListRow* row = nullptr) const;

    struct DeleteResult
    {
        int message = Done;       // Done, or DeleteSignedIn when the run stopped at him
        QStringList deletedNames; // every name whose rows were deleted
    };
    // Deletes the operators of the selected list rows, in order, each by its trimmed name
    // (operators sharing a name go together). Stops at the signed-in operator: the rows
    // before him stay deleted. `handled(i, deleted)` runs after each row i.
    DeleteResult remove(const QStringList& names, const QString& signedInName,
                        const std::function<void(int, bool)>& handled = {}) const;

private:
    DatabaseSession& m_databases;
    const LanguageTable& m_language;
};

} // namespace k27
