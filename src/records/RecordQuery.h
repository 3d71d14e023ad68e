#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace k27 {

class Database;
class RecordRows;

// What the records page's query options hold when the search button is pressed.
struct RecordFilter
{
    QString card;          // TxtCode: part of the card number
    QString name;          // T_Name: part of the cardholder's name
    QString department;    // T_Dpt: part of the department
    QString terminal;      // T_No: the terminal number (5 and 005 both mean 5)
    bool timeSpan = false; // CKD
    QDateTime start;       // DT(1), included
    QDateTime end;         // DT(0), included
    bool recent = false;   // CKNum: the newest N records, the texts above ignored
    QString recentText;    // CmbNum's text: N
};

// What a query has not read yet. The whole list of a large site runs to millions of records:
// it is read in portions along the entry-time index, newest first, each portion a statement of
// its own that starts after the last record read, so no statement stays open between two
// portions and the database is never held while the operator looks at the first screen.
class RecordCursor
{
public:
    // How a card-number filter reaches its records: through the list of cards and the card
    // index, or along the entry-time index testing each record's card. Both give the same
    // rows; the cheaper is chosen for each time window. Fixed only to compare the two.
    enum class CardReading { Cheapest, CardIndex, TimeIndex };

    bool atEnd() const { return m_sql.isEmpty(); }
    // Up to how many matching cards the statements name (they then enter the card index at
    // once instead of testing the list of cards each time). Changed only to compare the ways.
    static constexpr int FewCards = 64;

    // The way of reading stays.
    void reset()
    {
        const CardReading way = m_cardReading;
        const int few = m_fewCards;
        *this = RecordCursor();
        m_cardReading = way;
        m_fewCards = few;
    }
    void setCardReading(CardReading way) { m_cardReading = way; }
    void setFewCards(int cards) { m_fewCards = cards; }
    // The entry time of the last record read (none before the first), and whether the dated
    // records are all read.
    QVariant lastTime() const { return m_started && !m_undated ? m_lastTime : QVariant(); }
    bool pastDated() const { return m_undated; }
    // Called on a copy made before `reader` read its first rows: the copy then reads the same
    // rows again, leaving out records stored since with a newer entry time.
    void keepBelowFirstOf(const RecordCursor& reader);
    // Appends at least `rows` more result rows when there are so many (the rows of one record
    // are never split) and returns how many were added; -1 when the database refused, the
    // cursor is then at its end.
    int fetch(Database& db, RecordRows& into, int rows) { return read(db, &into, rows); }
    // Steps over at least `rows` more result rows as fetch() would read them, reading only what
    // decides which rows there are (no texts): counting a result costs a fraction of reading it.
    int skip(Database& db, int rows) { return read(db, nullptr, rows); }
    // Reads a block again: as fetch(), but none of the rows at or past where `next` starts.
    // Records deleted meanwhile then leave the block short instead of pulling in rows of the
    // block after it.
    int fetchBefore(Database& db, RecordRows& into, int rows, const RecordCursor& next)
    {
        return read(db, &into, rows, &next);
    }
    // Counts a block again as fetchBefore() would read it (`next` null: to the end).
    int skipBefore(Database& db, int rows, const RecordCursor* next) { return read(db, nullptr, rows, next); }

private:
    friend class RecordQuery;
    int read(Database& db, RecordRows* into, int rows, const RecordCursor* bound = nullptr);
    // Whether a result row (entry time, ID) comes at or after where this cursor goes on.
    bool reachedBy(const QVariant& time, qint64 id) const;
    void planWindows(Database& db);
    void chooseWindow(int wanted);
    QString nextStatement(bool keysOnly, bool windowed, int wanted, QVariantList& params);
    void stepEnded(bool windowed);

