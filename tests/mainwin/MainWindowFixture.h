#pragma once

// A program folder in a temporary directory (language files, an empty database without the
// record table) and an application context answered by scripted dialogs.

#include "ScriptedDialogs.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "startup/AppContext.h"
#include "startup/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace k27::test {

struct MainWindowFixture
{
    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> context;

    explicit MainWindowFixture(int language = 0, bool administrator = true)
    {
        QDir dir(folder.path());
        // The operator's own settings (window place, folders) stay in the fixture's folder.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.filePath(QStringLiteral("user")));
        dir.mkpath(QStringLiteral("res"));
        dir.mkpath(QStringLiteral("Data/img"));
        const QString source = qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/res/");
        for (const char* name : {"Smp_Chs.lag", "big_Chs.lag", "English.lag"})
            QFile::copy(source + QLatin1String(name), dir.filePath(QStringLiteral("res/") + QLatin1String(name)));
        Database db;
        if (!db.create(databasePath()) || !createProgramTables(db))
            qFatal("cannot create the test database");
        context = std::make_unique<AppContext>(folder.path(), dialogs);
        context->settings.language = quint8(language);
        context->settings.port = 0; // no settings file: no valid port
        context->loadLanguage();
        context->signedIn = {QStringLiteral("admin"), administrator};
    }

    QString databasePath() const { return folder.path() + QStringLiteral("/Data/Data.kvd"); }
};

} // namespace k27::test
