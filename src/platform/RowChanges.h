#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace k27 {

// What overwriting a stored row with an imported one would change: the duplicate question
// shows it, so nobody erases an issued card number by reflex.
struct FieldChange
{
    QString caption;
    QString stored;
    QString incoming;
    bool operator==(const FieldChange&) const = default;
};

// The fields whose stored and incoming texts differ, in the order of `captions` (the three
// lists run in parallel; a missing text counts as empty).
QList<FieldChange> changedFields(const QStringList& captions, const QStringList& stored, const QStringList& incoming);

// The changes as lines under `heading`: "caption: stored → incoming", `empty` standing for
// an empty text; `none` alone when nothing differs.
QString describeChanges(const QList<FieldChange>& changes, const QString& heading, const QString& empty,
                        const QString& none);

} // namespace k27
