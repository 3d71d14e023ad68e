#pragma once

#include "RecordLastSeen.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>

namespace k27 {

class Database;

// Each card's newest record for "last seen", read into memory from the register's kept newest
// records (the embedded file): the holders are then joined and sorted here, which costs less
// than a statement that joins and sorts every holder.
namespace lastSeen {

struct Record
{
    QString card;
    QString time;
    double number = 0; // the time, where it was written as a number
    int kind = 0;      // the engine's order of values: 1 numbers, 2 texts, 3 blobs
    // The time's digits as one number where it is written as yyyy-MM-dd HH:mm:ss: such times
    // compare as these numbers do (-1: written otherwise).
    qint64 digits = -1;
    qint64 id = 0;
    QVariant terminal; // as the record holds it
    qint64 terminalNumber = 0;
    bool held = false;    // a holder listed has the card
    bool pending = false; // (while it is looked for)
};

// Below zero when `a` comes first: newer (by time, then record ID), as the engine orders them.
int compareNewestFirst(const Record& a, const Record& b);
// The engine's order of texts (code points); UTF-16 differs past U+FFFF.
int compareTexts(QStringView a, QStringView b);

// A card number as a number: up to 17 digits packed with their count (the usual cards, no
// text kept or compared per look-up), other texts numbered below zero as they are added.
class CardKeys
{
public:
    qint64 add(const QString& card);
    qint64 find(const QString& card) const; // 0: an other text never added

private:
    QHash<QString, qint64> m_others;
};

// Each card's record by its key.
struct Records
{
    CardKeys keys;
    QHash<qint64, Record> byKey;
};

// Which cards are read: those that contain `text` as the record list's "contains" tests it
// (empty: every card) and, given `only`, are in it (by key).
struct Cards
{
    QString text;
    const QSet<qint64>* only = nullptr;
};

// Each card's kept newest record, into `records` (empty, perhaps reserved).
bool readKept(Database& db, const Cards& cards, Records& records);
// Each card's newest record that the span and terminal of `filter` take (the day counts must
// be there to plan the work). Most cards are answered by their kept newest record: one before
// the span has nothing in it, one inside it (at the terminal asked for) is the answer. Only the
// others are looked for: along the time index backwards from the span's end, some days at a
// time while that finds enough of them (a card used every day is met within days), then the
// rest one step into the card-and-time index each.
bool readWithin(Database& db, const RecordFilter& filter, const Cards& cards, const RecordLastSeen::Plan& plan,
                Records& records);

} // namespace lastSeen

} // namespace k27
