#pragma once

#include "platform/DuplicateAnswer.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace k27 {

class Database;
class ImportProgress;
class LanguageTable;
struct Workbook;

// Reads cardholders from the data rows of a workbook into 用户信息. Columns by position:
// name, gender, department, position, address, phone, card number, terminals, validity
// texts; further columns are ignored. A cardholder is the pair (name, phone): new pairs are
// inserted, for a known pair the duplicate question decides. Rows without name or phone
// are skipped. Values are stored as they stand (cut at a NUL, trimmed). Rows are stored in
// steps (WriteSteps); a step that cannot be committed ends the run uncounted.
class CardholderImport
{
public:
    static constexpr int MinimumColumns = 9;
    static constexpr int ProgressStep = 50;

    struct Result
    {
        bool tooFewColumns = false;   // nothing was read or written
        int read = 0;
        int imported = 0;             // inserted or overwritten
        int skipped = 0;              // incomplete, not overwritten, or refused by the database
        bool writeFailed = false;     // the database could not be written: the run stopped there
        bool stopped = false;         // stopped on request (a close) at a commit before the end
    };
    // Gives the next data row, false at the end (a reader that streams its rows).
    using RowSource = std::function<bool(QStringList* row)>;

    CardholderImport(Database& db, const LanguageTable& language) : m_db(db), m_language(language) {}

    void setAsk(DuplicateAnswer::Ask ask) { m_ask = std::move(ask); }
    void setProgress(ImportProgress* progress) { m_progress = progress; }
    // The workbook's file, named in the operator log's row of the import (with its size and digest).
    void setSource(const QString& path);

    Result run(const Workbook& sheet);
    // `total` data rows of `columns` columns each, taken from `next`.
    Result run(int columns, int total, const RowSource& next);
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
