#pragma once

// The reader process answers on its standard output:
//
//   K27WB 1 <format> <rows> <columns>[ <formulas>]\n      format: xls or xlsx; formulas: formula
//                                                     cells the file holds without a result
//   one line per row: for each cell up to the row's last one, <byte length>:<UTF-8 bytes>;
//   then \n (a cell may hold \n: lengths, not line ends, delimit cells)
//   END\n
//
// The first row is the sheet's first (the headings). The END line tells a complete answer
// from one cut short.

#include "Sheet.h"

#include <cstdio>

namespace k27::wb {

// Writes the answer for `cells` (after finish()). TooLarge when the rows, padded with the
// empty cells before each row's last one, would be more than the reader hands out.
ReadError writeAnswer(std::FILE* out, Format format, const SheetCells& cells);

} // namespace k27::wb
