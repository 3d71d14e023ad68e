#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace k27 {

class Database;
class ImportProgress;
class LanguageTable;
class RecordRows;

// Brings entry/exit records in from a terminal's text file: one record per line,
// "terminal,card,date,time,weekday". New records are stored and shown in RecordRows,
// records already stored (same card and time) are skipped.
//
// The file is read as a stream, twice (once to count its lines), so memory does not grow
// with its size; a line longer than MaxLineBytes is cut there. Records are stored in steps
// (WriteSteps): a step that cannot be committed ends the run, and its lines are neither
// counted nor shown.
class RecordImport
{
public:
    static constexpr int ProgressStep = 50; // lines between two progress reports
    static constexpr int CardWidth = 15;    // widths of 卡号 and 星期
    static constexpr int WeekdayWidth = 10;
    static constexpr int MaxLineBytes = 1 << 20;
    // The page cache of a run, in KiB: room for the card index pages a file of some thousand
    // cards keeps writing to, while a million lines stay within some 64 MB more memory.
    static constexpr int CacheKb = 24 << 10;

    struct Result
    {
        bool readable = false;    // false: the file could not be read (message 112), nothing changed
        bool writeFailed = false; // the database could not be written: the run stopped there
        bool stopped = false;     // stopped on request (a close) at a commit before the end
        int total = 0;            // line breaks in the file
        int read = 0;             // lines taken from the file (up to the last committed step)
        int added = 0;
        int skipped = 0; // bad date/time, already stored, or refused by the table
    };

    // Imports the file into the open database; `rows` is replaced by the added records.
    // `progress` may be null.
    static Result run(Database& db, const QString& path, RecordRows& rows, ImportProgress* progress);
    // The same for the file's bytes (UTF-8 when valid, otherwise GB18030).
    static Result runBytes(Database& db, const QByteArray& bytes, RecordRows& rows, ImportProgress* progress);
    // The same for a readable, seekable device.
    static Result runDevice(Database& db, QIODevice& file, RecordRows& rows, ImportProgress* progress);
    // The same for a file, read and stored on a thread of its own in longer steps while the
    // calling (window) thread handles its events; `db` must not be used meanwhile. `rows`
    // changes only at the end, `progress` is told on the calling thread. When the run is over
    // the file alone holds it (the write-ahead log is copied in when nothing is in the way).
    static Result runInBackground(Database& db, const QString& path, RecordRows& rows, ImportProgress* progress);

    // message 113 + added + message 114 + skipped + message 115 (and message 150 when the
    // run stopped because the database could not be written)
    static QString summary(const LanguageTable& language, const Result& result);
};

} // namespace k27
