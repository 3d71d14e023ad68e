// k27-xls-read WORKBOOK
//
// Writes the rows of the worksheet "Sheet1" (name compared without regard to case) of an
// Excel workbook, .xls (97-2003) or .xlsx, to stdout in the answer format of
// workbook/Answer.h. The format is told by the file's content, not its name.
//
// Exit codes: 0 done, 2 usage, 3 damaged, 4 no worksheet "Sheet1", 5 not a workbook,
// 6 beyond the reader's limits, 7 the file cannot be read.

#include "workbook/Answer.h"
#include "workbook/CompoundFile.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxReader.h"

#include <cstdio>
#include <new>
#include <vector>

namespace {

using namespace k27::wb;

enum Exit { Done = 0, Usage = 2, Damaged = 3, NoSheet1 = 4, NotWorkbook = 5, TooLarge = 6, CannotRead = 7 };

// Larger files are not workbooks an operator keeps lists in.
constexpr long MaxFileBytes = 512L << 20;

int exitFor(ReadError e)
{
    switch (e) {
    case ReadError::None: return Done;
    case ReadError::Damaged: return Damaged;
    case ReadError::NotWorkbook: return NotWorkbook;
    case ReadError::NoSheet1: return NoSheet1;
    case ReadError::TooLarge: return TooLarge;
    }
    return Damaged;
}

int run(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return CannotRead;
    std::vector<uint8_t> bytes;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > MaxFileBytes) {
            std::fclose(file);
            return TooLarge;
        }
        if (size > 0)
            bytes.resize(size_t(size));
        std::rewind(file);
    }
    const bool complete = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size() && !std::ferror(file);
    std::fclose(file);
    if (!complete)
        return CannotRead;

    std::string why;
    if (isCompoundFile(bytes.data(), bytes.size())) {
        SheetCells cells(Limits::of(Format::Xls));
        const ReadError e = readXls(bytes.data(), bytes.size(), &cells, &why);
        if (e != ReadError::None) {
            std::fprintf(stderr, "k27-xls-read: %s\n", why.c_str());
            return exitFor(e);
        }
        bytes = {};
        return exitFor(writeAnswer(stdout, Format::Xls, cells));
    }
    if (isZip(bytes.data(), bytes.size())) {
        SheetCells cells(Limits::of(Format::Xlsx));
        const ReadError e = readXlsx(bytes.data(), bytes.size(), &cells, &why);
        if (e != ReadError::None) {
            std::fprintf(stderr, "k27-xls-read: %s\n", why.c_str());
            return exitFor(e);
        }
        bytes = {};
        return exitFor(writeAnswer(stdout, Format::Xlsx, cells));
    }
    return NotWorkbook;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: k27-xls-read WORKBOOK\n", stderr);
        return Usage;
    }
    try {
        return run(argv[1]);
    } catch (const std::bad_alloc&) {
        // Past the memory the program allows its reader: an answer, not an abort.
        std::fputs("k27-xls-read: the workbook needs more memory than the reader may take\n", stderr);
        return TooLarge;
    }
}
