#pragma once

#include "Sheet.h"

#include <cstdint>
#include <string>

namespace k27::wb {

// Reads the worksheet named Sheet1 (in any case) of an Excel 97-2003 workbook (BIFF8 in a
// compound document) into `cells`: shared and inline strings, numbers, RK values, formula
// results, booleans and errors, numbers in date formats as dates. `detail` says why a
// read failed, for tests and logs.
ReadError readXls(const uint8_t* data, size_t size, SheetCells* cells, std::string* detail = nullptr);

} // namespace k27::wb
