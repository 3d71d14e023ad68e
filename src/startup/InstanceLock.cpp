#include "InstanceLock.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace k27 {

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing ends the lock
}

InstanceLock::Outcome InstanceLock::take(const QString& path)
{
    if (m_fd >= 0)
        return Outcome::Taken;
    m_error = 0;
    // Opened, never created afresh over a link: the lock is the file of this folder.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = errno;
        return Outcome::Failed;
    }
    // flock() locks belong to the open file: a second open in this process is refused too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Outcome::HeldElsewhere;
        m_error = error;
        return Outcome::Failed;
    }
    m_fd = fd;
    // Who holds it, for a person who looks (in the form earlier versions wrote, so that they
    // see it as held); nothing here depends on it, so a disk too full to take it changes nothing.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n'
                           + QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName().toUtf8()
                           + '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
    if (::ftruncate(fd, 0) == 0) {
        const ssize_t written = ::pwrite(fd, pid.constData(), size_t(pid.size()), 0);
        Q_UNUSED(written);
    }
    return Outcome::Taken;
}

} // namespace k27
