#include "CardholderStore.h"
#include "db/CardholderKey.h"

#include "audit/AuditTrail.h"
#include "cardholders/PhotoPath.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/FileModes.h"
#include "startup/TextUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace k27 {

namespace {

const QString KeyCondition = cardholderKeyCondition();

QVariantList keyParams(const CardholderStore::Key& key)
{
    return {trimSpaces(key.first), trimSpaces(key.second)};
}

// The log names a cardholder by the key the list shows.
QString subjectOf(const QString& name, const QString& phone)
{
    return trimSpaces(name) + QLatin1Char(' ') + trimSpaces(phone);
}

const QStringList FieldCaptions = {QStringLiteral("姓名"), QStringLiteral("性别"), QStringLiteral("部门"),
                                   QStringLiteral("职位"), QStringLiteral("住址"), QStringLiteral("电话")};

// A photo counts as changed when no file holds it yet or the file shows other pixels: the page
// hands back the picture it shows with every save.
bool photoDiffers(const QImage& photo, const QString& storedPath)
{
    if (photo.isNull())
        return false;
    const QImage stored(storedPath);
    return stored.isNull()
           || stored.convertToFormat(QImage::Format_RGB32) != photo.convertToFormat(QImage::Format_RGB32);
}

} // namespace

CardholderStore::CardholderStore(DatabaseSession& databases, QString imageFolder)
    : m_databases(&databases), m_imageFolder(std::move(imageFolder))
{
}

QString CardholderStore::photoPath(const QString& name, const QString& phone) const
{
    return PhotoPath(m_imageFolder, name, phone);
}

bool CardholderStore::savePhoto(const QImage& photo, const QString& name, const QString& phone) const
{
    if (photo.isNull())
        return false;
    makePrivateFolder(m_imageFolder);
    // A face is as private as the register: owner-only like the database.
    const QString path = photoPath(name, phone);
    return photo.save(path, "JPEG") && tightenMode(path);
}

