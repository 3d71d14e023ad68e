#pragma once

#include "Sheet.h"

#include <cstdint>
#include <string>

namespace k27::wb {

// Reads the worksheet named Sheet1 (in any case) of an Excel 97-2003 workbook (BIFF8 in a
// compound document) or an Excel 5/95 one (BIFF5, 8-bit texts in the workbook's code page)
// into `cells`: shared and inline strings, numbers, RK values, formula results, booleans
// and errors, each number as its number format shows it. `detail` says why a read failed,
// for tests and logs.
ReadError readXls(const uint8_t* data, size_t size, SheetCells* cells, std::string* detail = nullptr);

} // namespace k27::wb
