#include "TerminalRegister.h"

#include "db/Database.h"
#include "startup/TextUtil.h"

#include <algorithm>
#include <cmath>

namespace k27 {

qint64 TerminalRegister::numberOf(const QString& text)
{
    constexpr double Limit = 9007199254740992.0;   // 2^53
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
    return m_db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (?, ?)"), {number, address});
}

bool TerminalRegister::updateAddress(qint64 number, const QString& address)
{
    return m_db.exec(QStringLiteral("update 终端机 set 地址 = ? where 终端机号 = ?"), {address, number});
}

bool TerminalRegister::remove(qint64 number)
{
    return m_db.exec(QStringLiteral("delete from 终端机 where 终端机号 = ?"), {number});
}

} // namespace k27
