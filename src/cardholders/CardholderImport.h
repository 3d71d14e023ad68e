#pragma once

#include "db/ImportEngine.h"

namespace k27 {

class Database;
class LanguageTable;

// Reads cardholders from the data rows of a workbook into 用户信息. Columns by position:
// name, gender, department, position, address, phone, card number, terminals, validity
// texts; further columns are ignored. A cardholder is the pair (name, phone): new pairs are
// inserted, for a known pair the duplicate question decides. Rows without name or phone
// are skipped. Values are stored as they stand (cut at a NUL, trimmed).
class CardholderImport : public ImportEngine
{
public:
    static constexpr int MinimumColumns = 9;
    static constexpr int ProgressStep = 50;

    CardholderImport(Database& db, const LanguageTable& language);
};

} // namespace k27
