#include "Startup.h"

#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/FileModes.h"
#include "db/Schema.h"
#include "platform/Dialogs.h"
#include "startup/AppContext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace k27 {

// Message shown when Data.kvd exists but is no database of this program (or the password fails).
constexpr int MsgDatabaseUnreadable = 135;
// Shown with the folder when a new folder gets no database (no room, no rights).
constexpr int MsgCannotCreateDatabase = 173;

Startup::Startup(AppContext& context)
    : m_context(context)
{
}

Startup::~Startup() = default;

QString Startup::missingLanguageText()
{
    return QStringLiteral("系统语言库丢失，请重新安装系统！");
}

static void makeWritable(const QString& path)
{
    QFile file(path);
    if (file.exists())
        file.setPermissions(file.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
}

Startup::Outcome Startup::run()
{
    AppContext& ctx = m_context;
    Dialogs& dialogs = ctx.dialogs();

    // A new folder (the user's data folder on a first start) is made here, before the
    // settings file is created in it.
    QDir().mkpath(ctx.programFolder());
    ctx.settings = readSettingsFile(ctx.settingsPath());
    if (ctx.settings.port == NamedDevicePort)
        ctx.deviceName = readDeviceName(ctx.deviceNamePath());

    if (!QFileInfo::exists(ctx.languagePath(0))) {
        dialogs.message(nullptr, missingLanguageText(), Dialogs::Icon::Error);
        return Outcome::Exit;
    }

    const CorrectedSettings corrected = correctSettings(ctx.settings);
    ctx.portNumber = corrected.portNumber;
    ctx.baudText = corrected.baudText;

    // Simplified Chinese first: a chosen file that lacks messages (or is missing) leaves them
    // in Simplified Chinese instead of empty.
    if (ctx.settings.language != 0)
        ctx.language.loadFile(ctx.languagePath(0));
    ctx.loadLanguage();

    // A lock left behind by a crashed run names a dead process and is taken over.
    m_lock = std::make_unique<QLockFile>(ctx.programFolder() + QStringLiteral("/k27center.lock"));
    m_lock->setStaleLockTime(0);
    bool locked = m_lock->tryLock(0);
    if (!locked && m_lock->error() == QLockFile::LockFailedError && !m_lock->getLockInfo(nullptr, nullptr, nullptr)) {
        // An unreadable lock file proves nothing about a running program.
        m_lock->removeStaleLockFile();
        locked = m_lock->tryLock(0);
    }
    // A folder where no lock can be made (read-only) does not mean another instance runs.
    if (!locked && m_lock->error() == QLockFile::LockFailedError) {
        dialogs.message(nullptr, ctx.message(0), Dialogs::Icon::Warning);
        m_lock.reset();
        return Outcome::Exit;
    }

    // Data files of earlier versions were readable by every local user.
    tightenDataFiles(ctx.programFolder(), ctx.userDataFolder);
    makeWritable(ctx.databasePath());
    // A folder that never had a database gets an empty one; one whose database has gone
    // (the marker says it existed) must not silently start over with an empty register.
    if (!QFileInfo::exists(ctx.databasePath()) && !QFileInfo::exists(ctx.databaseMarkerPath())) {
        makePrivateFolder(ctx.programFolder() + QStringLiteral("/Data"));
        makePrivateFolder(ctx.imageFolder());
        QString error;
        if (!createProgramDatabase(ctx.databasePath(), &error)) {
            dialogs.message(nullptr, ctx.message(MsgCannotCreateDatabase) + u'\n' + QDir::toNativeSeparators(ctx.databasePath()),
                            Dialogs::Icon::Error);
            return Outcome::Exit;
        }
        tightenMode(ctx.databasePath());
        ctx.firstStart = true;
    }
    if (!QFileInfo::exists(ctx.databasePath())) {
        dialogs.message(nullptr, ctx.message(1), Dialogs::Icon::Error);
        return Outcome::Exit;
    }
    makeWritable(ctx.databasePath());

    // Refuse a file that does not open with the database password instead of starting
    // with an empty register; the file itself is left as it is.
    // The check opens the connection the window goes on using.
    Database* db = ctx.databases().window();
    if (!db || !hasRegisterTables(*db)) {
        ctx.databases().close();
        dialogs.message(nullptr, ctx.message(MsgDatabaseUnreadable), Dialogs::Icon::Error);
        return Outcome::Exit;
    }

    if (!QFileInfo::exists(ctx.databaseMarkerPath())) {
        QFile marker(ctx.databaseMarkerPath());
        if (marker.open(QIODevice::WriteOnly))
            marker.write("Data/Data.kvd has existed in this folder. If it is missing, restore it from a\n"
                         "backup (Data/Bak01.kvd .. Data/Bak10.kvd) instead of starting a new register.\n");
    }

    ctx.serialSettings = serialSettingsString(ctx.baudText);
    return Outcome::Continue;
}

} // namespace k27
