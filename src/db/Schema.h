#pragma once

#include <QString>

namespace k27 {

class Database;

// Creates the three register tables of a new program database, and the operator log.
bool createProgramTables(Database& db);

// The version of the server register's tables that this program writes and reads. A register
// of a newer version is refused: this program would not keep what the newer one relies on.
constexpr int ServerSchemaVersion = 3;
enum class SchemaState { None, Current, Older, Newer };
// Where the server register's tables stand; *why says it for Newer and Older.
SchemaState serverSchemaState(Database& db, QString* why = nullptr);
// On a server, the whole register (every table, index, trigger and the version) in the
// connection's open transaction. Fails when any of it is there already.
bool createServerSchema(Database& db);
// Brings a register of an older version to this program's version in one transaction (the owner of the
// tables only). Fails, leaving it as it was, when its rows break a rule of the new version.
bool upgradeServerSchema(Database& db);
// The GRANTs that let `role` work in the register in `schema` and no more (no schema changes,
// no other schema or database).
QString serverGrants(const QString& role, const QString& schema = QStringLiteral("public"));

// The operator log (操作日志) and its head row (操作日志_头), created when missing; cheap when
// they exist. The log's rows are written by the audit library.
bool ensureLogTables(Database& db);

// Creates an empty program database at `path` with every table, written beside its final
// name first so that an interrupted creation leaves no half-made database. Fails when
// `path` exists; the reason goes to *error.
bool createProgramDatabase(const QString& path, QString* error = nullptr);

// True when the three register tables are there; otherwise *missing names the first absent one.
bool hasRegisterTables(Database& db, QString* missing = nullptr);

// Creates the entry/exit record table when it is missing; an existing table is left alone.
// Entry times are stored as text "yyyy-MM-dd HH:mm:ss", so ordering and ranges compare as dates.
bool EnsureRecordTable(Database& db);

// The list of every card number that has records (进出记录_卡号), kept by triggers on the record
// table. A site has far fewer cards than records, so a "contains" test on the card number runs
// over this list and fetches the records of the matching cards through the card index.
// Creates and fills the list when a file lacks it; false without the record table.
bool ensureRecordCards(Database& db);

// The card numbers that more than one cardholder holds (用户信息_重复卡号), kept by triggers on
// the cardholder table. A record joined to its cardholder gives one row per holder of its card:
// the record list asks this short table whether a count must make that join, instead of
// grouping every cardholder on each search. Creates and fills it when a file lacks it.
bool ensureRepeatedHolderCards(Database& db);

// The indexes behind the imports' duplicate lookups: cardholders by name and phone trimmed
// (CardholderKey.h), terminals by number. New files get them with their tables, older ones
// when the main window opens (and at the start of every import). Cheap when they exist.
// (Also brings the file's row versions up, below.)
bool ensureLookupIndexes(Database& db);

// The row version (版本) of cardholders, operators and terminals: counted up by the register at
// every change of the row, whoever makes it, so that a change made from an older reading can
// be refused. A file of an older program gains the column (0 for its rows) and the counting
// once (PRAGMA user_version 0 -> 1); cheap afterwards. A server register has it from the start.
bool ensureRowVersions(Database& db);

} // namespace k27
