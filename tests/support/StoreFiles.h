#pragma once

// What the store tests read back from a database file or copy.
#include "db/Database.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

namespace k27::test {

// The cardholder names of a file in stored order, or "<cannot open>".
inline QStringList cardholders(const QString& path)
{
    Database db;
    if (!db.open(path, true))
        return {QStringLiteral("<cannot open>")};
    QStringList names;
    db.query(QStringLiteral("SELECT 姓名 FROM 用户信息 ORDER BY ID"), {}, [&](const Row& r) {
        names << r.text(0);
        return true;
    });
    return names;
}

// The file's bytes, hashed; empty when it cannot be read.
inline QByteArray fileHash(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}

} // namespace k27::test
