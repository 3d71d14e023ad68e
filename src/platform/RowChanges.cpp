#include "RowChanges.h"

namespace k27 {

QList<FieldChange> changedFields(const QStringList& captions, const QStringList& stored, const QStringList& incoming)
{
    QList<FieldChange> changes;
    for (int i = 0; i < captions.size(); ++i)
        if (stored.value(i) != incoming.value(i))
            changes.append({captions[i], stored.value(i), incoming.value(i)});
    return changes;
}

QString describeChanges(const QList<FieldChange>& changes, const QString& heading, const QString& empty,
                        const QString& none)
{
    if (changes.isEmpty())
        return none;
    QString text = heading;
    const auto shown = [&](const QString& value) { return value.isEmpty() ? empty : value; };
    for (const FieldChange& c : changes)
        text += u'\n' + c.caption + QStringLiteral(": ") + shown(c.stored) + QStringLiteral(" → ") + shown(c.incoming);
    return text;
}

} // namespace k27
