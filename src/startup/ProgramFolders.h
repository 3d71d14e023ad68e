#pragma once

#include <QString>
#include <QStringList>

namespace k27 {

// What the command line asks for. Arguments that are not ours (Qt's own, such as
// -platform offscreen) are left to Qt.
struct CommandLine
{
    QString folder;       // --folder DIR
    QString registerUrl;  // --register URL: a server register for this run
    bool help = false;    // --help, -h
    bool version = false; // --version
    QString error;        // a malformed option; the program prints it with the usage and ends
};

CommandLine parseCommandLine(const QStringList& arguments);
QString usageText();

// The names the desktop knows the program by: the window class of its windows (the class
// part of X11's WM_CLASS is the application name), which the desktop entry's StartupWMClass
// repeats so a dock ties the window to its menu entry, and the desktop entry's own id.
inline constexpr char ApplicationName[] = "K27Center";
inline constexpr char DesktopFileId[] = "org.k27center.K27Center";

// Where the program keeps its files. The program folder holds AppSet.dat and Data/; the
// language files may come from elsewhere (an installed program reads the shared copies).
struct ProgramFolders
{
    enum class Kind { Option, Portable, UserData };
    Kind kind = Kind::Portable;
    QString programFolder;
    QString resFolder;
};

// What is known about the machine when the folders are chosen.
struct FolderFacts
{
    QString optionFolder; // --folder, may be empty
    QString executableFolder;
    bool executableHasRes = false; // the executable's folder holds res/
    bool executableWritable = false;
    bool optionHasRes = false;          // the --folder folder holds res/
    QString userDataHome;               // $XDG_DATA_HOME, else ~/.local/share
    QString sharedResFolder;            // the installed language files
    bool executableHasRegister = false; // the executable's folder holds Data/Data.kvd (or had one)
};

// The order: the --folder option; the executable's folder when it holds res/ and can be
// written (a build folder or a portable copy), or holds a register even when it cannot be
// written (start-up then says so rather than start a second, empty register); else
// <userDataHome>/k27center.
ProgramFolders chooseProgramFolders(const FolderFacts& facts);

// Fills the facts from the file system and the environment.
FolderFacts probeFolderFacts(const QString& optionFolder, const QString& executableFolder);

// <userDataHome>/k27center-backup: the manual backup, outside every program folder.
QString manualBackupFolder(const QString& userDataHome);

// A one-line reason when no graphical display can be reached with this environment and
// these arguments; empty when Qt can be started.
QString missingDisplayReason(const QStringList& arguments);

} // namespace k27
