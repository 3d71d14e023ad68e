#include "issuing/CommandBuffer.h"

#include "startup/LanguageTable.h"
#include "startup/TextUtil.h"

#include <cmath>

namespace k27 {

namespace CF = CardFrame;

namespace {

constexpr int PermanentMessage = 19; // month names follow as 20..31

int boundedRange(int rangeIndex)
{
    return qBound(0, rangeIndex, CF::RangeCount - 1);
}

quint8 validityByte(const IssueRequest& r)
{
    const quint8 low = r.type == CF::CommandType::Temporary ? CF::TemporaryValidityNibble : CF::IssueValidityNibble;
    const int month = r.permanent ? 0 : r.validity.month();
    return quint8(month << 4 | low);
}

} // namespace

CommandBuffer::CommandBuffer()
{
    prefill();
}

void CommandBuffer::prefill()
{
    m_bytes = QByteArray(CF::FrameLength, char(CF::EmptyByte));
    set(CF::CommandOffset, 0x00);
    set(CF::FixedOffsetA, CF::FixedByteA);
    set(CF::FixedOffsetB, CF::FixedByteB);
    set(CF::RangeOffset, CF::RangeBase);
}

void CommandBuffer::SetCommandType(CommandType type)
{
    const QByteArray site = CF::siteCardCode();
    const QByteArray empty(CF::CodeLength, char(CF::EmptyByte));
    QByteArray first;
    QByteArray second;
    switch (type) {
    case CommandType::NewCard:
        first = empty;
        second = site;
        break;
    case CommandType::Temporary:
    case CommandType::Renewal:
        first = site;
        second = site;
        break;
    case CommandType::Restore:
        first = site;
        second = empty;
        break;
    case CommandType::Unknown: return;
    }
    set(CF::CommandOffset, CF::CommandByte);
    m_bytes.replace(CF::FirstCodeOffset, CF::CodeLength, first);
    m_bytes.replace(CF::SecondCodeOffset, CF::CodeLength, second);
}

void CommandBuffer::setRange(int rangeIndex)
{
    set(CF::RangeOffset, quint8(CF::RangeBase + boundedRange(rangeIndex)));
}

void CommandBuffer::resetSlots()
{
    for (int i = 0; i < CF::TerminalsPerRange; ++i) {
        set(CF::TerminalSlotOffset + i, CF::EmptyByte);
        set(CF::ValiditySlotOffset + i, CF::EmptyByte);
    }
}

CommandBuffer::IssueCheck CommandBuffer::prepareIssue(const IssueRequest& request)
{
    m_pendingIssue.reset();
    m_pendingRestore = false;
    if (request.identificationCode < 0 || request.identificationCode > 255)
        return IssueCheck::BadIdentificationCode;
    if (!request.validity.isValid() || request.validity.year() < FirstYear || request.validity.year() > LastYear)
        return IssueCheck::YearOutOfRange;

    resetSlots();
    clearValidityText();
    const quint8 validity = validityByte(request);
    bool granted = false;
    for (int n : request.tickedTerminals) {
        if (n <= 0)
            continue;
        const int slot = (n - 1) % CF::TerminalsPerRange;
        set(CF::TerminalSlotOffset + slot, quint8(slot));
        set(CF::ValiditySlotOffset + slot, validity);
        granted = true;
    }
    if (!granted)
        return IssueCheck::NoTerminal;
    m_pendingIssue = request;
    return IssueCheck::Ready;
}

bool CommandBuffer::completeIssue(const LanguageTable& language)
{
    if (!m_pendingIssue)
        return false;
    const IssueRequest r = *m_pendingIssue;
    m_pendingIssue.reset();
    const int range = boundedRange(r.rangeIndex);

    const QString dated = QString::number(r.validity.year()) + QStringLiteral("：")
                          + language.message(PermanentMessage + r.validity.month());
    for (int slot = 0; slot < CF::TerminalsPerRange; ++slot) {
        if (at(CF::TerminalSlotOffset + slot) == CF::EmptyByte)
            continue;
        const int n = CF::TerminalsPerRange * range + slot + 1;
        const bool permanent = (at(CF::ValiditySlotOffset + slot) >> 4) == 0;
        m_validityText[n] = permanent ? language.message(PermanentMessage) : dated;
    }
    set(CF::RangeOffset, quint8(CF::RangeBase + range));
    set(CF::YearOffset, quint8(r.validity.year() - CF::BaseYear));
    set(CF::DayOffset, quint8(r.type == CommandType::Temporary ? r.validity.day() : r.identificationCode));
    writeChecksum();
    return true;
}

void CommandBuffer::prepareRestore(const QList<int>& tickedTerminals, int rangeIndex)
{
    m_pendingIssue.reset();
    clearValidityText();
    m_restoreList.fill(QString());
    for (int n : tickedTerminals) {
        if (n > 0 && n <= MaxRecordedTerminal)
            m_restoreList[n] = QString::number(n);
    }
    setRange(rangeIndex);
    m_pendingRestore = true;
}

bool CommandBuffer::completeRestore()
{
    if (!m_pendingRestore)
        return false;
    m_pendingRestore = false;
    // The card loses every terminal of the range, whatever was ticked.
    for (int i = 0; i < CF::TerminalsPerRange; ++i) {
        set(CF::TerminalSlotOffset + i, quint8(i));
        set(CF::ValiditySlotOffset + i, CF::EmptyByte);
    }
    set(CF::YearOffset, CF::EmptyByte);
    set(CF::DayOffset, CF::EmptyByte);
    writeChecksum();
    return true;
}

quint8 CommandBuffer::writeChecksum()
{
    const quint8 x = CF::checksum(m_bytes);
    set(CF::ChecksumOffset, x);
    return x;
}

void CommandBuffer::clearValidityText()
{
    m_validityText.fill(QString());
}

std::optional<int> CommandBuffer::identificationCode(const QString& text)
{
    const double value = leadingNumber(text);
    if (value < 0 || value > 255)
        return std::nullopt;
    return int(std::lround(value));
}

} // namespace k27
