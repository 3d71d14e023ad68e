#pragma once

#include "issuing/CardFrame.h"
#include "issuing/IssueRequest.h"
#include "issuing/TerminalTexts.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace k27 {

class LanguageTable;

// The 111-byte card command frame the main window keeps for the whole run, with the
// issuing lists that the reply handler reads (the validity text of every granted
// terminal, the terminals of the last restore).
//
// A start builds a frame in two steps so that the page can ask for confirmation in
// between: prepareIssue()/prepareRestore() check the choices and lay out the slots,
// completeIssue()/completeRestore() fill in the rest and the checksum. SendFrame()
// (DeviceCommands.h) then puts the bytes on the line.
class CommandBuffer
{
public:
    using CommandType = CardFrame::CommandType;

    enum class IssueCheck {
        Ready,                 // complete with completeIssue()
        NoTerminal,            // nothing ticked (message 109)
        YearOutOfRange,        // the year byte cannot hold the validity year (message 138)
        BadIdentificationCode, // outside 0..255 (message 106)
    };

    // The year byte holds year - 2008. 0xFF (2263) is the restore frame's "no year", so a card
    // can hold 2009..2262; anything outside is refused, not wrapped onto another year.
    static constexpr int FirstYear = 2009;
    static constexpr int LastYear = 2262;

    CommandBuffer(); // prefilled

    // The load state: bytes 2..110 = 0xFF, the fixed bytes 0x2E 0x2F, range byte 0x08,
    // command byte 0 until a command type is chosen.
    void prefill();
    // Command byte and the two code blocks of the type; Unknown changes nothing.
    void SetCommandType(CommandType type);
    // Range byte := 0x08 + index. Indices outside 0..7 are taken as the nearest range.
    void setRange(int rangeIndex);
    // All 46 terminal slots and 46 validity slots := 0xFF.
    void resetSlots();

    // Checks the request, then clears the slots and ValidityText and lays out the ticked
    // terminals. On any answer but Ready nothing further is done and completeIssue()
    // refuses; a bad code or year leaves the buffer untouched.
    IssueCheck prepareIssue(const IssueRequest& request);
    // Fills ValidityText (texts from `language`), the range, year and day/identification
    // bytes and the checksum. False when no prepared issue is waiting.
    bool completeIssue(const LanguageTable& language);

    // Records the ticked terminals in RestoreList (ValidityText is emptied, as at every
    // start) and sets the range byte.
    void prepareRestore(const QList<int>& tickedTerminals, int rangeIndex);
    // Every terminal slot of the range, no validity, year and day 0xFF, checksum.
    // False when no prepared restore is waiting.
    bool completeRestore();

    // XOR of bytes 0..109 into byte 110; returns it.
    quint8 writeChecksum();

    const QByteArray& bytes() const { return m_bytes; }
    quint8 at(int offset) const { return quint8(m_bytes.at(offset)); }

    const TerminalTexts& validityText() const { return m_validityText; }
    const TerminalTexts& restoreList() const { return m_restoreList; }
    void clearValidityText();

    // What the device writes onto every card of the current run: kept when a frame is sent,
    // so that a start the operator abandons later (or a changed command type) does not change
    // what a written card is recorded with.
    struct SentFrame
    {
        bool restore = false;
        TerminalTexts validityText;
        TerminalTexts restoreList;
    };
    void markSent(bool restore) { m_sent = {restore, m_validityText, m_restoreList}; }
    const SentFrame& sent() const { return m_sent; }

    // The identification code typed in TxtC: its leading number (none counts as 0),
    // refused when below 0 or above 255 (so 255.4 is refused), otherwise rounded to the
    // nearest integer, halves away from zero.
    static std::optional<int> identificationCode(const QString& text);

private:
    void set(int offset, quint8 value) { m_bytes[offset] = char(value); }

    QByteArray m_bytes;
    TerminalTexts m_validityText;
    TerminalTexts m_restoreList;
    SentFrame m_sent;
    std::optional<IssueRequest> m_pendingIssue;
    bool m_pendingRestore = false;
};

} // namespace k27
