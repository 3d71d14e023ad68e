#include "issuing/DeviceReply.h"

#include "issuing/CardFrame.h"

namespace k27 {

namespace CF = CardFrame;

namespace {

quint32 numberAt(const QByteArray& block, int offset)
{
    return quint32(quint8(block[offset])) | quint32(quint8(block[offset + 1])) << 8
           | quint32(quint8(block[offset + 2])) << 16;
}

DeviceReply withNumber(DeviceReply::Kind kind, quint32 number)
{
    return DeviceReply{kind, number, cardNumberText(number)};
}

} // namespace

QString cardNumberText(quint32 cardNumber)
{
    return QStringLiteral("%1").arg(cardNumber & CF::CardNumberMask, 10, 10, QLatin1Char('0'));
}

DeviceReply decodeReply(const QByteArray& block)
{
    using Kind = DeviceReply::Kind;
    switch (block.size()) {
    case CF::AckReplyLength:
        return DeviceReply{quint8(block[0]) == CF::AckAccepted ? Kind::Accepted : Kind::Refused, 0, {}};
    case CF::CardWrittenReplyLength:
        for (int i = 0; i < int(CF::CardWrittenMarker.size()); ++i) {
            if (quint8(block[i]) != CF::CardWrittenMarker[i])
                return DeviceReply{Kind::UnknownEightByte, 0, {}};
        }
        return withNumber(Kind::CardWritten, numberAt(block, 4));
    case CF::CardReadReplyLength: return withNumber(Kind::CardRead, numberAt(block, 0));
    default: return DeviceReply{};
    }
}

} // namespace k27
