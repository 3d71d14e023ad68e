#include "AuditTrail.h"

#include "db/Database.h"
#include "db/RegisterLock.h"

#include <QFile>
#include <QFileInfo>
#include <sodium.h>

namespace k27::audit {

namespace {
Actor& runActor()
{
    static Actor actor;
    return actor;
}

crypto_generichash_state* state(unsigned char* bytes)
{
    return reinterpret_cast<crypto_generichash_state*>(bytes);
}
} // namespace

void setActor(const Actor& actor)
{
    runActor() = actor;
}

const Actor& actor()
{
    return runActor();
}

bool record(Database& db, const QString& action, const QString& subject, const QString& details)
{
    return append(db, runActor(), {action, subject, details});
}

bool recordOutput(Database& db, bool print, const QString& list, int rows, const QString& file)
{
    return record(db, print ? Action::Print : Action::Export, list,
                  QStringLiteral("rows: %1; file: %2").arg(rows).arg(file));
}

QString changes(const QStringList& captions, const QStringList& before, const QStringList& after)
{
    QStringList parts;
    for (qsizetype i = 0; i < captions.size(); ++i)
        if (before.value(i) != after.value(i))
            parts << QStringLiteral("%1: %2 → %3").arg(captions[i], before.value(i), after.value(i));
    return parts.join(QStringLiteral("; "));
}

Scope::Scope(Database& db) : m_db(db), m_own(!db.inTransaction())
{
    // On a shared register the change queues behind other desks' writes before it locks a row,
    // so that it and the log's head are always taken in the same order.
    m_ok = !m_own || (db.beginTransaction() && RegisterLock::queueWrites(db));
}

Scope::~Scope()
{
    if (m_own && !m_done && m_db.inTransaction())
        m_db.rollback();
}

bool Scope::commit(const QString& action, const QString& subject, const QString& details)
{
    const bool ok = m_ok && record(m_db, action, subject, details) && (!m_own || m_db.commit());
    if (!ok && m_own && m_db.inTransaction())
        m_db.rollback();
    m_done = true;
    return ok;
}

bool Scope::commit()
{
    const bool ok = m_ok && (!m_own || m_db.commit());
    if (!ok && m_own && m_db.inTransaction())
        m_db.rollback();
    m_done = true;
    return ok;
}

static_assert(sizeof(crypto_generichash_state) <= 384);

Digest::Digest()
{
    crypto_generichash_init(state(m_state), nullptr, 0, crypto_generichash_BYTES);
}

Digest::~Digest()
{
    sodium_memzero(m_state, sizeof m_state);
}

void Digest::add(const char* data, qsizetype size)
{
    crypto_generichash_update(state(m_state), reinterpret_cast<const unsigned char*>(data), quint64(size));
    m_size += size;
}

QString Digest::finish()
{
    QByteArray out(crypto_generichash_BYTES, '\0');
    crypto_generichash_final(state(m_state), reinterpret_cast<unsigned char*>(out.data()), size_t(out.size()));
    return QString::fromLatin1(out.toHex());
}

QString Digest::ofFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Digest digest;
    QByteArray chunk(1 << 16, '\0');
    for (qint64 n; (n = file.read(chunk.data(), chunk.size())) > 0;)
        digest.add(chunk.constData(), n);
    return fileText(path, digest.size(), digest.finish());
}

QString fileText(const QString& path, qint64 size, const QString& digest)
{
    return QStringLiteral("%1, %2 bytes, BLAKE2b %3").arg(QFileInfo(path).fileName()).arg(size).arg(digest);
}

ImportLog::ImportLog(Database& db, QString importAction, QString overwriteAction, const QString& path)
    : m_db(db), m_import(std::move(importAction)), m_overwrite(std::move(overwriteAction)),
      m_source(Digest::ofFile(path))
{
}

bool ImportLog::overwritten(const QString&, const QStringList& key, const QList<FieldChange>& changes)
{
    QStringList parts;
    for (const FieldChange& change : changes)
        parts << QStringLiteral("%1: %2 → %3").arg(change.caption, change.stored, change.incoming);
    return record(m_db, m_overwrite, key.join(QLatin1Char(' ')), parts.join(QStringLiteral("; ")));
}

bool ImportLog::closing(const QString&, const ImportCounts& counts, int total)
{
    return record(m_db, m_import, m_source,
                  QStringLiteral("rows: %1; imported: %2; skipped: %3")
                      .arg(total)
                      .arg(counts.added + counts.overwritten)
                      .arg(counts.skipped + counts.refused));
}

} // namespace k27::audit
