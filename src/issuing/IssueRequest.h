#pragma once

#include "issuing/CardFrame.h"

#include <QDate>
#include <QList>

namespace k27 {

// What the start button gathers from the issuing page for a new card, a temporary card
// or a renewal.
struct IssueRequest
{
    QList<int> tickedTerminals; // numbers of the ticked terminals, in grid order
    CardFrame::CommandType type = CardFrame::CommandType::NewCard;
    bool permanent = false;     // "永久有效" ticked
    QDate validity;             // the validity date (its year is sent even when permanent)
    int identificationCode = 0; // 0..255, see CommandBuffer::identificationCode
    int rangeIndex = 0;         // 0..7
};

} // namespace k27
