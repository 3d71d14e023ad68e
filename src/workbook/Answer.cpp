#include "Answer.h"

#include <string>

namespace k27::wb {

namespace {
// Empty cells written before the last cell of each row, over the whole sheet.
constexpr uint64_t MaxPositions = uint64_t(64) << 20;
} // namespace

ReadError writeAnswer(std::FILE* out, Format format, const SheetCells& cells)
{
    const auto& all = cells.cells();
    uint64_t positions = 0;
    for (size_t i = 0; i < all.size(); ++i)
        if (i + 1 == all.size() || all[i + 1].row != all[i].row)
            positions += uint64_t(all[i].col) + 1;
    if (positions > MaxPositions)
        return ReadError::TooLarge;

    std::string buffer;
    buffer.reserve(1 << 17);
    auto flush = [&](bool force) {
        if (force || buffer.size() >= (1 << 16)) {
            std::fwrite(buffer.data(), 1, buffer.size(), out);
            buffer.clear();
        }
    };
    buffer += "K27WB 1 ";
    buffer += formatName(format);
    buffer += ' ' + std::to_string(cells.rowCount()) + ' ' + std::to_string(cells.columnCount());
    if (cells.formulasWithoutValue() > 0)
        buffer += ' ' + std::to_string(cells.formulasWithoutValue());
    buffer += '\n';
    size_t i = 0;
    for (uint32_t row = 0; row < cells.rowCount(); ++row) {
        uint32_t col = 0;
        for (; i < all.size() && all[i].row == row; ++i) {
            for (; col < all[i].col; ++col)
                buffer += "0:";
            const std::string_view text = cells.text(all[i]);
            buffer += std::to_string(text.size());
            buffer += ':';
            buffer += text;
            ++col;
            flush(false);
        }
        buffer += '\n';
        flush(false);
    }
    buffer += "END\n";
    flush(true);
    return std::fflush(out) == 0 ? ReadError::None : ReadError::Damaged;
}

} // namespace k27::wb
