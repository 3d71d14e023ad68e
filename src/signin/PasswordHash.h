#pragma once

#include <QString>

namespace k27 {

// Operator passwords are stored as salted slow hashes (Argon2id), never in a form that
// can be read back. The empty password is stored as the empty text.
QString hashPassword(const QString& plain);

// Exact, case-sensitive check of a typed password against a stored value. An empty or
// all-blank stored value accepts only the empty password. Values in the old shifted form
// (each character's code lowered by 2) are still understood.
bool verifyPassword(const QString& stored, const QString& typed);

} // namespace k27
