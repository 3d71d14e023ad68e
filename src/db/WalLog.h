#pragma once

#include <QString>

namespace k27 {

// What the write-ahead log beside a database file (<file>-wal) holds that the file itself
// lacks. Read from the two files alone, without the engine: opening the database would
// copy the log into the file (or, read-only, read through it) and hide what a copy of the
// file alone would miss.
struct LogState
{
    bool readable = true;   // false: the log or the file could not be read
    int committedPages = 0; // pages the log's committed transactions hold (each page once)
    int pagesNotInFile = 0; // of those, pages whose committed content the file does not have
};

LogState inspectLog(const QString& databasePath);

} // namespace k27
