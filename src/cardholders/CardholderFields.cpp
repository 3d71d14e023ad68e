#include "CardholderFields.h"

#include "startup/TextUtil.h"

namespace k27 {

namespace {
QString orNotFilledIn(const QString& text)
{
    const QString trimmed = trimSpaces(text);
    return trimmed.isEmpty() ? QStringLiteral("未填写") : trimmed;
}
} // namespace

CardholderFields CardholderFields::forInsert(const QString& automaticName) const
{
    return {name.isEmpty() ? automaticName : trimSpaces(name),
            gender,
            orNotFilledIn(department),
            orNotFilledIn(position),
            orNotFilledIn(address),
            orNotFilledIn(phone)};
}

CardholderFields CardholderFields::forUpdate() const
{
    return {trimSpaces(name),    gender,           trimSpaces(department), trimSpaces(position),
            trimSpaces(address), trimSpaces(phone)};
}

int CardholderFields::firstEmptyField(Field* field) const
{
    const struct
    {
        const QString& text;
        Field which;
        int message;
    } required[] = {
        {name, Name, 40},       {department, Department, 42}, {position, Position, 43},
        {address, Address, 44}, {phone, Phone, 45},
    };
    for (const auto& r : required) {
        if (r.text.isEmpty()) {
            if (field)
                *field = r.which;
            return r.message;
        }
    }
    return 0;
}

} // namespace k27
