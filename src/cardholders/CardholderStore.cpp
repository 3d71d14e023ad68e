#include "CardholderStore.h"
#include "cardholders/CardholderKey.h"

#include "cardholders/PhotoPath.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/FileModes.h"
#include "startup/TextUtil.h"

#include <QDir>
#include <QFile>

namespace k27 {

namespace {

const QString KeyCondition = cardholderKeyCondition();

QVariantList keyParams(const CardholderStore::Key& key)
{
    return {trimSpaces(key.first), trimSpaces(key.second)};
}

} // namespace

CardholderStore::CardholderStore(DatabaseSession& databases, QString imageFolder)
    : m_databases(&databases)
    , m_imageFolder(std::move(imageFolder))
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
    const bool stored = db->exec(
        QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                       " values (?, ?, ?, ?, ?, ?, '', '', '')"),
        {values.name + QLatin1Char(' '), values.gender, values.department, values.position, values.address,
         values.phone});
    if (!stored)
        return NotStored;
    if (id)
        *id = db->lastInsertId();
    savePhoto(photo, values.name, values.phone);
    return Done;
}

int CardholderStore::update(const Key& editKey, const CardholderFields& values, const QImage& photo) const
{
    Database* db = m_databases->window();
    if (!db)
        return NotStored;
    const bool keyChanges = values.name != trimSpaces(editKey.first) || values.phone != trimSpaces(editKey.second);
    if (keyChanges && db->exists(QStringLiteral("select 1 from 用户信息") + KeyCondition, {values.name, values.phone}))
        return Duplicate;
    const QVariant id = db->scalar(QStringLiteral("select ID from 用户信息") + KeyCondition + QStringLiteral(" order by ID"),
                                  keyParams(editKey));
    if (!id.isValid())
        return NoLongerThere;
    const bool stored = db->exec(
        QStringLiteral("update 用户信息 set 姓名 = ?, 性别 = ?, 部门 = ?, 职位 = ?, 住址 = ?, 电话 = ? where ID = ?"),
        {values.name, values.gender, values.department, values.position, values.address, values.phone, id});
    if (!stored)
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

int CardholderStore::remove(const QList<Key>& keys, const std::function<void(int)>& progress,
                            bool* writeFailed) const
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
        if (!db->exec(QStringLiteral("delete from 用户信息") + KeyCondition, keyParams(key))) {
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
