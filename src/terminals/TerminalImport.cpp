#include "TerminalImport.h"

#include "startup/LanguageTable.h"
#include "startup/Messages.h"
#include "terminals/TerminalRegister.h"

namespace k27 {

namespace {

bool readTerminal(const QStringList& line, ImportRow* row)
{
    const QString first = line.value(0);
    if (first.isEmpty())
        return false;
    row->key = {TerminalRegister::numberOf(first)};
    row->values = {line.value(1)};
    // The question shows the number as the sheet writes it (0012, not 12).
    row->shownKey = first;
    return true;
}

} // namespace

TerminalImport::TerminalImport(Database& db, const LanguageTable& language)
    : ImportEngine(db,
                   // The count moves with every row.
                   {QStringLiteral("终端机"),
                    {QStringLiteral("终端机号")},
                    QStringLiteral(" where 终端机号 = ?"),
                    {QStringLiteral("地址")},
                    MinimumColumns,
                    {500, 100, 1}},
                   &readTerminal)
{
    setQuestion(overwriteQuestion(language, Msg::OverwriteTerminalStart, {Msg::InstallationAddress}));
}

} // namespace k27
