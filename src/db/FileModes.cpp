#include "FileModes.h"

#include "db/Backup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace k27 {

bool tightenMode(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode))
        return true;   // nothing there; a link is left alone, its target is checked by name
    const mode_t mode = info.st_mode & 07777;
    if ((mode & 077) == 0)
        return true;
    return ::chmod(name.constData(), mode & ~mode_t(077)) == 0;
}

bool keepStricterMode(const QString& copy, const QString& target)
{
    struct stat own {}, theirs {};
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
        QStringList files = data.entryList({QStringLiteral("*.kvd"), QStringLiteral("*.kvd-journal"),
                                            QStringLiteral("*.kvd.*.tmp")},
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

} // namespace k27
