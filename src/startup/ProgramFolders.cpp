#include "ProgramFolders.h"

#include "db/Database.h"

#include <QDir>
#include <QFileInfo>

namespace k27 {

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine line;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            line.help = true;
        } else if (arg == QLatin1String("--version")) {
            line.version = true;
        } else if (arg == QLatin1String("--folder")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                line.error = QStringLiteral("--folder needs a folder");
                return line;
            }
            line.folder = arguments[++i];
        } else if (arg.startsWith(QLatin1String("--folder="))) {
            line.folder = arg.mid(9);
            if (line.folder.isEmpty()) {
                line.error = QStringLiteral("--folder needs a folder");
                return line;
            }
        } else if (arg == QLatin1String("--register") || arg.startsWith(QLatin1String("--register="))) {
            line.registerUrl = arg.contains(u'=') ? arg.mid(11) : i + 1 < arguments.size() ? arguments[++i] : QString();
            if (!Database::isServerUrl(line.registerUrl)) {
                line.error = QStringLiteral("--register needs a postgresql:// URL");
                return line;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            line.error = QStringLiteral("unknown option %1").arg(arg);
            return line;
        }
        // Anything else belongs to Qt (-platform NAME, -style NAME, ...).
    }
    return line;
}

QString usageText()
{
    return QStringLiteral("Usage: k27center [--folder DIR] [--register URL] [-h|--help] [--version]\n"
                          "Operator program of a card-based entrance-guard installation.\n"
                          "\n"
                          "  --folder DIR  keep the settings, the database and its backups in DIR\n"
                          "  --register URL  use the register on a shared server for this run\n"
                          "                (postgresql://USER@HOST/DATABASE, a libpq URL); without it the\n"
                          "                choice of the system settings page applies\n"
                          "  -h, --help    print this text and exit\n"
                          "  --version     print the version and exit\n"
                          "\n"
                          "Without --folder the program uses the folder of its executable when that folder\n"
                          "holds res/ and is writable (or holds a register), otherwise $XDG_DATA_HOME/k27center\n"
                          "(~/.local/share/k27center).\n");
}

ProgramFolders chooseProgramFolders(const FolderFacts& facts)
{
    ProgramFolders out;
    const QString exeRes = facts.executableFolder + QStringLiteral("/res");
    if (!facts.optionFolder.isEmpty()) {
        out.kind = ProgramFolders::Kind::Option;
        out.programFolder = facts.optionFolder;
        // A folder of its own language files wins; else the installed (or beside-the-program) ones.
        if (facts.optionHasRes)
            out.resFolder = facts.optionFolder + QStringLiteral("/res");
        else
            out.resFolder = facts.executableHasRes ? exeRes : facts.sharedResFolder;
        return out;
    }
    if (facts.executableHasRes && (facts.executableWritable || facts.executableHasRegister)) {
        out.kind = ProgramFolders::Kind::Portable;
        out.programFolder = facts.executableFolder;
        out.resFolder = exeRes;
        return out;
    }
    out.kind = ProgramFolders::Kind::UserData;
    out.programFolder = facts.userDataHome + QStringLiteral("/k27center");
    // A read-only portable copy still brings its own language files.
    out.resFolder = facts.executableHasRes ? exeRes : facts.sharedResFolder;
    return out;
}

FolderFacts probeFolderFacts(const QString& optionFolder, const QString& executableFolder)
{
    FolderFacts facts;
    facts.executableFolder = QDir::cleanPath(QDir(executableFolder).absolutePath());
    if (!optionFolder.isEmpty()) {
        facts.optionFolder = QDir::cleanPath(QDir(optionFolder).absolutePath());
        facts.optionHasRes = QFileInfo(facts.optionFolder + QStringLiteral("/res")).isDir();
    }
    facts.executableHasRes = QFileInfo(facts.executableFolder + QStringLiteral("/res")).isDir();
    facts.executableWritable = QFileInfo(facts.executableFolder).isWritable();
    const QDir exe(facts.executableFolder);
    facts.executableHasRegister = QFileInfo(exe.filePath(QStringLiteral("Data/Data.kvd"))).exists()
                                  || QFileInfo(exe.filePath(QStringLiteral("Data/Data.kvd"))).isSymLink()
                                  || QFileInfo::exists(exe.filePath(QStringLiteral(".database-created")));
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    // XDG base directory rules ignore relative paths.
    if (home.isEmpty() || QDir::isRelativePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    facts.userDataHome = QDir::cleanPath(home);
    // <prefix>/bin/k27center reads <prefix>/share/k27center/res.
    facts.sharedResFolder = QDir::cleanPath(facts.executableFolder + QStringLiteral("/../share/k27center/res"));
    return facts;
}

QString manualBackupFolder(const QString& userDataHome)
{
    return userDataHome + QStringLiteral("/k27center-backup");
}

QString missingDisplayReason(const QStringList& arguments)
{
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const qsizetype at = arguments.indexOf(QStringLiteral("-platform"));
    if (at >= 0 && at + 1 < arguments.size())
        platform = arguments[at + 1];
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty())
        return x11 || wayland ? QString()
                              : QStringLiteral("no graphical display (DISPLAY and WAYLAND_DISPLAY are not set)");
    // Qt tries the platforms of a list in order.
    for (const QString& name : platform.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString base = name.section(QLatin1Char(':'), 0, 0);
        if (base == QLatin1String("xcb")) {
            if (x11)
                return {};
        } else if (base.startsWith(QLatin1String("wayland"))) {
            if (wayland)
                return {};
        } else {
            return {}; // offscreen, vnc, eglfs, ... need no display server
        }
    }
    return QStringLiteral("no graphical display for the platform \"%1\" (DISPLAY or WAYLAND_DISPLAY is not set)")
        .arg(platform);
}

} // namespace k27
