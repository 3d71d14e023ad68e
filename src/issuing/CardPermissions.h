#pragma once

#include "issuing/TerminalTexts.h"

#include <QString>

namespace k27 {

// The two parallel column texts of a cardholder, 权限终端机 and 时间期限: every entry
// followed by "、", the k-th validity text belonging to the k-th terminal.
struct CardPermissions
{
    QString terminals;
    QString validity;

    bool operator==(const CardPermissions&) const = default;
};

// After an issue frame: the terminals of the frame (those with a text in `validityText`)
// carry their new validity, the holder's other terminals keep the stored one. The result
// is sorted by terminal number; stored entries whose number is not 0..500 are dropped.
CardPermissions mergeIssued(const QString& storedTerminals, const QString& storedValidity,
                            const TerminalTexts& validityText);

// After a restore frame: the stored entries of the restored terminals are removed, the
// others keep their stored order.
CardPermissions mergeRestore(const QString& storedTerminals, const QString& storedValidity,
                             const TerminalTexts& restoreList);

// True when the holder already has a card number and it is not the one just written:
// the new card must not be recorded for him.
bool isCardMismatch(const QString& storedCardNumber, const QString& cardNumberText);

} // namespace k27
