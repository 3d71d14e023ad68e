#include "AuditLog.h"

#include "db/Database.h"
#include "db/Schema.h"

#include <QDateTime>
#include <QSysInfo>
#include <optional>
#include <sodium.h>

namespace k27::audit {

namespace {

constexpr int HashBytes = crypto_generichash_BYTES; // 32
constexpr int CodeBytes = 10;                       // 80 bits: 16 base32 characters
constexpr const char* Base32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

const QString Columns = QStringLiteral("序号, 时间, 计算机, 操作员, 动作, 对象, 详情, hash");

void putNumber(QByteArray& out, quint64 value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
}

void putText(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    putNumber(out, quint64(utf8.size()), 4);
    out.append(utf8);
}

LogRow readRow(const Row& r)
{
    LogRow row;
    row.sequence = r.integer(0);
    row.time = r.text(1);
    row.computer = r.text(2);
    row.operatorName = r.text(3);
    row.action = r.text(4);
    row.subject = r.text(5);
    row.details = r.text(6);
    row.hash = QByteArray::fromHex(r.text(7).toLatin1());
    return row;
}

Verdict verdict(Verdict::Kind kind, qint64 row, const QString& text)
{
    Verdict v;
    v.kind = kind;
    v.row = row;
    v.text = text;
    return v;
}

// A row whose hash does not follow from the row before it: the row after it tells what happened.
Verdict classify(const LogRow& suspect, const QByteArray& twoBefore, const QByteArray& before,
                 const std::optional<LogRow>& next)
{
    const qint64 n = suspect.sequence;
    // The suspect chains from the row two before it, as if numbered one lower: a row that
    // follows correctly was put in before it and the rest renumbered up.
    LogRow pushedDown = suspect;
    pushedDown.sequence = n - 1;
    if (n > 1 && chainHash(twoBefore, pushedDown) == suspect.hash)
        return verdict(Verdict::Kind::Inserted, n - 1, QStringLiteral("row %1 was inserted").arg(n - 1));
    if (next) {
        // The next row still chains from the row before the suspect, as if numbered in its place:
        // the suspect was put in and the rows after it renumbered.
        LogRow inPlace = *next;
        inPlace.sequence = n;
        if (chainHash(before, inPlace) == next->hash)
            return verdict(Verdict::Kind::Inserted, n, QStringLiteral("row %1 was inserted").arg(n));
        // The next row chains from the suspect's stored hash with its number one higher: a row
        // before the suspect was taken out and the rest renumbered down.
        LogRow shifted = *next;
        shifted.sequence = next->sequence + 1;
        if (chainHash(suspect.hash, shifted) == next->hash)
            return verdict(Verdict::Kind::Removed, n, QStringLiteral("row %1 was removed").arg(n));
    }
    return verdict(Verdict::Kind::Altered, n, QStringLiteral("row %1 was altered").arg(n));
}

bool readHead(Database& db, qint64* sequence, QByteArray* hash)
{
    bool found = false;
    const bool ok = db.query(QStringLiteral("SELECT 序号, hash FROM 操作日志_头 WHERE id = 1"), {}, [&](const Row& r) {
        *sequence = r.integer(0);
        *hash = QByteArray::fromHex(r.text(1).toLatin1());
        found = true;
        return false;
    });
    return ok && found;
}

} // namespace

bool ensureLog(Database& db)
{
    return ensureLogTables(db);
}

bool head(Database& db, qint64* count, QByteArray* hash)
{
    return readHead(db, count, hash);
}

QByteArray chainHash(const QByteArray& previous, const LogRow& row)
{
    QByteArray message("K27LOG1", 8); // version tag with its terminating zero
    message.append(previous);
    putNumber(message, quint64(row.sequence), 8);
    for (const QString* field : {&row.time, &row.computer, &row.operatorName, &row.action, &row.subject, &row.details})
        putText(message, *field);
    QByteArray hash(HashBytes, '\0');
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), HashBytes,
                       reinterpret_cast<const unsigned char*>(message.constData()), quint64(message.size()), nullptr,
                       0);
    return hash;
}

