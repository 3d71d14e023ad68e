#include "Sheet.h"

#include <algorithm>

namespace k27::wb {

const char* formatName(Format f)
{
    return f == Format::Xls ? "xls" : "xlsx";
}

Limits Limits::of(Format f)
{
    return f == Format::Xls ? Limits{65536, 256} : Limits{1048576, 16384};
}

ReadError SheetCells::add(uint32_t row, uint32_t col, std::string_view text)
{
    if (row >= m_limits.rows || col >= m_limits.columns || m_cells.size() >= m_limits.cells
        || text.size() > m_limits.textBytes - m_text.size())
        return ReadError::TooLarge;
    if (!m_cells.empty()) {
        const Cell& last = m_cells.back();
        if (row < last.row || (row == last.row && col <= last.col))
            m_ordered = false;
    }
    m_cells.push_back(Cell{row, col, m_text.size(), uint32_t(text.size())});
    m_text.append(text);
    m_rows = std::max(m_rows, row + 1);
    m_columns = std::max(m_columns, col + 1);
    return ReadError::None;
}

void SheetCells::finish()
{
    if (m_ordered)
        return;
    // Stable, so that of two cells at one place the later one ends up last.
    std::stable_sort(m_cells.begin(), m_cells.end(),
                     [](const Cell& a, const Cell& b) { return a.row != b.row ? a.row < b.row : a.col < b.col; });
    std::vector<Cell> unique;
    unique.reserve(m_cells.size());
    for (const Cell& c : m_cells) {
        if (!unique.empty() && unique.back().row == c.row && unique.back().col == c.col)
            unique.back() = c;
        else
            unique.push_back(c);
    }
    m_cells.swap(unique);
    m_ordered = true;
}

} // namespace k27::wb
