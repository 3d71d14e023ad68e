#include "Startup.h"

#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "db/Backup.h"
#include "db/FileModes.h"
#include "db/Schema.h"
#include "platform/Dialogs.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"
#include "startup/RegisterChoice.h"
#include "platform/ProcessSafety.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k27 {

Startup::Startup(AppContext& context) : m_context(context) {}

Startup::~Startup() = default;

QString Startup::missingLanguageText()
{
    return QStringLiteral("系统语言库丢失，请重新安装系统！");
}

// The file's own mode only: a link is left alone, never the file behind it.
static void makeWritable(const QString& path)
{
    QFile file(path);
    if (!isLink(path) && file.exists())
        file.setPermissions(file.permissions() | QFileDevice::WriteOwner | QFileDevice::WriteUser);
}

static bool writable(const QString& path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

static bool existsHere(const QString& path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

void Startup::refuse(const PathRefusal& refusal) const
{
    m_context.dialogs().message(nullptr,
                                m_context.message(Msg::UnsafePlace) + u'\n' + QDir::toNativeSeparators(refusal.path)
                                    + u'\n' + m_context.message(messageFor(refusal.problem)),
                                Dialogs::Icon::Error);
}

bool Startup::takeLock()
{
    AppContext& ctx = m_context;
    m_lock = std::make_unique<InstanceLock>();
    const InstanceLock::Outcome outcome = m_lock->take(ctx.programFolder() + QStringLiteral("/k27center.lock"));
    if (outcome == InstanceLock::Outcome::Taken)
        return true;
    if (outcome == InstanceLock::Outcome::HeldElsewhere) {
        ctx.dialogs().message(nullptr, ctx.message(Msg::AlreadyRunning), Dialogs::Icon::Warning);
    } else {
        const int error = m_lock->error();
        const QString reason = error == EROFS || error == EACCES || error == EPERM
                                   ? ctx.message(Msg::FolderReadOnly)
                                   : ctx.message(Msg::SystemReports) + u' '
                                         + QString::fromLocal8Bit(std::strerror(error));
        ctx.dialogs().message(nullptr,
                              ctx.message(Msg::CannotLock) + u'\n' + QDir::toNativeSeparators(ctx.programFolder())
                                  + u'\n' + reason,
                              Dialogs::Icon::Error);
    }
    m_lock.reset();
    return false;
}

bool Startup::openServerRegister()
{
    AppContext& ctx = m_context;
    Dialogs& dialogs = ctx.dialogs();
    const QString base = ctx.registerLocation();
    QString password;
    bool typed = false;
    for (;;) {
        QString url = typed ? withPassword(base, password) : base;
        Database db;
        QString reason;
        const Database::Fault fault = k27::openServerRegister(db, url, &reason);
        if (fault == Database::Fault::None) {
            // A register made by k27-db init: its first operator is made as in a new file.
            ctx.firstStart = !db.exists(QStringLiteral("SELECT 1 FROM 用户表"));
            db.close();
            if (typed)
                ctx.setRegister(url);
            wipe(password);
            if (!ctx.databases().window()) {
                dialogs.message(nullptr, ctx.message(Msg::ServerUnreachable) + u'\n' + ctx.databases().lastError(),
                                Dialogs::Icon::Error);
                return false;
            }
            return true;
        }
        if (typed)
            wipe(url);
        if (fault == Database::Fault::Password) {
            // libpq has tried ~/.pgpass already; a password refused there or typed here is said so.
            const bool refused = typed || !passwordMissing(reason);
            wipe(password);
            password = askServerPassword(ctx, nullptr, base, refused);
            if (password.isEmpty())
                return false;
            typed = true;
            continue;
        }
        wipe(password);
        if (fault == Database::Fault::Unreachable || fault == Database::Fault::Other) {
            if (dialogs.question(nullptr, ctx.message(Msg::ServerUnreachable) + u'\n' + reason + u'\n'
                                              + ctx.message(Msg::ServerTryAgain)))
                continue;
            return false;
        }
        const QString detail = fault == Database::Fault::NoSchema ? serverName(base) : reason;
        dialogs.message(nullptr, ctx.message(serverFaultMessage(fault)) + u'\n' + detail, Dialogs::Icon::Error);
        return false;
    }
}

// A new folder (the user's data folder on a first start) is made here, before the
// settings file is created in it. The user's data folder is the program's own: a link or
// another user's folder in its place is refused (its settings are not even read).
PathRefusal Startup::readSettings()
{
    AppContext& ctx = m_context;
    PathRefusal unsafe;
    if (ctx.privateProgramFolder) {
        if (const PathProblem problem = securePrivateFolder(ctx.programFolder(), true); problem != PathProblem::None)
            unsafe = {ctx.programFolder(), problem};
    } else {
        QDir().mkpath(ctx.programFolder());
    }
    if (unsafe.problem == PathProblem::None) {
        ctx.settings = readSettingsFile(ctx.settingsPath());
        if (ctx.settings.port == NamedDevicePort)
            ctx.deviceName = readDeviceName(ctx.deviceNamePath());
    }
    return unsafe;
}

Startup::Outcome Startup::run()
{
    AppContext& ctx = m_context;
    Dialogs& dialogs = ctx.dialogs();

    const PathRefusal unsafe = readSettings();

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

    if (unsafe.problem != PathProblem::None) {
        refuse(unsafe);
        return Outcome::Exit;
    }
    // A register named on the command line goes before the one chosen for this folder.
    if (!ctx.onServer()) {
        const RegisterChoice choice = readRegisterChoice(registerChoicePath(ctx.programFolder()));
        if (choice.server)
            ctx.setRegister(choice.url());
    }
    // A shared server holds the register: nothing of the file's (Data folder, marker, file
    // modes) applies. The lock stays: one program per folder.
    if (ctx.onServer()) {
        if (!takeLock() || !openServerRegister())
            return Outcome::Exit;
    } else if (!openFileRegister()) {
        return Outcome::Exit;
    }
    ctx.serialSettings = serialSettingsString(ctx.baudText);
    return Outcome::Continue;
}

bool Startup::openFileRegister()
{
    const QString dataFolder = m_context.programFolder() + QStringLiteral("/Data");
    if (!registerWritable(dataFolder))
        return false;
    if (const PathRefusal unsafe = unsafeDataPlace(dataFolder); unsafe.problem != PathProblem::None) {
        refuse(unsafe);
        return false;
    }
    return takeLock() && prepareDatabaseFile(dataFolder) && openDatabaseFile();
}

// A register that cannot be written (a read-only copy of the program folder) is said so;
// the program never starts a second, empty one elsewhere in its place.
bool Startup::registerWritable(const QString& dataFolder) const
{
    AppContext& ctx = m_context;
    const bool hasRegister = existsHere(ctx.databasePath()) || existsHere(ctx.databaseMarkerPath());
    if (hasRegister) {
        makeWritable(ctx.databasePath());
        if (!writable(ctx.programFolder()) || (existsHere(dataFolder) && !writable(dataFolder))
            || (QFileInfo::exists(ctx.databasePath()) && !writable(ctx.databasePath()))) {
            ctx.dialogs().message(
                nullptr, ctx.message(Msg::RegisterReadOnly) + u'\n' + QDir::toNativeSeparators(ctx.programFolder()),
                Dialogs::Icon::Error);
            return false;
        }
    }
    return true;
}

// The Data folder holds the register: a real folder of this user, owner-only. A database
// name that is a link to nothing would have the register created wherever it points.
PathRefusal Startup::unsafeDataPlace(const QString& dataFolder) const
{
    PathRefusal unsafe;
    if (existsHere(dataFolder)) {
        if (const PathProblem problem = securePrivateFolder(dataFolder, false); problem != PathProblem::None)
            unsafe = {dataFolder, problem};
    }
    if (unsafe.problem == PathProblem::None && isDanglingLink(m_context.databasePath()))
        unsafe = {m_context.databasePath(), PathProblem::DanglingLink};
    return unsafe;
}

// Runs with the lock held.
bool Startup::prepareDatabaseFile(const QString& dataFolder)
{
    AppContext& ctx = m_context;
    Dialogs& dialogs = ctx.dialogs();
    // Data files of earlier versions were readable by every local user.
    tightenDataFiles(ctx.programFolder(), ctx.userDataFolder);
    // Copies a killed backup left half-made; no copy of this folder runs while the lock is ours.
    if (existsHere(dataFolder))
        removeLeftoverCopies(dataFolder);
    makeWritable(ctx.databasePath());
    // A folder that never had a database gets an empty one; one whose database has gone
    // (the marker says it existed) must not silently start over with an empty register.
    if (!QFileInfo::exists(ctx.databasePath()) && !QFileInfo::exists(ctx.databaseMarkerPath())) {
        makePrivateFolder(dataFolder);
        makePrivateFolder(ctx.imageFolder());
        QString error;
        if (!createProgramDatabase(ctx.databasePath(), &error)) {
            dialogs.message(
                nullptr, ctx.message(Msg::CannotCreateDatabase) + u'\n' + QDir::toNativeSeparators(ctx.databasePath()),
                Dialogs::Icon::Error);
            return false;
        }
        tightenMode(ctx.databasePath());
        ctx.firstStart = true;
    }
    if (!QFileInfo::exists(ctx.databasePath())) {
        dialogs.message(nullptr, ctx.message(Msg::DatabaseMissing), Dialogs::Icon::Error);
        return false;
    }
    makeWritable(ctx.databasePath());
    return true;
}

bool Startup::openDatabaseFile()
{
    AppContext& ctx = m_context;
    // Refuse a file that does not open with the database password instead of starting
    // with an empty register; the file itself is left as it is.
    // The check opens the connection the window goes on using.
    Database* db = ctx.databases().window();
    if (!db || !hasRegisterTables(*db)) {
        ctx.databases().close();
        ctx.dialogs().message(nullptr, ctx.message(Msg::DatabaseUnreadable), Dialogs::Icon::Error);
        return false;
    }
    // Work that a killed run committed to the log goes into the file now.
    ctx.databases().settle();

    if (!QFileInfo::exists(ctx.databaseMarkerPath())) {
        QFile marker(ctx.databaseMarkerPath());
        if (marker.open(QIODevice::WriteOnly))
            marker.write("Data/Data.kvd has existed in this folder. If it is missing, restore it from a\n"
                         "backup (Data/Bak01.kvd .. Data/Bak10.kvd) instead of starting a new register.\n");
    }
    return true;
}

} // namespace k27
