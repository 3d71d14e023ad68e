#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace k27 {

class Database;

// The operator log: one row per action, written in the transaction of the change it records,
// each row chained to the one before by a BLAKE2b-256 hash. The statements are plain SQL that
// any engine of the register understands; appends from several programs at once form one chain
// because each append first takes the lock of the chain's head row.
namespace audit {

// Who acts, where. The computer name is this machine's unless a test sets another.
struct Actor
{
    QString operatorName;
    QString computer;
};

// What was done: a stable action code (AuditActions.h), the subject it was done to, and the
// details (changed fields old -> new, counts, file digests), all plain text.
struct Entry
{
    QString action;
    QString subject;
    QString details;
};

// One stored row as read back.
struct LogRow
{
    qint64 sequence = 0;
    QString time; // UTC, "yyyy-MM-ddTHH:mm:ss.zzzZ"
    QString computer;
    QString operatorName;
    QString action;
    QString subject;
    QString details;
    QByteArray hash; // 32 bytes
};

// Creates the log and its head row when the register lacks them; cheap when they exist.
bool ensureLog(Database& db);

// Appends one row. Inside an open transaction the row commits or rolls back with it;
// outside one it is written in a transaction of its own. The row's time is `utcTime` when
// given (tests), else now.
bool append(Database& db, const Actor& actor, const Entry& entry, const QString& utcTime = {});

// The hash a row must carry: BLAKE2b-256 over the previous row's hash and the row's canonical
// encoding (a version tag, then every field length-prefixed, the sequence number included).
QByteArray chainHash(const QByteArray& previous, const LogRow& row);

// The result of walking the chain.
struct Verdict
{
    enum class Kind { Intact, Altered, Removed, Inserted, HeadChanged, Unreadable };
    Kind kind = Kind::Intact;
    qint64 row = 0;   // the first row that is not as written (Altered, Removed, Inserted)
    qint64 count = 0; // rows read
    QByteArray head;  // hash of the last row read
    QString text;     // one line for a person
    bool intact() const { return kind == Kind::Intact; }
};

// Walks the whole chain in order. `progress` (rows done) may return false to stop; the verdict
// is then Unreadable with the text "cancelled".
Verdict verify(Database& db, const std::function<bool(qint64)>& progress = {});

// The head row: how many rows the chain has and the last one's hash. False when it is missing.
bool head(Database& db, qint64* count, QByteArray* hash);

// The short code of a chain head that an auditor writes down: 16 base32 characters of the
// hash in groups of four, a slash and the row count, e.g. "ABCD-EFGH-IJKL-MNOP/1234".
QString headCode(qint64 count, const QByteArray& hash);
// Reads a head code; false when it is not one.
bool parseHeadCode(const QString& code, qint64* count, QByteArray* prefix);

// Checks `code` against the chain: the chain must be intact up to the code's row and that row's
// hash must begin with the code's. Returns the verdict, with HeadChanged when the row's hash
// differs (the log was rewritten since the code was taken).
Verdict verifyAgainstHead(Database& db, const QString& code, const std::function<bool(qint64)>& progress = {});

} // namespace audit
} // namespace k27
