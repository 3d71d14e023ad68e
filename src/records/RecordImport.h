#pragma once

#include <QByteArray>
#include <QString>

namespace k27 {

class Database;
class ImportProgress;
class LanguageTable;
class RecordRows;

// Brings entry/exit records in from a terminal's text file: one record per line,
// "terminal,card,date,time,weekday". New records are stored and shown in RecordRows,
// records already stored (same card and time) are skipped.
class RecordImport
{
public:
    static constexpr int ProgressStep = 50;    // lines between two progress reports
    static constexpr int CommitStep = 1000;    // lines stored per transaction without a progress display
    static constexpr int CardWidth = 15;       // widths of 卡号 and 星期
    static constexpr int WeekdayWidth = 10;

    struct Result {
        bool readable = false;   // false: the file could not be read (message 112), nothing changed
        int total = 0;           // line breaks in the file
        int read = 0;            // lines taken from the file
        int added = 0;
        int skipped = 0;         // bad date/time, already stored, or refused by the table
    };

    // Imports the file into the open database; `rows` is replaced by the added records.
    // `progress` may be null.
    static Result run(Database& db, const QString& path, RecordRows& rows, ImportProgress* progress);
    // The same for the file's bytes (UTF-8 when valid, otherwise GB18030).
    static Result runBytes(Database& db, const QByteArray& bytes, RecordRows& rows, ImportProgress* progress);

    // message 113 + added + message 114 + skipped + message 115
    static QString summary(const LanguageTable& language, const Result& result);
};

} // namespace k27
