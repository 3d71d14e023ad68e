#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The bytes on the line to the card-issuing device: the 111-byte card command
// frame, the stop byte, and the device's 2-, 4- and 8-byte replies. Checks and a
// readable decode are here so that the program, the device simulator and the
// tests agree on one definition.
namespace k27::CardFrame {

inline constexpr int FrameLength = 111;
inline constexpr quint8 CommandByte = 0x09;
inline constexpr quint8 StopByte = 0x0D;

// Byte offsets within the frame.
inline constexpr int CommandOffset = 0;
inline constexpr int RangeOffset = 1;
inline constexpr int FirstCodeOffset = 2;
inline constexpr int SecondCodeOffset = 8;
inline constexpr int CodeLength = 6;
inline constexpr int TerminalSlotOffset = 14;
inline constexpr int FixedOffsetA = 60;
inline constexpr int FixedOffsetB = 61;
inline constexpr int ValiditySlotOffset = 62;
inline constexpr int YearOffset = 108;
inline constexpr int DayOffset = 109;
inline constexpr int ChecksumOffset = 110;

inline constexpr quint8 FixedByteA = 0x2E;
inline constexpr quint8 FixedByteB = 0x2F;
inline constexpr quint8 EmptyByte = 0xFF; // slot not granted, code block unused
inline constexpr quint8 RangeBase = 0x08; // range byte = RangeBase + range index
inline constexpr int RangeCount = 8;
inline constexpr int TerminalsPerRange = 46;
inline constexpr int BaseYear = 2008;                   // year byte = year - BaseYear
inline constexpr quint8 IssueValidityNibble = 0x0A;     // new card, renewal
inline constexpr quint8 TemporaryValidityNibble = 0x0B; // temporary card

// The installation's card code, carried in the code blocks of every frame. It is
// a configuration constant of this installation: it has to match the cards and
// the issuing device in use ("K27CEN" in ASCII).
inline constexpr std::array<quint8, CodeLength> SiteCardCode{0x4B, 0x32, 0x37, 0x43, 0x45, 0x4E};
QByteArray siteCardCode();

// Replies of the device, told apart by their length.
inline constexpr int AckReplyLength = 2;
inline constexpr int CardReadReplyLength = 4;
inline constexpr int CardWrittenReplyLength = 8;
inline constexpr quint8 AckAccepted = 0xAA;
inline constexpr quint8 AckRefused = 0x55; // any first byte other than 0xAA refuses
inline constexpr std::array<quint8, 4> CardWrittenMarker{0xBB, 0xBB, 0xBB, 0xCC};
inline constexpr quint32 CardNumberMask = 0xFFFFFF; // card numbers are 24-bit

enum class Validation { Ok, WrongLength, WrongCommand, WrongChecksum };
enum class CommandType { NewCard, Temporary, Renewal, Restore, Unknown };

// XOR of bytes 0..109 (of as many as the data holds).
quint8 checksum(const QByteArray& frame);
Validation validateFrame(const QByteArray& frame);
QString validationText(Validation v);

// Command type from the code blocks; temporary and renewal share their blocks and
// differ in the low nibble of the granted validity bytes.
CommandType commandType(const QByteArray& frame);
QString commandTypeText(CommandType t);

// One line: command type, range, granted terminals with their validity, year and
// day bytes. Safe on any input.
QString describeFrame(const QByteArray& frame);

QByteArray cardWrittenReply(quint32 cardNumber);
QByteArray cardReadReply(quint32 cardNumber);
QByteArray ackReply(bool accepted);

} // namespace k27::CardFrame
