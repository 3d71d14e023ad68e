#pragma once

#include <QDateTime>
#include <QString>

namespace k27 {

class Database;
class RecordRows;

// What the records page's query options hold when the search button is pressed.
struct RecordFilter {
    QString card;            // TxtCode: part of the card number
    QString name;            // T_Name: part of the cardholder's name
    QString department;      // T_Dpt: part of the department
    QString terminal;        // T_No: the terminal number (5 and 005 both mean 5)
    bool timeSpan = false;   // CKD
    QDateTime start;         // DT(1), included
    QDateTime end;           // DT(0), included
    bool recent = false;     // CKNum: the newest N records, the texts above ignored
    QString recentText;      // CmbNum's text: N
};

// The record query: entry/exit records with their cardholder and terminal address,
// newest first, into RecordRows.
class RecordQuery
{
public:
    enum class Outcome {
        NotRun,   // recent mode with N = 0: nothing happened, the rows are unchanged
        Done,     // the rows hold the result (maybe none: the page shows message 120)
        Failed    // the database refused: the rows are empty
    };
    struct Result {
        Outcome outcome = Outcome::NotRun;
        int rows = 0;
    };

    // N of recent mode: the text's leading number without sign, rounded half to even; 0 when
    // the text has no number.
    static qint64 recentCount(const QString& text);

    // Builds the indexes the record operations rely on when a database lacks them (files made
    // before they were part of the schema). Cheap when they exist; the first run on a large
    // table takes a few seconds. Called at the start of every query, import and deletion.
    static void ensureIndexes(Database& db);

    // Runs the query on an open database and refills `rows`. Filter texts are cut at NUL and
    // trimmed here; "%" and "_" in them match themselves.
    static Result run(Database& db, const RecordFilter& filter, RecordRows& rows);

    // A terminal number as the grid shows it: at least four digits ("0005", "12345").
    static QString terminalText(qint64 number);
};

} // namespace k27
