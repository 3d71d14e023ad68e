#pragma once

#include "db/Database.h"
#include "db/Schema.h"
#include "TestRegister.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace k27::test {

// A throw-away program folder: res/ with the real language files, Data/Data.kvd with the
// program's tables, Data/img/. AppSet.dat is left to the test.
class ProgramFolder
{
public:
    explicit ProgramFolder(bool withDatabase = true)
    {
        if (onServer())
            m_server = std::make_unique<ServerSchema>();
        QDir root(m_dir.path());
        root.mkpath(QStringLiteral("res"));
        root.mkpath(QStringLiteral("Data/img"));
        const QString source = qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/res/");
        for (const char* name : {"Smp_Chs.lag", "big_Chs.lag", "English.lag"})
            QFile::copy(source + QLatin1String(name), path(QStringLiteral("res/") + QLatin1String(name)));
        if (withDatabase)
            createDatabase(databasePath());
    }

    QString path() const { return m_dir.path(); }
    QString path(const QString& relative) const { return m_dir.path() + u'/' + relative; }
    // The register: Data/Data.kvd, or the folder's schema on the test server.
    QString databasePath() const { return m_server ? m_server->url() : path(QStringLiteral("Data/Data.kvd")); }

    static void createDatabase(const QString& file)
    {
        Database db;
        QVERIFY2(db.create(file), qPrintable(db.lastError()));
        QVERIFY(createProgramTables(db));
    }

    void writeFile(const QString& relative, const QByteArray& bytes) const
    {
        QFile f(path(relative));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QByteArray readFile(const QString& relative) const
    {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ServerSchema> m_server;
};

} // namespace k27::test
