#include "OperatorAccounts.h"

#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "signin/OperatorTable.h"
#include "platform/ProcessSafety.h"
#include "signin/PasswordHash.h"
#include "startup/LanguageTable.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

#include <QCoreApplication>

namespace k27 {

OperatorAccounts::OperatorAccounts(DatabaseSession& databases, const LanguageTable& language)
    : m_databases(databases), m_language(language)
{
}

QString OperatorAccounts::rightsText(bool administrator) const
{
    return m_language.message(administrator ? Msg::Administrator : Msg::OrdinaryOperator);
}

bool OperatorAccounts::isAdministratorText(const QString& rightsText) const
{
    const QString marker = m_language.message(Msg::AdministratorMarker);
    return !marker.isEmpty() && rightsText.contains(marker);
}

QList<OperatorListRow> OperatorAccounts::list() const
{
    QList<OperatorListRow> rows;
    Database* db = m_databases.window();
    if (!db)
        return rows;
    for (const OperatorRecord& op : loadOperators(*db))
        rows.append({op.name, rightsText(op.administrator), op.mark});
    return rows;
}

int OperatorAccounts::add(const OperatorInput& input, OperatorListRow* row) const
{
    const QString name = trimSpaces(input.name);
    // A name of blanks only would be stored as an empty name: refuse it like an empty one.
    if (name.isEmpty())
        return AddEmptyName;
    if (input.password != input.confirmation)
        return PasswordsDiffer;
    QString password = trimSpaces(input.password);
    const QString stored = hashPassword(password);
    const bool emptyPassword = password.isEmpty();
    wipe(password);
    // A password that could not be hashed must not become the empty password.
    if (!emptyPassword && stored.isEmpty())
        return NotStored;

    Database* db = m_databases.window();
    if (!db)
        return NotStored;
    if (findOperator(*db, name))
        return NameExists;
    const QString mark = trimSpaces(input.mark);
    // Another desk may add the same name at the same time: the register keeps it once.
    if (!addOperator(*db, {name, stored, input.administrator, mark}))
        return db->lastErrorDuplicateKey() ? NameExists : NotStored;
    if (row)
        *row = {name, rightsText(input.administrator), mark};
    return Done;
}

qint64 OperatorAccounts::version(const QString& typedName, OperatorListRow* row) const
{
    const QString name = trimSpaces(typedName);
    Database* db = m_databases.window();
    if (!db)
        return -1;
    const std::optional<OperatorRecord> found = findOperator(*db, name);
    if (found && row)
        *row = {found->name, rightsText(found->administrator), found->mark};
    return found ? operatorVersion(*db, name) : -1;
}

int OperatorAccounts::change(const QString& typedName, bool administrator, const QString& typedMark,
                             OperatorListRow* row, qint64 readVersion) const
{
    const QString name = trimSpaces(typedName);
    if (name.isEmpty())
        return ChangeEmptyName;
    Database* db = m_databases.window();
    if (!db)
        return NotStored;
    if (!findOperator(*db, name))
        return ChangeUnknownName;
    const QString mark = trimSpaces(typedMark);
    bool elsewhere = false;
    if (!changeOperator(*db, name, administrator, mark, readVersion, &elsewhere)) {
        if (elsewhere)
            version(name, row);
        return elsewhere ? ChangedElsewhere : NotStored;
    }
    if (row)
        *row = {name, rightsText(administrator), mark};
    return Done;
}

OperatorAccounts::DeleteResult OperatorAccounts::remove(const QStringList& names, const QString& signedInName,
                                                        const std::function<void(int, bool)>& handled) const
{
    DeleteResult result;
    Database* db = m_databases.window();
    for (int i = 0; i < names.size(); ++i) {
        const QString name = trimSpaces(names[i]);
        if (name == signedInName) {
            result.message = DeleteSignedIn;
            break;
        }
        const bool deleted = db && removeOperators(*db, name);
        if (deleted && !result.deletedNames.contains(name))
            result.deletedNames << name;
        if (handled)
            handled(i, deleted);
        QCoreApplication::processEvents();
    }
    return result;
}

} // namespace k27
