#include "issuing/CardFrame.h"

#include <QStringList>

namespace k27::CardFrame {

namespace {

quint8 byteAt(const QByteArray& data, int i)
{
    return static_cast<quint8>(data.at(i));
}

bool blockIs(const QByteArray& frame, int offset, const std::array<quint8, CodeLength>& bytes)
{
    for (int i = 0; i < CodeLength; ++i) {
        if (byteAt(frame, offset + i) != bytes[i])
            return false;
    }
    return true;
}

constexpr std::array<quint8, CodeLength> EmptyBlock{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

QString hexByte(quint8 b)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString validityText(quint8 v)
{
    if (v == EmptyByte)
        return QStringLiteral("no validity");
    const int low = v & 0x0F;
    const int month = v >> 4;
    if (low != IssueValidityNibble && low != TemporaryValidityNibble)
        return QStringLiteral("bad validity %1").arg(hexByte(v));
    if (month == 0)
        return QStringLiteral("permanent");
    if (month > 12)
        return QStringLiteral("bad month %1").arg(hexByte(v));
    return QStringLiteral("month %1").arg(month);
}

QByteArray reportNumber(quint32 cardNumber)
{
    const quint32 n = cardNumber & CardNumberMask;
    QByteArray out;
    out.append(static_cast<char>(n & 0xFF));
    out.append(static_cast<char>((n >> 8) & 0xFF));
    out.append(static_cast<char>((n >> 16) & 0xFF));
    out.append('\0'); // last byte unused
    return out;
}

} // namespace

QByteArray siteCardCode()
{
    return QByteArray(reinterpret_cast<const char*>(SiteCardCode.data()), CodeLength);
}

quint8 checksum(const QByteArray& frame)
{
    quint8 x = 0;
    const int end = qMin<int>(frame.size(), ChecksumOffset);
    for (int k = 0; k < end; ++k)
        x ^= byteAt(frame, k);
    return x;
}

Validation validateFrame(const QByteArray& frame)
{
    if (frame.size() != FrameLength)
        return Validation::WrongLength;
    if (byteAt(frame, CommandOffset) != CommandByte)
        return Validation::WrongCommand;
    if (byteAt(frame, ChecksumOffset) != checksum(frame))
        return Validation::WrongChecksum;
    return Validation::Ok;
}

QString validationText(Validation v)
{
    switch (v) {
    case Validation::Ok: return QStringLiteral("ok");
    case Validation::WrongLength: return QStringLiteral("wrong length");
    case Validation::WrongCommand: return QStringLiteral("wrong command byte");
    case Validation::WrongChecksum: return QStringLiteral("wrong checksum");
    }
    return QString();
}

CommandType commandType(const QByteArray& frame)
{
    if (frame.size() != FrameLength)
        return CommandType::Unknown;
    const bool firstEmpty = blockIs(frame, FirstCodeOffset, EmptyBlock);
    const bool firstSite = blockIs(frame, FirstCodeOffset, SiteCardCode);
    const bool secondEmpty = blockIs(frame, SecondCodeOffset, EmptyBlock);
    const bool secondSite = blockIs(frame, SecondCodeOffset, SiteCardCode);
    if (firstEmpty && secondSite)
        return CommandType::NewCard;
    if (firstSite && secondEmpty)
        return CommandType::Restore;
    if (firstSite && secondSite) {
        for (int i = 0; i < TerminalsPerRange; ++i) {
            const quint8 v = byteAt(frame, ValiditySlotOffset + i);
            if (byteAt(frame, TerminalSlotOffset + i) == EmptyByte || v == EmptyByte)
                continue;
            if ((v & 0x0F) == TemporaryValidityNibble)
                return CommandType::Temporary;
            if ((v & 0x0F) == IssueValidityNibble)
                return CommandType::Renewal;
        }
    }
    return CommandType::Unknown;
}

QString commandTypeText(CommandType t)
{
    switch (t) {
    case CommandType::NewCard: return QStringLiteral("new card");
    case CommandType::Temporary: return QStringLiteral("temporary card");
    case CommandType::Renewal: return QStringLiteral("renewal");
    case CommandType::Restore: return QStringLiteral("restore");
    case CommandType::Unknown: return QStringLiteral("unknown code blocks");
    }
    return QString();
}

QString describeFrame(const QByteArray& frame)
{
    if (frame.size() != FrameLength)
        return QStringLiteral("not a frame (%1 bytes)").arg(frame.size());

    QStringList parts;
    parts << commandTypeText(commandType(frame));

    const quint8 rangeByte = byteAt(frame, RangeOffset);
    const int range = rangeByte - RangeBase;
    const bool rangeOk = range >= 0 && range < RangeCount;
    if (rangeOk) {
        parts << QStringLiteral("range %1 (terminals %2-%3)")
                     .arg(range)
                     .arg(TerminalsPerRange * range + 1)
                     .arg(TerminalsPerRange * (range + 1));
    } else {
        parts << QStringLiteral("bad range byte %1").arg(hexByte(rangeByte));
    }

    // Runs of neighbouring terminals with the same validity are shown as one entry,
    // so a restore frame reads "93-138 no validity" rather than 46 entries.
    QStringList granted;
    int runStart = -1;
    int runEnd = -1;
    QString runText;
    auto flush = [&] {
        if (runStart < 0)
            return;
        const QString who = runStart == runEnd ? QString::number(runStart)
                                               : QStringLiteral("%1-%2").arg(runStart).arg(runEnd);
        granted << QStringLiteral("%1 %2").arg(who, runText);
        runStart = -1;
    };
    for (int i = 0; i < TerminalsPerRange; ++i) {
        const quint8 slot = byteAt(frame, TerminalSlotOffset + i);
        if (slot == EmptyByte)
            continue;
        const int terminal = rangeOk ? TerminalsPerRange * range + i + 1 : i + 1;
        QString text = validityText(byteAt(frame, ValiditySlotOffset + i));
        if (slot != i)
            text += QStringLiteral(" [slot %1 holds %2]").arg(i).arg(hexByte(slot));
        if (runStart >= 0 && terminal == runEnd + 1 && text == runText) {
            runEnd = terminal;
            continue;
        }
        flush();
        runStart = runEnd = terminal;
        runText = text;
    }
    flush();
    parts << (granted.isEmpty() ? QStringLiteral("no terminals")
                                : QStringLiteral("terminals %1").arg(granted.join(QStringLiteral(", "))));

    const quint8 year = byteAt(frame, YearOffset);
    parts << (year == EmptyByte ? QStringLiteral("year none") : QStringLiteral("year %1").arg(BaseYear + year));
    parts << QStringLiteral("day/id %1").arg(byteAt(frame, DayOffset));

    if (byteAt(frame, FixedOffsetA) != FixedByteA || byteAt(frame, FixedOffsetB) != FixedByteB) {
        parts << QStringLiteral("fixed bytes %1 %2")
                     .arg(hexByte(byteAt(frame, FixedOffsetA)), hexByte(byteAt(frame, FixedOffsetB)));
    }
    return parts.join(QStringLiteral("; "));
}

QByteArray cardWrittenReply(quint32 cardNumber)
{
    QByteArray out(reinterpret_cast<const char*>(CardWrittenMarker.data()), int(CardWrittenMarker.size()));
    return out + reportNumber(cardNumber);
}

QByteArray cardReadReply(quint32 cardNumber)
{
    return reportNumber(cardNumber);
}

QByteArray ackReply(bool accepted)
{
    QByteArray out;
    out.append(static_cast<char>(accepted ? AckAccepted : AckRefused));
    out.append('\0');
    return out;
}

} // namespace k27::CardFrame
