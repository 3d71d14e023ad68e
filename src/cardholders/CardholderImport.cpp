#include "CardholderImport.h"
#include "db/CardholderKey.h"

#include "startup/LanguageTable.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

namespace k27 {

namespace {

enum Column { Name, Gender, Department, Position, Address, Phone, Card, Terminals, Validity };

ImportEngine::Table cardholderTable()
{
    return {QStringLiteral("用户信息"),
            {QStringLiteral("姓名"), QStringLiteral("电话")},
            cardholderKeyCondition(),
            {QStringLiteral("性别"), QStringLiteral("部门"), QStringLiteral("职位"), QStringLiteral("住址"),
             QStringLiteral("卡号"), QStringLiteral("权限终端机"), QStringLiteral("时间期限")},
            CardholderImport::MinimumColumns,
            {500, 100, CardholderImport::ProgressStep, 8000},
            true};
}

bool readCardholder(const QStringList& line, ImportRow* row)
{
    QString v[CardholderImport::MinimumColumns];
    for (int c = 0; c < CardholderImport::MinimumColumns; ++c)
        v[c] = TrimAtNul(line.value(c));
    if (v[Name].isEmpty() || v[Phone].isEmpty())
        return false;
    row->key = {v[Name], v[Phone]};
    // An import stores the name as an add does, with one blank after it.
    row->insertKey = {v[Name] + QLatin1Char(' '), v[Phone]};
    row->values = {v[Gender], v[Department], v[Position], v[Address], v[Card], v[Terminals], v[Validity]};
    row->shownKey = v[Name];
    return true;
}

} // namespace

CardholderImport::CardholderImport(Database& db, const LanguageTable& language)
    : ImportEngine(db, cardholderTable(), &readCardholder)
{
    setQuestion(overwriteQuestion(language, Msg::OverwriteCardholderStart,
                                  {Msg::HeaderSex, Msg::HeaderDepartment, Msg::HeaderPosition, Msg::HeaderAddress,
                                   Msg::HeaderCard, Msg::HeaderTerminals, Msg::HeaderValidity}));
}

} // namespace k27
