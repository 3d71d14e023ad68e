// k27-xls-read WORKBOOK.xls
//
// Writes every row of the worksheet "Sheet1" (name compared without regard to case) of an
// Excel 97-2003 workbook to stdout, every cell as UTF-8 text:
//
//   K27XLS 1 <rows> <columns>\n
//   then for each row, for each of <columns> cells: <byte length>:<bytes>, and "\n" after the row
//   END\n
//
// Integral numbers are written without a decimal part ("12", not "12.0"), other numbers with
// up to 15 significant digits; dates and times as FreeXL formats them (YYYY-MM-DD,
// YYYY-MM-DD HH:MM:SS, HH:MM:SS); empty cells as empty texts. The END line lets the reader
// tell a complete answer from one cut short by a crash.
//
// Exit codes: 0 done, 2 usage, 3 the workbook cannot be opened (missing, damaged, not an
// Excel 97-2003 file, password-protected), 4 no worksheet "Sheet1", 5 a cell cannot be read.

#include <freexl.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum Exit { Done = 0, Usage = 2, CannotOpen = 3, NoSheet1 = 4, CannotRead = 5 };

bool isSheet1(const char* name)
{
    if (!name || std::strlen(name) != 6)
        return false;
    const char* want = "sheet1";
    for (int i = 0; i < 6; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != want[i])
            return false;
    }
    return true;
}

std::string numberText(double v)
{
    char buffer[64];
    if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15)
        std::snprintf(buffer, sizeof buffer, "%.0f", v);
    else
        std::snprintf(buffer, sizeof buffer, "%.15g", v);
    std::string text = buffer;
    return text == "-0" ? "0" : text;
}

bool cellText(const void* handle, unsigned row, unsigned short col, std::string* text)
{
    FreeXL_CellValue cell;
    if (freexl_get_cell_value(handle, row, col, &cell) != FREEXL_OK)
        return false;
    switch (cell.type) {
    case FREEXL_CELL_INT:
        *text = std::to_string(cell.value.int_value);
        break;
    case FREEXL_CELL_DOUBLE:
        *text = numberText(cell.value.double_value);
        break;
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        *text = cell.value.text_value ? cell.value.text_value : "";
        break;
    default:
        text->clear();
        break;
    }
    return true;
}

int run(const char* path)
{
    const void* handle = nullptr;
    if (freexl_open(path, &handle) != FREEXL_OK)
        return CannotOpen;
    // Closed on every way out: an early answer must not leave the workbook's buffers behind.
    struct Closer {
        const void* handle;
        ~Closer() { freexl_close(handle); }
    } closer{handle};
    unsigned int password = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK && password == FREEXL_BIFF_OBFUSCATED)
        return CannotOpen;
    unsigned int sheets = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK)
        return CannotOpen;
    int sheet = -1;
    for (unsigned int i = 0; i < sheets && i < 65536 && sheet < 0; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle, (unsigned short)i, &name) == FREEXL_OK && isSheet1(name))
            sheet = int(i);
    }
    if (sheet < 0)
        return NoSheet1;
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_select_active_worksheet(handle, (unsigned short)sheet) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &cols) != FREEXL_OK)
        return CannotRead;

    std::printf("K27XLS 1 %u %u\n", rows, unsigned(cols));
    std::string text;
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < cols; ++c) {
            if (!cellText(handle, r, c, &text))
                return CannotRead;
            std::printf("%zu:", text.size());
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        std::fputc('\n', stdout);
    }
    std::fputs("END\n", stdout);
    return std::fflush(stdout) == 0 ? Done : CannotRead;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: k27-xls-read WORKBOOK.xls\n", stderr);
        return Usage;
    }
    return run(argv[1]);
}
