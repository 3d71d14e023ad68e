#include "issuing/ApplyIssuedCard.h"

#include "db/CardholderKey.h"

#include "audit/AuditTrail.h"
#include "db/Database.h"
#include "issuing/CardPermissions.h"
#include "startup/TextUtil.h"

#include <optional>

namespace k27 {

namespace {

struct HolderRow
{
    qint64 id = 0;
    QString cardNumber;
    QString terminals;
    QString validity;
};

// An emptied list is stored as the empty text, not as Null: the lists read a Null
// permission column as "never issued".
QString stored(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

} // namespace

ApplyOutcome ApplyIssuedCard(Database& db, const QString& name, const QString& phone, const QString& cardNumberText,
                             bool restore, const TerminalTexts& validityText, const TerminalTexts& restoreList,
                             qint64 holderId)
{
    std::optional<HolderRow> holder;
    const bool read = db.query(
        QStringLiteral("select ID, 卡号, 权限终端机, 时间期限 from 用户信息")
            + (holderId > 0 ? QStringLiteral(" where ID = ?")
                            : cardholderKeyCondition() + QStringLiteral(" order by ID limit 1")),
        holderId > 0 ? QVariantList{holderId} : QVariantList{trimSpaces(name), trimSpaces(phone)}, [&](const Row& row) {
            holder = HolderRow{row.integer(0), row.text(1), row.text(2), row.text(3)};
            return false;
        });
    if (!read)
        return ApplyOutcome::Failed;
    if (!holder)
        return ApplyOutcome::NotFound;
    if (isCardMismatch(holder->cardNumber, cardNumberText))
        return ApplyOutcome::Mismatch;

    const CardPermissions merged = restore ? mergeRestore(holder->terminals, holder->validity, restoreList)
                                           : mergeIssued(holder->terminals, holder->validity, validityText);
    audit::Scope logged(db);
    const bool written =
        logged.ok()
        && db.exec(QStringLiteral("update 用户信息 set 卡号 = ?1, 权限终端机 = ?2, 时间期限 = ?3 where ID = ?4"),
                   {stored(cardNumberText), stored(merged.terminals), stored(merged.validity), holder->id})
        && logged.commit(
            audit::Action::CardReply, trimSpaces(name) + QLatin1Char(' ') + trimSpaces(phone),
            QStringLiteral("card written: %1; ").arg(cardNumberText)
                + audit::changes({QStringLiteral("卡号"), QStringLiteral("权限终端机"), QStringLiteral("时间期限")},
                                 {holder->cardNumber, holder->terminals, holder->validity},
                                 {stored(cardNumberText), stored(merged.terminals), stored(merged.validity)}));
    return written ? ApplyOutcome::Written : ApplyOutcome::Failed;
}

} // namespace k27
