#pragma once

#include "audit/AuditLog.h"
#include "db/ImportEngine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace k27 {

class Database;

namespace audit {

// The stable action codes of the log's rows. They are stored, searched and shown as they are:
// never rename one, only add.
namespace Action {
inline constexpr const char* ProgramStart = "program.start";
inline constexpr const char* SignIn = "signin";
inline constexpr const char* SignInFailed = "signin.failed";
inline constexpr const char* SignOut = "signout";
inline constexpr const char* OperatorAdd = "operator.add";
inline constexpr const char* OperatorChange = "operator.change";
inline constexpr const char* OperatorDelete = "operator.delete";
inline constexpr const char* OperatorPassword = "operator.password";
inline constexpr const char* HolderAdd = "holder.add";
inline constexpr const char* HolderChange = "holder.change";
inline constexpr const char* HolderDelete = "holder.delete";
inline constexpr const char* HolderPhoto = "holder.photo";
inline constexpr const char* TerminalAdd = "terminal.add";
inline constexpr const char* TerminalChange = "terminal.change";
inline constexpr const char* TerminalDelete = "terminal.delete";
inline constexpr const char* HolderImport = "holder.import";
inline constexpr const char* HolderOverwrite = "holder.overwrite";
inline constexpr const char* TerminalImport = "terminal.import";
inline constexpr const char* TerminalOverwrite = "terminal.overwrite";
inline constexpr const char* RecordImport = "record.import";
inline constexpr const char* RecordDelete = "record.delete";
inline constexpr const char* CardFrame = "card.frame";
inline constexpr const char* CardReply = "card.reply";
inline constexpr const char* Export = "list.export";
inline constexpr const char* Print = "list.print";
inline constexpr const char* Backup = "backup";
inline constexpr const char* Restore = "restore";
inline constexpr const char* Settings = "settings";
} // namespace Action

// Who acts in this run: set at sign-in (and at sign-out back to nobody), read by every hook,
// so the stores need not be handed the operator. One operator signs in per program run.
void setActor(const Actor& actor);
const Actor& actor();

// Appends one row for the run's actor (see append()).
bool record(Database& db, const QString& action, const QString& subject, const QString& details = {});

// An export or print of the list `list` (the grid's name) with `rows` data rows to `file`.
bool recordOutput(Database& db, bool print, const QString& list, int rows, const QString& file);

// "field: old → new" for each field that differs, joined by "; ". Captions, old and new run
// in parallel.
QString changes(const QStringList& captions, const QStringList& before, const QStringList& after);

// A change and its log row as one: opens a transaction unless the caller has one open, and
// rolls it back on destruction unless commit() got the row written and the change committed.
class Scope
{
public:
    explicit Scope(Database& db);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    bool ok() const { return m_ok; }
    // Writes the row and, when the scope opened the transaction, commits.
    bool commit(const QString& action, const QString& subject, const QString& details = {});
    // Commits without a row of its own (the rows were recorded already, or nothing changed).
    bool commit();

private:
    Database& m_db;
    bool m_own = false;
    bool m_ok = false;
    bool m_done = false;
};

// BLAKE2b-256 of a file's bytes, fed in pieces as the file is read anyway.
class Digest
{
public:
    Digest();
    ~Digest();
    void add(const char* data, qsizetype size);
    void add(const QByteArray& bytes) { add(bytes.constData(), bytes.size()); }
    qint64 size() const { return m_size; }
    // The digest in hexadecimal; the state is used up.
    QString finish();
    // "name, N bytes, BLAKE2b <hex>" of a whole file; empty when it cannot be read.
    static QString ofFile(const QString& path);

private:
    alignas(64) unsigned char m_state[384];
    qint64 m_size = 0;
};

// "name, N bytes, BLAKE2b <hex>": how a file is named in the log's details.
QString fileText(const QString& path, qint64 size, const QString& digest);

// The log of a workbook import: one row per stored row overwritten (old → new) in the step that
// overwrote it, and the import's own row (the file, its size and digest, the counts) with the
// last rows.
class ImportLog final : public ImportObserver
{
public:
    ImportLog(Database& db, QString importAction, QString overwriteAction, const QString& path);
    bool overwritten(const QString& table, const QStringList& key, const QList<FieldChange>& changes) override;
    bool closing(const QString& table, const ImportCounts& counts, int total) override;

private:
    Database& m_db;
    QString m_import;
    QString m_overwrite;
    QString m_source;
};

} // namespace audit
} // namespace k27
