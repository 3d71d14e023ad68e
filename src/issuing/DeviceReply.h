#pragma once

#include <QByteArray>
#include <QString>

namespace k27 {

// One block read from the device after a data notification, told apart by its length:
// 2 bytes acknowledge a frame, 8 bytes report a written card, 4 bytes a card read.
struct DeviceReply
{
    enum class Kind {
        Accepted,         // 2 bytes, first 0xAA (message 51)
        Refused,          // 2 bytes, any other first byte (message 52)
        CardWritten,      // 8 bytes BB BB BB CC n0 n1 n2 x (message 53 + number)
        UnknownEightByte, // 8 bytes with another head (message 54)
        CardRead,         // 4 bytes n0 n1 n2 x
        Other,            // any other length: only the list is refreshed
    };

    Kind kind = Kind::Other;
    quint32 cardNumber = 0; // CardWritten and CardRead: 24-bit, low byte first
    QString cardNumberText; // the same in decimal, padded with "0" to 10 characters
};

DeviceReply decodeReply(const QByteArray& block);

// The form stored in 卡号 and searched for: 12345 -> "0000012345".
QString cardNumberText(quint32 cardNumber);

} // namespace k27
