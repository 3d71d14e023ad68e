#pragma once

class QLineEdit;
class QString;
class QByteArray;

namespace k27 {

// The program's memory holds the operators' passwords while they are typed and checked, and
// the names and phones of every cardholder: a core file would put them on the disk, and a
// process of the same user could read them from a running program.

// No core file at all, and no other process of this user may read or trace this one.
// True when both took effect.
bool refuseCoreDumps();

// Overwrites a secret where it lies, then empties it (the zeroed buffer goes with it). A copy that still shares the text
// (another QString) keeps it: wipe the last holder, or take the text from its field with
// takeSecret() first.
void wipe(QString& secret);
void wipe(QByteArray& secret);

// The text of a password field, emptied from the field: the text returned is then the only
// holder of the field's former buffer, so wiping it wipes what the field held.
QString takeSecret(QLineEdit* field);

} // namespace k27
