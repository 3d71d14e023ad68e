#pragma once

class QString;

namespace k27 {

class Database;

// Creates the three register tables of a new program database.
bool createProgramTables(Database& db);

// Creates an empty program database at `path` with every table, written beside its final
// name first so that an interrupted creation leaves no half-made database. Fails when
// `path` exists; the reason goes to *error.
bool createProgramDatabase(const QString& path, QString* error = nullptr);

// True when the three register tables are there; otherwise *missing names the first absent one.
bool hasRegisterTables(Database& db, QString* missing = nullptr);

// Creates the entry/exit record table when it is missing; an existing table is left alone.
// Entry times are stored as text "yyyy-MM-dd HH:mm:ss", so ordering and ranges compare as dates.
bool EnsureRecordTable(Database& db);

} // namespace k27
