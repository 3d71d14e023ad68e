#pragma once

#include "db/ImportEngine.h"

namespace k27 {

class Database;
class LanguageTable;

// Fills the terminal register from the data rows of a workbook: column 1 the terminal
// number (its leading number is the key), column 2 the install address. New numbers are
// inserted; for a number already registered the duplicate question decides, once per row
// or once for the rest of the run.
class TerminalImport : public ImportEngine
{
public:
    static constexpr int MinimumColumns = 2;

    TerminalImport(Database& db, const LanguageTable& language);
};

} // namespace k27
