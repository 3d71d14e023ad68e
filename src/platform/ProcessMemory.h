#pragma once

#include <QByteArray>
#include <QFile>

namespace k27 {

// A memory figure of this process in KiB from /proc/self/status ("VmRSS:", "VmHWM:"), -1 where
// the system cannot tell.
inline long long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The resident memory in KiB.
inline long long residentKb()
{
    return statusKb("VmRSS:");
}

} // namespace k27
