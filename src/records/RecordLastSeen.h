#pragma once

#include "RecordQuery.h"

#include <QList>
#include <QString>

namespace k27 {

class Database;

// "Last seen": for every cardholder the filter takes (name, department and card texts), the
// newest of their records the filter takes (time span, terminal), newest first; holders
// without such a record follow, then the cards in the records that belong to no holder.
// Each holder's newest record comes from the one the register keeps for the card; within a
// span, the cards it does not answer are met along the time index or looked up in the
// card-and-time index, whichever costs less; never a scan per holder.
class RecordLastSeen
{
public:
    struct Row
    {
        QString name;
        QString department;
        QString card;
        QString time;     // empty: no record
        QString terminal; // as the record list shows it ("0005")
        QString address;
        bool unknownCard = false;
    };

    // How a span (or terminal) is worked through where the register keeps each card's newest
    // record: the records read along the time index in one statement, and what looking up one
    // card through the card-and-time index costs in records read that way (its own pages
    // against a share of pages read in order: about 12 on a register of 10,000,000 records).
    struct Plan
    {
        qint64 sliceRecords = 20000;
        double seekCost = 12;
    };

    // False when the database refused (`rows` is then empty). The recent mode has no
    // cardholder texts and no span: every holder and every record count.
    static bool run(Database& db, const RecordFilter& filter, QList<Row>& rows, const Plan& plan);
    static bool run(Database& db, const RecordFilter& filter, QList<Row>& rows);
};

} // namespace k27
