#pragma once

#include "issuing/TerminalTexts.h"

#include <QString>

namespace k27 {

class Database;

enum class ApplyOutcome {
    Written,  // 卡号, 权限终端机 and 时间期限 written
    NotFound, // no cardholder with that name and phone: nothing written
    Mismatch, // the holder has another card number (message 99): nothing written
    Failed,   // the database refused the read or the write: nothing written
};

// Records a written card for the cardholder (name, phone) selected on the issuing page:
// the card number and the frame's terminals merged with the stored ones (mergeIssued, or
// mergeRestore when `restore`). Name and phone are trimmed; names stored with the
// inserts' trailing blank are found, and quotes in either need no care. With a `holderId` (> 0)
// the holder is that row whatever its name and phone are now: another desk may have renamed
// it, or given its old name to someone else, since this desk's list was read.
ApplyOutcome ApplyIssuedCard(Database& db, const QString& name, const QString& phone, const QString& cardNumberText,
                             bool restore, const TerminalTexts& validityText, const TerminalTexts& restoreList,
                             qint64 holderId = 0);

} // namespace k27
