#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace k27::wb {

enum class ReadError {
    None,
    Damaged,     // looks like a workbook but its structure is broken or encrypted
    NotWorkbook, // neither an Excel 97-2003 (.xls) nor an Office Open XML (.xlsx) workbook
    NoSheet1,    // no worksheet named Sheet1 (in any case)
    TooLarge,    // beyond the reader's limits: rows, columns, cells, text, decompressed size
};

enum class Format { Xls, Xlsx };

const char* formatName(Format f);

// What one read may hold. The row and column limits are those of the spreadsheet engines
// that write the formats; the others keep a crafted file from exhausting memory.
struct Limits
{
    uint32_t rows;
    uint32_t columns;
    size_t cells = 32u << 20;
    size_t textBytes = size_t(512) << 20;
    size_t stringUnits = 32767; // UTF-16 code units of one cell, as the engines allow

    static Limits of(Format f);
};

// The cells of one sheet as UTF-8 texts, kept in one arena in whatever order the file
// stores them; rows() hands them out in sheet order.
class SheetCells
{
public:
    explicit SheetCells(Limits limits) : m_limits(limits) {}

    const Limits& limits() const { return m_limits; }
    // A later cell at the same place replaces an earlier one.
    ReadError add(uint32_t row, uint32_t col, std::string_view text);

    uint32_t rowCount() const { return m_rows; }       // up to the last row with a cell
    uint32_t columnCount() const { return m_columns; } // up to the last column with a cell
    size_t cellCount() const { return m_cells.size(); }
    // Formula cells the file holds without their last result (read as no cell).
    void noteFormulaWithoutValue() { ++m_formulasWithoutValue; }
    uint64_t formulasWithoutValue() const { return m_formulasWithoutValue; }

    struct Cell
    {
        uint32_t row;
        uint32_t col;
        uint64_t offset;
        uint32_t length;
    };
    // Sorts the cells into sheet order; call once, after the last add().
    void finish();
    const std::vector<Cell>& cells() const { return m_cells; }
    std::string_view text(const Cell& c) const { return std::string_view(m_text).substr(c.offset, c.length); }

private:
    Limits m_limits;
    std::vector<Cell> m_cells;
    std::string m_text;
    uint32_t m_rows = 0;
    uint32_t m_columns = 0;
    bool m_ordered = true;
    uint64_t m_formulasWithoutValue = 0;
};

} // namespace k27::wb
