#include "issuing/CardPermissions.h"

#include "startup/TextUtil.h"

#include <QStringList>

namespace k27 {

namespace {

const QString Separator = QStringLiteral("、");

struct StoredLists
{
    QStringList terminals;
    QStringList validity;
};

// An empty terminal text gives two empty lists; otherwise both are split at "、".
StoredLists split(const QString& terminals, const QString& validity)
{
    if (trimSpaces(terminals).isEmpty())
        return {};
    return {terminals.split(Separator), validity.split(Separator)};
}

} // namespace

CardPermissions mergeIssued(const QString& storedTerminals, const QString& storedValidity,
                            const TerminalTexts& validityText)
{
    const StoredLists stored = split(storedTerminals, storedValidity);
    TerminalTexts merged = validityText;
    for (int n = 0; n <= MaxRecordedTerminal; ++n) {
        if (!merged[n].isEmpty())
            continue;
        for (qsizetype k = 0; k < stored.terminals.size(); ++k) {
            const QString& t = stored.terminals[k];
            if (!trimSpaces(t).isEmpty() && leadingNumber(t) == n) {
                merged[n] = stored.validity.value(k);
                break;
            }
        }
    }

    CardPermissions out;
    for (int n = 0; n <= MaxRecordedTerminal; ++n) {
        if (trimSpaces(merged[n]).isEmpty())
            continue;
        out.terminals += QString::number(n) + Separator;
        out.validity += merged[n] + Separator;
    }
    return out;
}

CardPermissions mergeRestore(const QString& storedTerminals, const QString& storedValidity,
                             const TerminalTexts& restoreList)
{
    StoredLists stored = split(storedTerminals, storedValidity);
    for (int n = 0; n <= MaxRecordedTerminal; ++n) {
        if (restoreList[n].isEmpty())
            continue;
        for (qsizetype k = 0; k < stored.terminals.size(); ++k) {
            if (leadingNumber(stored.terminals[k]) == n) {
                stored.terminals[k].clear();
                if (k < stored.validity.size())
                    stored.validity[k].clear();
                break;
            }
        }
    }

    CardPermissions out;
    const qsizetype count = qMin(stored.terminals.size(), stored.validity.size());
    for (qsizetype k = 0; k < count; ++k) {
        if (trimSpaces(stored.validity[k]).isEmpty())
            continue;
        out.terminals += stored.terminals[k] + Separator;
        out.validity += stored.validity[k] + Separator;
    }
    return out;
}

bool isCardMismatch(const QString& storedCardNumber, const QString& cardNumberText)
{
    const QString stored = trimSpaces(storedCardNumber);
    return !stored.isEmpty() && stored != cardNumberText;
}

} // namespace k27
