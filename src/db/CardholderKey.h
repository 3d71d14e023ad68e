#pragma once

#include <QString>

namespace k27 {

// A cardholder is the pair (name, phone). Adds store "name " with one blank, changes store the
// name trimmed, imports whatever they read: every lookup compares both sides trimmed, with
// the trimmed name and phone bound in this order.
inline QString cardholderKeyCondition()
{
    return QStringLiteral(" where trim(姓名) = ? and trim(电话) = ?");
}

} // namespace k27