bool append(Database& db, const Actor& actor, const Entry& entry, const QString& utcTime)
{
    const bool own = !db.inTransaction();
    if (own && !db.beginTransaction())
        return false;
    // The no-op update takes the head row's write lock first, so that two programs appending at
    // once queue here instead of both chaining from the same head.
    LogRow row;
    QByteArray previous;
    bool ok = db.exec(QStringLiteral("UPDATE 操作日志_头 SET 序号 = 序号 WHERE id = 1")) && db.changes() == 1
              && readHead(db, &row.sequence, &previous);
    if (ok) {
        ++row.sequence;
        row.time = utcTime.isEmpty() ? QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) : utcTime;
        row.computer = actor.computer.isEmpty() ? QSysInfo::machineHostName() : actor.computer;
        row.operatorName = actor.operatorName;
        row.action = entry.action;
        row.subject = entry.subject;
        row.details = entry.details;
        const QString hash = QString::fromLatin1(chainHash(previous, row).toHex());
        ok = db.exec(
                 QStringLiteral("INSERT INTO 操作日志 (") + Columns
                     + QStringLiteral(") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                 {row.sequence, row.time, row.computer, row.operatorName, row.action, row.subject, row.details, hash})
             && db.exec(QStringLiteral("UPDATE 操作日志_头 SET 序号 = ?, hash = ? WHERE id = 1"), {row.sequence, hash});
    }
    if (own) {
        if (ok)
            ok = db.commit();
        if (!ok && db.inTransaction())
            db.rollback();
    }
    return ok;
}

Verdict verify(Database& db, const std::function<bool(qint64)>& progress)
{
    Verdict result;
    QByteArray previous(HashBytes, '\0');
    QByteArray twoBefore(HashBytes, '\0');
    std::optional<LogRow> suspect;
    QByteArray beforeSuspect, twoBeforeSuspect;
    bool decided = false;
    const bool read = db.query(
        QStringLiteral("SELECT ") + Columns + QStringLiteral(" FROM 操作日志 ORDER BY 序号"), {}, [&](const Row& r) {
            LogRow row = readRow(r);
            if (suspect) {
                result = classify(*suspect, twoBeforeSuspect, beforeSuspect, row);
                decided = true;
                return false;
            }
            const qint64 expected = result.count + 1;
            if (row.sequence != expected) {
                result = verdict(Verdict::Kind::Removed, expected, QStringLiteral("row %1 was removed").arg(expected));
                decided = true;
                return false;
            }
            if (chainHash(previous, row) != row.hash) {
                beforeSuspect = previous;
                twoBeforeSuspect = twoBefore;
                suspect = std::move(row);
                return true;
            }
            twoBefore = previous;
            previous = row.hash;
            ++result.count;
            if (progress && result.count % 4096 == 0 && !progress(result.count)) {
                result = verdict(Verdict::Kind::Unreadable, 0, QStringLiteral("cancelled"));
                decided = true;
                return false;
            }
            return true;
        });
    if (!read)
        return verdict(Verdict::Kind::Unreadable, 0, QStringLiteral("the log cannot be read: ") + db.lastError());
    if (suspect && !decided)
        return classify(*suspect, twoBeforeSuspect, beforeSuspect, std::nullopt);
    if (decided)
        return result;

    // The head row says how long the chain was when last written: rows missing at the end or
    // appended without it show here.
    qint64 headSequence = 0;
    QByteArray headHash;
    if (!readHead(db, &headSequence, &headHash))
        return verdict(Verdict::Kind::Unreadable, 0, QStringLiteral("the log's head row is missing"));
    const qint64 count = result.count;
    if (headSequence > count)
        result = verdict(Verdict::Kind::Removed, count + 1, QStringLiteral("row %1 was removed").arg(count + 1));
    else if (headSequence < count)
        result = verdict(Verdict::Kind::Inserted, headSequence + 1,
                         QStringLiteral("row %1 was inserted").arg(headSequence + 1));
    else if (headHash != previous)
        result = verdict(Verdict::Kind::Altered, count, QStringLiteral("row %1 was altered").arg(count));
    else
        result.text = QStringLiteral("intact: %1 rows").arg(count);
    result.count = count;
    result.head = previous;
    return result;
}

QString headCode(qint64 count, const QByteArray& hash)
{
    QString code;
    quint64 bits = 0;
    int held = 0;
    for (int i = 0; i < CodeBytes && i < hash.size(); ++i) {
        bits = (bits << 8) | quint8(hash[i]);
        held += 8;
        while (held >= 5) {
            held -= 5;
            if (!code.isEmpty() && code.size() % 5 == 4)
                code += QLatin1Char('-');
            code += QLatin1Char(Base32[(bits >> held) & 31]);
        }
    }
    return code + QLatin1Char('/') + QString::number(count);
}

bool parseHeadCode(const QString& code, qint64* count, QByteArray* prefix)
{
    const qsizetype slash = code.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    bool ok = false;
    *count = code.mid(slash + 1).trimmed().toLongLong(&ok);
    if (!ok || *count < 0)
        return false;
    QByteArray bytes;
    quint64 bits = 0;
    int held = 0, digits = 0;
    for (QChar c : code.left(slash)) {
        if (c == QLatin1Char('-') || c.isSpace())
            continue;
        const char* at = std::strchr(Base32, c.toUpper().toLatin1());
        if (!at || !*at)
            return false;
        bits = (bits << 5) | quint64(at - Base32);
        held += 5;
        ++digits;
        if (held >= 8) {
            held -= 8;
            bytes.append(char((bits >> held) & 0xff));
        }
    }
    if (digits != CodeBytes * 8 / 5)
        return false;
    *prefix = bytes;
    return true;
}

Verdict verifyAgainstHead(Database& db, const QString& code, const std::function<bool(qint64)>& progress)
{
    qint64 count = 0;
    QByteArray prefix;
    if (!parseHeadCode(code, &count, &prefix))
        return verdict(Verdict::Kind::Unreadable, 0, QStringLiteral("not a head code: ") + code);
    Verdict chain = verify(db, progress);
    // A break at or before the code's row is the answer; a break after it is not this code's
    // business, but the chain up to the code's row must be read intact.
    if (!chain.intact() && (chain.kind == Verdict::Kind::Unreadable || chain.row <= count))
        return chain;
    QByteArray hashAtCode;
    if (count > 0) {
        const bool ok = db.query(QStringLiteral("SELECT hash FROM 操作日志 WHERE 序号 = ?"), {count},
                                 [&](const Row& r) {
                                     hashAtCode = QByteArray::fromHex(r.text(0).toLatin1());
                                     return false;
                                 });
        if (!ok || hashAtCode.isEmpty())
            return verdict(Verdict::Kind::Removed, count, QStringLiteral("row %1 was removed").arg(count));
    } else {
        hashAtCode = QByteArray(HashBytes, '\0');
    }
    if (!hashAtCode.startsWith(prefix))
        return verdict(Verdict::Kind::HeadChanged, count,
                       QStringLiteral("the log up to row %1 was rewritten after the code was taken").arg(count));
    Verdict proven = chain.intact() ? chain : verdict(chain.kind, chain.row, chain.text);
    if (chain.intact())
        proven.text = QStringLiteral("intact: rows 1 to %1 are as when the code was taken; %2 rows in all")
                          .arg(count)
                          .arg(chain.count);
    return proven;
}

} // namespace k27::audit