    // A card filter over millions of records reads them in windows of entry time, newest
    // first, each sized to hold about the rows asked for: sorting all records of a card
    // pattern that matches a hundred thousand of them takes a second, a window of them a
    // few milliseconds. The sizes follow the rate of matching records seen so far.
    struct Windows
    {
        bool on = false;
        bool chosen = false; // the current window's bound and way are set
        bool walk = false;   // along the entry-time index
        QString walkSql;
        QString walkKeySql;        // the same, keys only (skip())
        QString top;               // the newest entry time
        QString floor;             // nothing older belongs to the result
        QVariant low;              // the current window's lower bound; none: down to the floor
        double seconds = 0;        // its length
        double allPerSecond = 0;   // records per second of entry time, every card
        double matchPerSecond = 0; // records of the matching cards
        qint64 cards = 0;          // cards that match
        qint64 allCards = 0;       // cards listed
        qint64 found = 0;          // rows read in the current window
        bool named = false;        // the matching cards are named in the statements
        // The statements without their card test, for naming the cards.
        QString select, keySelect, where;
    };

    CardReading m_cardReading = CardReading::Cheapest;
    int m_fewCards = FewCards;
    Windows m_windows;
    QString m_sql;    // the statement up to its "after the last record" test
    QString m_keySql; // the same, keys only (skip())
    QVariantList m_params;
    bool m_undated = false; // past the dated records: those without an entry time remain
    bool m_started = false;
    QVariant m_start; // the time span's start and end, when there is one
    QVariant m_end;
    QVariant m_lastTime;
    qint64 m_lastId = 0;
    QVariant m_firstTime; // the first dated record read
    qint64 m_firstId = 0;
    QHash<qint64, QString> m_terminals; // formatted once per terminal number
};

// The record query: entry/exit records with their cardholder and terminal address,
// newest first, into RecordRows.
class RecordQuery
{
public:
    enum class Outcome {
        NotRun, // recent mode with N = 0: nothing happened, the rows are unchanged
        Done,   // the rows hold the result (maybe none: the page shows message 120)
        Failed  // the database refused: the rows are empty
    };
    struct Result
    {
        Outcome outcome = Outcome::NotRun;
        int rows = 0;
    };

    // N of recent mode: the text's leading number without sign, rounded half to even; 0 when
    // the text has no number.
    static qint64 recentCount(const QString& text);

    // The "contains" test of a text field: append containsTest() to the column and bind
    // containsLiteral(text), which takes the operator's text literally (no wildcards).
    static const QString& containsTest();
    static QString containsLiteral(const QString& text);

    // Builds the indexes the record operations rely on when a database lacks them (files made
    // before they were part of the schema). Cheap when they exist; the first run on a large
    // table takes a few seconds. Called at the start of every query, import and deletion.
    static void ensureIndexes(Database& db);

    // Runs the query on an open database and refills `rows`. Filter texts are cut at NUL and
    // trimmed here; "%" and "_" in them match themselves. With `rest`, a result that is read in
    // portions stops after about `firstRows` rows and `rest` keeps the remainder; otherwise
    // (and always without `rest`) every row is read. Result::rows counts the rows read.
    static Result run(Database& db, const RecordFilter& filter, RecordRows& rows, RecordCursor* rest = nullptr,
                      int firstRows = 0);
    // Sets `cursor` at the start of a filter's result without reading a row; false for the
    // recent mode, whose result is one statement (run() reads it).
    static bool start(Database& db, const RecordFilter& filter, RecordCursor& cursor);

    // Reads the list of cards once into the connection's page cache: every card search tests
    // all of it, and the first one after a start would otherwise wait for the disk and the
    // decryption of every page (100-150 ms at a large site). Nothing on a server.
    static void warmCardList(Database& db);

    // A terminal number as the grid shows it: at least four digits ("0005", "12345").
    static QString terminalText(qint64 number);

private:
    // The recent mode's one statement in `sql`, or the cursor set up for reading in portions.
    // Returns whether the card filter's windows are to be planned. `keyJoins`: the joins that
    // decide the count of rows, for skip().
    static bool setUp(const RecordFilter& filter, RecordCursor& cursor, QString& sql, QVariantList& params,
                      QString keyJoins);
};

} // namespace k27
