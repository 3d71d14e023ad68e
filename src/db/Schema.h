#pragma once

namespace k27 {

class Database;

// Creates the three register tables of a new program database.
bool createProgramTables(Database& db);

// Creates the entry/exit record table when it is missing; an existing table is left alone.
// Entry times are stored as text "yyyy-MM-dd HH:mm:ss", so ordering and ranges compare as dates.
bool EnsureRecordTable(Database& db);

} // namespace k27
