#pragma once

#include <QString>

namespace k27 {

class Database;
class ImportProgress;
class LanguageTable;
class RecordList;
class RecordRows;

// Deletes the records of a block of grid rows: every stored record with the card number
// (column 8) and entry time (column 1) of a row goes, and the list follows the database.
class RecordDeletion
{
public:
    static constexpr int ProgressStep = 50;

    enum class Check {
        Ok,       // ask message 61, then run
        NoRows,   // the grid has no data row: message 116
        HeaderRow // the selection touches the header row: message 15
    };

    // Puts the selection's ends in order (first <= last) and says whether a deletion may start.
    // `rowCount` is the number of data rows.
    static Check check(int rowCount, int& first, int& last);

    // Deletes the records of rows first..last (in order, within 1..n) on the open database;
    // afterwards `rows` shows what is stored: every row of a deleted record leaves it (twins
    // too), a row whose key found nothing stays. Returns the number of records deleted.
    // `progress` (may be null) counts the rows handled. When the database cannot be written,
    // or the progress asks to stop, the run ends at a commit: only committed deletions count,
    // and *writeFailed is set for the former, *stopped for the latter.
    static int run(Database& db, RecordRows& rows, int first, int last, ImportProgress* progress,
                   bool* writeFailed = nullptr, bool* stopped = nullptr);
    // The same on a record list of any size: the keys are taken a block at a time, each block
    // whole before any of its records go.
    static int run(Database& db, RecordList& rows, int first, int last, ImportProgress* progress,
                   bool* writeFailed = nullptr, bool* stopped = nullptr);

    // message 117 + count + message 118 (and message 150 when the database stopped the run,
    // 204 when a close did)
    static QString summary(const LanguageTable& language, int count, bool writeFailed = false, bool stopped = false);
};

} // namespace k27
