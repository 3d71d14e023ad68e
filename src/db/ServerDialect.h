#pragma once

#include <QString>

namespace k27 {

// The program's statements are written once, in the embedded engine's dialect. For the
// server they are rewritten here, token by token (never inside a literal or a quoted name):
//   ?  ?N            -> $n, numbered as the embedded engine numbers them
//   Chinese names, ID, Password -> quoted, so that the server keeps them exactly as written
//   INSERT OR IGNORE -> INSERT ... ON CONFLICT DO NOTHING
//   LIKE             -> ILIKE (the embedded LIKE ignores ASCII case)
//   ifnull(          -> coalesce(
// `parameters` gets the highest parameter number used.
QString serverStatement(const QString& sql, int* parameters = nullptr);

// The statement's first keyword in upper case ("SELECT", "INSERT", "BEGIN", ...).
QString firstKeyword(const QString& sql);

} // namespace k27
