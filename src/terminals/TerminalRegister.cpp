#include "TerminalRegister.h"

#include "audit/AuditTrail.h"
#include "db/Database.h"
#include "startup/TextUtil.h"

#include <algorithm>
#include <cmath>

namespace k27 {

qint64 TerminalRegister::numberOf(const QString& text)
{
    constexpr double Limit = 9007199254740992.0; // 2^53
    const double value = std::trunc(leadingNumber(text));
    if (!std::isfinite(value))
        return 0;
    return qint64(std::clamp(value, -Limit, Limit));
}

bool TerminalRegister::exists(qint64 number)
{
    return m_db.exists(QStringLiteral("select 1 from 终端机 where 终端机号 = ?"), {number});
}

bool TerminalRegister::insert(qint64 number, const QString& address)
{
    audit::Scope logged(m_db);
    const bool stored = logged.ok()
                        && m_db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (?, ?)"),
                                     {number, address});
    m_duplicate = !stored && m_db.lastErrorDuplicateKey();
    return stored
           && logged.commit(audit::Action::TerminalAdd, QString::number(number), QStringLiteral("地址: ") + address);
}

bool TerminalRegister::read(qint64 number, QString* address, qint64* version)
{
    bool found = false;
    m_db.query(QStringLiteral("select 地址, coalesce(版本, 0) from 终端机 where 终端机号 = ?"), {number},
               [&](const Row& r) {
                   found = true;
                   *address = r.text(0);
                   *version = r.integer(1);
                   return false;
               });
    return found;
}

bool TerminalRegister::updateAddress(qint64 number, const QString& address, qint64 readVersion)
{
    m_changedElsewhere = false;
    const QString old = m_db.scalar(QStringLiteral("select 地址 from 终端机 where 终端机号 = ?"), {number}).toString();
    audit::Scope logged(m_db);
    const bool checked = readVersion >= 0;
    if (!logged.ok()
        || !m_db.exec(QStringLiteral("update 终端机 set 地址 = ? where 终端机号 = ?")
                          + (checked ? QStringLiteral(" and coalesce(版本, 0) = ?") : QString()),
                      checked ? QVariantList{address, number, readVersion} : QVariantList{address, number}))
        return false;
    if (checked && m_db.changes() == 0) {
        m_changedElsewhere = true;
        return false;
    }
    // An address saved unchanged, or a number not stored, changes nothing and leaves no row.
    return m_db.changes() == 0 || old == address
               ? logged.commit()
               : logged.commit(audit::Action::TerminalChange, QString::number(number),
                               audit::changes({QStringLiteral("地址")}, {old}, {address}));
}

bool TerminalRegister::remove(qint64 number)
{
    audit::Scope logged(m_db);
    if (!logged.ok() || !m_db.exec(QStringLiteral("delete from 终端机 where 终端机号 = ?"), {number}))
        return false;
    return m_db.changes() == 0 ? logged.commit()
                               : logged.commit(audit::Action::TerminalDelete, QString::number(number),
                                               QStringLiteral("rows: %1").arg(m_db.changes()));
}

} // namespace k27
