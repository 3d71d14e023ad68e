#include "FileModes.h"

#include "db/Backup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k27 {

bool tightenMode(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode))
        return true; // nothing there; a link is left alone, its target is checked by name
    const mode_t mode = info.st_mode & 07777;
    if ((mode & 077) == 0)
        return true;
    return ::chmod(name.constData(), mode & ~mode_t(077)) == 0;
}

bool keepStricterMode(const QString& copy, const QString& target)
{
    struct stat own
    {
    }, theirs{};
    const QByteArray copyName = QFile::encodeName(copy);
    if (::stat(copyName.constData(), &own) != 0)
        return false;
    if (::stat(QFile::encodeName(target).constData(), &theirs) != 0)
        return true;
    return ::chmod(copyName.constData(), own.st_mode & theirs.st_mode & 0777) == 0;
}

bool makePrivateFolder(const QString& path)
{
    if (path.isEmpty() || !QDir().mkpath(path))
        return false;
    return ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

void tightenDataFiles(const QString& programFolder, const QString& userDataFolder)
{
    const QDir data(QDir(programFolder).filePath(QStringLiteral("Data")));
    if (data.exists()) {
        tightenMode(data.path());
        tightenMode(data.filePath(QStringLiteral("img")));
        QStringList files = data.entryList(
            {QStringLiteral("*.kvd"), QStringLiteral("*.kvd-journal"), QStringLiteral("*.kvd.*.tmp")},
            QDir::Files | QDir::Hidden);
        for (const QString& file : std::as_const(files))
            tightenMode(data.filePath(file));
    }
    if (!userDataFolder.isEmpty() && QFileInfo::exists(userDataFolder)) {
        tightenMode(userDataFolder);
        const QString backup = manualBackupPath(userDataFolder);
        tightenMode(QFileInfo(backup).absolutePath());
        tightenMode(backup);
    }
}

bool isLink(const QString& path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool isDanglingLink(const QString& path)
{
    struct stat info
    {
    };
    return isLink(path) && ::stat(QFile::encodeName(path).constData(), &info) != 0;
}

// What lies at `name`, seen without following a link, when it cannot be opened as wanted.
static PathProblem problemAt(const QByteArray& name, bool folder)
{
    struct stat info
    {
    };
    if (::lstat(name.constData(), &info) != 0)
        return errno == ENOENT ? PathProblem::Missing : PathProblem::CannotUse;
    if (S_ISLNK(info.st_mode))
        return ::stat(name.constData(), &info) != 0 ? PathProblem::DanglingLink : PathProblem::Link;
    if (folder != S_ISDIR(info.st_mode))
        return PathProblem::WrongKind;
    return PathProblem::CannotUse;
}

PathProblem securePrivateFolder(const QString& path, bool create)
{
    if (path.isEmpty())
        return PathProblem::Missing;
    const QByteArray name = QFile::encodeName(QDir::cleanPath(path));
    struct stat info
    {
    };
    if (create && ::lstat(name.constData(), &info) != 0 && errno == ENOENT) {
        // The parents are ordinary folders (the user's own ~/.local/share); the last part is
        // born owner-only. A folder that appeared meanwhile is checked like any other.
        QDir().mkpath(QFileInfo(path).absolutePath());
        ::mkdir(name.constData(), 0700);
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return problemAt(name, true);
    PathProblem problem = PathProblem::None;
    if (::fstat(fd, &info) != 0)
        problem = PathProblem::CannotUse;
    else if (info.st_uid != ::geteuid())
        problem = PathProblem::OtherOwner;
    else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        problem = PathProblem::CannotUse;
    ::close(fd);
    return problem;
}

PathProblem checkPrivateFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a fifo planted in its place must not hold the program up.
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return problemAt(name, false);
    struct stat info
    {
    };
    PathProblem problem = PathProblem::None;
    if (::fstat(fd, &info) != 0)
        problem = PathProblem::CannotUse;
    else if (!S_ISREG(info.st_mode))
        problem = PathProblem::WrongKind;
    else if (info.st_uid != ::geteuid())
        problem = PathProblem::OtherOwner;
    else if ((info.st_mode & 077) != 0)
        problem = PathProblem::OpenToOthers;
    ::close(fd);
    return problem;
}

int messageFor(PathProblem problem)
{
    switch (problem) {
    case PathProblem::None: return 0;
    case PathProblem::Missing: return 224;
    case PathProblem::Link: return 225;
    case PathProblem::DanglingLink: return 226;
    case PathProblem::WrongKind: return 227;
    case PathProblem::OtherOwner: return 228;
    case PathProblem::OpenToOthers: return 229;
    case PathProblem::CannotUse: break;
    }
    return 230;
}

} // namespace k27
