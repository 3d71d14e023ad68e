#include "WalLog.h"

#include <QFile>
#include <QHash>
#include <QtEndian>

namespace k27 {

namespace {

constexpr int HeaderSize = 32;
constexpr int FrameHeaderSize = 24;
constexpr quint32 MagicLittle = 0x377f0682; // checksums over little-endian words
constexpr quint32 MagicBig = 0x377f0683;    // checksums over big-endian words

quint32 bigEndian(const char* p)
{
    return qFromBigEndian<quint32>(p);
}

// The log's running checksum over `size` bytes (a multiple of 8).
void addChecksum(const char* data, int size, bool big, quint32 sum[2])
{
    for (int i = 0; i < size; i += 8) {
        const quint32 a = big ? qFromBigEndian<quint32>(data + i) : qFromLittleEndian<quint32>(data + i);
        const quint32 b = big ? qFromBigEndian<quint32>(data + i + 4) : qFromLittleEndian<quint32>(data + i + 4);
        sum[0] += a + sum[1];
        sum[1] += b + sum[0];
    }
}

} // namespace

LogState inspectLog(const QString& databasePath)
{
    LogState state;
    QFile log(databasePath + QStringLiteral("-wal"));
    if (!log.exists())
        return state;
    if (!log.open(QIODevice::ReadOnly)) {
        state.readable = false;
        return state;
    }
    const QByteArray header = log.read(HeaderSize);
    if (header.size() < HeaderSize)
        return state; // an empty (emptied) log holds nothing
    const quint32 magic = bigEndian(header.constData());
    const quint32 pageSize = bigEndian(header.constData() + 8);
    if ((magic != MagicLittle && magic != MagicBig) || pageSize < 512 || pageSize > 65536
        || (pageSize & (pageSize - 1)) != 0)
        return state; // not a log the engine would use
    const bool big = magic == MagicBig;
    quint32 sum[2] = {0, 0};
    addChecksum(header.constData(), 24, big, sum);
    if (sum[0] != bigEndian(header.constData() + 24) || sum[1] != bigEndian(header.constData() + 28))
        return state; // a header the engine would ignore
    const QByteArray salt = header.mid(16, 8);

    // The frames that belong to this log (its salt, an unbroken checksum chain); only those up
    // to the last commit count. Each page counts with its last committed content.
    QHash<quint32, qint64> committed; // page -> offset of its content in the log
    QHash<quint32, qint64> pending;
    qint64 offset = HeaderSize;
    for (;;) {
        const QByteArray frameHeader = log.read(FrameHeaderSize);
        const QByteArray content = log.read(pageSize);
        if (frameHeader.size() < FrameHeaderSize || content.size() < qsizetype(pageSize))
            break;
        if (frameHeader.mid(8, 8) != salt)
            break;
        addChecksum(frameHeader.constData(), 8, big, sum);
        addChecksum(content.constData(), int(pageSize), big, sum);
        if (sum[0] != bigEndian(frameHeader.constData() + 16) || sum[1] != bigEndian(frameHeader.constData() + 20))
            break;
        const quint32 page = bigEndian(frameHeader.constData());
        pending.insert(page, offset + FrameHeaderSize);
        if (bigEndian(frameHeader.constData() + 4) != 0) { // a commit: the pages so far count
            for (auto it = pending.cbegin(); it != pending.cend(); ++it)
                committed.insert(it.key(), it.value());
            pending.clear();
        }
        offset += FrameHeaderSize + pageSize;
    }
    state.committedPages = int(committed.size());
    if (committed.isEmpty())
        return state;

    QFile file(databasePath);
    if (!file.open(QIODevice::ReadOnly)) {
        state.readable = false;
        return state;
    }
    for (auto it = committed.cbegin(); it != committed.cend(); ++it) {
        log.seek(it.value());
        const QByteArray inLog = log.read(pageSize);
        const qint64 at = qint64(it.key() - 1) * pageSize;
        const QByteArray inFile = file.size() >= at + pageSize && file.seek(at) ? file.read(pageSize) : QByteArray();
        if (inFile != inLog)
            ++state.pagesNotInFile;
    }
    return state;
}

} // namespace k27
