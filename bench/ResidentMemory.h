#pragma once

#include <QFile>

namespace k27::bench {

// The process's resident memory in KiB (VmRSS), -1 where /proc cannot tell.
inline long long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace k27::bench