int CardholderStore::insert(const CardholderFields& values, const QImage& photo, qint64* id) const
{
    Database* db = m_databases->window();
    if (!db)
        return NotStored;
    if (db->exists(QStringLiteral("select 1 from 用户信息") + KeyCondition, {values.name, values.phone}))
        return Duplicate;
    audit::Scope logged(*db);
    const bool stored = logged.ok()
                        && db->exec(
                            QStringLiteral(
                                "insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                                " values (?, ?, ?, ?, ?, ?, '', '', '')"),
                            {values.name + QLatin1Char(' '), values.gender, values.department, values.position,
                             values.address, values.phone});
    // Another desk may have stored the same key since the look above: the register refuses it.
    if (!stored && db->lastErrorDuplicateKey())
        return Duplicate;
    const qint64 newId = stored ? db->lastInsertId() : 0;
    if (!stored
        || !logged.commit(audit::Action::HolderAdd, subjectOf(values.name, values.phone),
                          audit::changes(FieldCaptions, {}, values.columns())
                              + (photo.isNull() ? QString() : QStringLiteral("; photo"))))
        return NotStored;
    if (id)
        *id = newId;
    savePhoto(photo, values.name, values.phone);
    return Done;
}

std::optional<CardholderStore::Reading> CardholderStore::read(const Key& key) const
{
    Database* db = m_databases->window();
    if (!db)
        return std::nullopt;
    const QVariant id = db->scalar(
        QStringLiteral("select ID from 用户信息") + KeyCondition + QStringLiteral(" order by ID"), keyParams(key));
    return id.isValid() ? read(id.toLongLong()) : std::nullopt;
}

std::optional<CardholderStore::Reading> CardholderStore::read(qint64 id) const
{
    Database* db = m_databases->window();
    std::optional<Reading> found;
    if (db)
        db->query(
            QStringLiteral("select 姓名, 性别, 部门, 职位, 住址, 电话, coalesce(版本, 0) from 用户信息 where ID = ?"),
            {id}, [&](const Row& r) {
                found = Reading{id, r.integer(6), {}};
                for (int c = 0; c < 6; ++c)
                    found->columns << (c == 0 ? trimSpaces(r.text(c)) : r.text(c));
                return false;
            });
    return found;
}

int CardholderStore::update(const Key& editKey, const CardholderFields& values, const QImage& photo,
                            const Reading* reading) const
{
    Database* db = m_databases->window();
    if (!db)
        return NotStored;
    // A row changed since it was read is said so first: what made a key taken may be that change.
    const auto changedSinceRead = [&]() -> int {
        if (!reading)
            return Done;
        const QVariant now = db->scalar(QStringLiteral("select coalesce(版本, 0) from 用户信息 where ID = ?"),
                                        {reading->id});
        return !now.isValid() ? NoLongerThere : now.toLongLong() != reading->version ? ChangedElsewhere : Done;
    };
    if (const int changed = changedSinceRead())
        return changed;
    const bool keyChanges = values.name != trimSpaces(editKey.first) || values.phone != trimSpaces(editKey.second);
    // A key taken meanwhile may be this row's own change on another desk.
    if (keyChanges && db->exists(QStringLiteral("select 1 from 用户信息") + KeyCondition, {values.name, values.phone}))
        return changedSinceRead() == ChangedElsewhere ? ChangedElsewhere : Duplicate;
    const QVariant id = reading ? QVariant(reading->id)
                                : db->scalar(QStringLiteral("select ID from 用户信息") + KeyCondition
                                                 + QStringLiteral(" order by ID"),
                                             keyParams(editKey));
    if (!id.isValid())
        return NoLongerThere;
    QStringList before;
    db->query(QStringLiteral("select 姓名, 性别, 部门, 职位, 住址, 电话 from 用户信息 where ID = ?"), {id},
              [&](const Row& r) {
                  // An add stores the name with a blank after it: that blank going is no change.
                  for (int c = 0; c < 6; ++c)
                      before << (c == 0 ? trimSpaces(r.text(c)) : r.text(c));
                  return false;
              });
    const QString subject = subjectOf(editKey.first, editKey.second);
    const QString changed = audit::changes(FieldCaptions, before, values.columns());
    const bool newPhoto = photoDiffers(photo, photoPath(values.name, values.phone));
    audit::Scope logged(*db);
    QVariantList params{values.name, values.gender, values.department, values.position, values.address, values.phone,
                        id};
    if (reading)
        params << reading->version;
    const bool stored =
        logged.ok()
        && db->exec(QStringLiteral(
                        "update 用户信息 set 姓名 = ?, 性别 = ?, 部门 = ?, 职位 = ?, 住址 = ?, 电话 = ? where ID = ?")
                        + (reading ? QStringLiteral(" and coalesce(版本, 0) = ?") : QString()),
                    params);
    if (!stored && db->lastErrorDuplicateKey())
        return changedSinceRead() == ChangedElsewhere ? ChangedElsewhere : Duplicate;
    // Nothing changed under the version read: another desk changed the row, or deleted it.
    if (stored && reading && db->changes() == 0)
        return db->exists(QStringLiteral("select 1 from 用户信息 where ID = ?"), {id}) ? ChangedElsewhere
                                                                                       : NoLongerThere;
    // A save that changes nothing leaves no row; one that changes only the photo leaves the photo's row.
    const bool done = stored && (changed.isEmpty() || audit::record(*db, audit::Action::HolderChange, subject, changed))
                      && (newPhoto ? logged.commit(audit::Action::HolderPhoto, subjectOf(values.name, values.phone),
                                                   QFileInfo(photoPath(values.name, values.phone)).fileName())
                                   : logged.commit());
    if (!done)
        return NotStored;
    savePhoto(photo, values.name, values.phone);
    return Done;
}

std::optional<CardholderStore::Permissions> CardholderStore::permissions(const Key& key) const
{
    return permissions(QList<Key>{key}).value(0);
}

QList<std::optional<CardholderStore::Permissions>> CardholderStore::permissions(const QList<Key>& keys) const
{
    QList<std::optional<Permissions>> out;
    out.reserve(keys.size());
    Database* db = m_databases->window();
    for (const Key& key : keys) {
        std::optional<Permissions> found;
        if (db)
            db->query(QStringLiteral("select 权限终端机, 时间期限 from 用户信息") + KeyCondition
                          + QStringLiteral(" order by ID limit 1"),
                      keyParams(key), [&](const Row& row) {
                          found = Permissions{row.text(0), row.text(1)};
                          return false;
                      });
        out.append(found);
    }
    return out;
}

int CardholderStore::remove(const QList<Key>& keys, const std::function<void(int)>& progress, bool* writeFailed) const
{
    // Events run between the rows: the deletion keeps to the runs' connection.
    Database* db = m_databases->runs();
    if (writeFailed)
        *writeFailed = !db;
    int deleted = 0;
    int done = 0;
    for (const Key& key : keys) {
        if (!db)
            break;
        // The row goes first: a photo is removed only once its cardholder is gone. Each
        // statement commits on its own; one the file cannot take ends the deletion.
        audit::Scope logged(*db);
        if (!logged.ok() || !db->exec(QStringLiteral("delete from 用户信息") + KeyCondition, keyParams(key))
            || (db->changes() > 0
                && !logged.commit(audit::Action::HolderDelete, subjectOf(key.first, key.second),
                                  QStringLiteral("rows: %1").arg(db->changes())))) {
            if (writeFailed)
                *writeFailed = true;
            break;
        }
        ++deleted;
        const QString photo = photoPath(key.first, key.second);
        if (QFile::exists(photo))
            QFile::remove(photo);
        ++done;
        if (progress)
            progress(done);
    }
    return deleted;
}

} // namespace k27
