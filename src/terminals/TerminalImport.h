#pragma once

#include "platform/DuplicateAnswer.h"

#include <QString>

namespace k27 {

class Database;
class ImportProgress;
class LanguageTable;
struct Workbook;

// Fills the terminal register from the data rows of a workbook: column 1 the terminal
// number (its leading number is the key), column 2 the install address. New numbers are
// inserted; for a number already registered the duplicate question decides, once per row
// or once for the rest of the run. Rows are stored in steps (WriteSteps); a step that cannot
// be committed ends the run uncounted.
class TerminalImport
{
public:
    static constexpr int MinimumColumns = 2;

    struct Result
    {
        bool tooFewColumns = false;   // nothing was read or written
        int read = 0;
        int imported = 0;             // inserted or overwritten
        int skipped = 0;              // no number, not overwritten, or refused by the database
        bool writeFailed = false;     // the database could not be written: the run stopped there
        bool stopped = false;         // stopped on request (a close) at a commit before the end
    };

    TerminalImport(Database& db, const LanguageTable& language) : m_db(db), m_language(language) {}

    void setAsk(DuplicateAnswer::Ask ask) { m_ask = std::move(ask); }
    void setProgress(ImportProgress* progress) { m_progress = progress; }
    // The workbook's file, named in the operator log's row of the import (with its size and digest).
    void setSource(const QString& path);

    Result run(const Workbook& sheet);
    const DuplicateAnswer& answer() const { return m_answer; }

private:
    Database& m_db;
    const LanguageTable& m_language;
    DuplicateAnswer::Ask m_ask;
    ImportProgress* m_progress = nullptr;
    QString m_source;   // the log's text of the file
    DuplicateAnswer m_answer;
};

} // namespace k27
