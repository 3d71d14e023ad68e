#pragma once

#include <QString>
#include <QStringList>

namespace k27 {

// The six texts of the edit fields of one cardholder (name, gender, department, position,
// address, phone), as typed or as they are to be stored.
struct CardholderFields
{
    enum Field { Name, Gender, Department, Position, Address, Phone };

    QString name;
    QString gender;
    QString department;
    QString position;
    QString address;
    QString phone;

    // The values an add stores: the automatic name when the name holds no characters at
    // all, else the trimmed name; the gender as chosen; the other four trimmed, "未填写"
    // when nothing is left.
    CardholderFields forInsert(const QString& automaticName) const;
    // The values a change stores: every text but the gender trimmed.
    CardholderFields forUpdate() const;

    // A change needs all five text fields; a field counts as empty only when it holds no
    // characters at all. Returns the message of the first empty one (40, 42, 43, 44, 45),
    // 0 when none is, and in *field which field it was.
    int firstEmptyField(Field* field = nullptr) const;

    // Columns 1 to 6 of the in-memory table.
    QStringList columns() const { return {name, gender, department, position, address, phone}; }
    bool operator==(const CardholderFields&) const = default;
};

} // namespace k27
