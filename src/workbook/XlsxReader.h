#pragma once

#include "Sheet.h"

#include <cstdint>
#include <string>

namespace k27::wb {

// True when the bytes start like a zip archive.
bool isZip(const uint8_t* data, size_t size);

// Reads the worksheet named Sheet1 (in any case) of an Office Open XML workbook (.xlsx),
// given as the bytes of its zip archive: shared and inline strings, cached formula values,
// booleans, errors, each number as its number format shows it. Formula cells saved without
// a result are counted, not computed. Part names are compared without regard to case.
// Parts are decompressed in pieces and never beyond the limits on size and compression ratio.
ReadError readXlsx(const uint8_t* data, size_t size, SheetCells* cells, std::string* detail = nullptr);

} // namespace k27::wb
