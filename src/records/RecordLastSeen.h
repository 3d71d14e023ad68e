#pragma once

#include "RecordQuery.h"

#include <QList>
#include <QString>

namespace k27 {

class Database;

// "Last seen": for every cardholder the filter takes (name, department and card texts), the
// newest of their records the filter takes (time span, terminal), newest first; holders
// without such a record follow, then the cards in the records that belong to no holder.
// Each holder's newest record is one step into the card-and-time index, never a scan.
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

    // False when the database refused (`rows` is then empty). The recent mode has no
    // cardholder texts and no span: every holder and every record count.
    static bool run(Database& db, const RecordFilter& filter, QList<Row>& rows);
};

} // namespace k27
