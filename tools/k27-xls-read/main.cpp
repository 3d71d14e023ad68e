// k27-xls-read WORKBOOK
//
// Writes the rows of the worksheet "Sheet1" (name compared without regard to case) of an
// Excel workbook, .xls (97-2003) or .xlsx, to stdout in the answer format of
// workbook/Answer.h. The format is told by the file's content, not its name.
//
// Exit codes: workbook/ReaderExit.h.

#include "workbook/Answer.h"
#include "workbook/CompoundFile.h"
#include "workbook/ReaderExit.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxReader.h"

#include <cstdio>
#include <new>
#include <vector>

namespace {

using namespace k27::wb;

// Larger files are not workbooks an operator keeps lists in.
constexpr long MaxFileBytes = 512L << 20;

int run(const char* path)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return ReaderExit::CannotRead;
    std::vector<uint8_t> bytes;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > MaxFileBytes) {
            std::fclose(file);
            return ReaderExit::TooLarge;
        }
        if (size > 0)
            bytes.resize(size_t(size));
        std::rewind(file);
    }
    const bool complete = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size() && !std::ferror(file);
    std::fclose(file);
    if (!complete)
        return ReaderExit::CannotRead;

    std::string why;
    if (isCompoundFile(bytes.data(), bytes.size())) {
        SheetCells cells(Limits::of(Format::Xls));
        const ReadError e = readXls(bytes.data(), bytes.size(), &cells, &why);
        if (e != ReadError::None) {
            std::fprintf(stderr, "k27-xls-read: %s\n", why.c_str());
            return readerExitFor(e);
        }
        bytes = {};
        return readerExitFor(writeAnswer(stdout, Format::Xls, cells));
    }
    if (isZip(bytes.data(), bytes.size())) {
        SheetCells cells(Limits::of(Format::Xlsx));
        const ReadError e = readXlsx(bytes.data(), bytes.size(), &cells, &why);
        if (e != ReadError::None) {
            std::fprintf(stderr, "k27-xls-read: %s\n", why.c_str());
            return readerExitFor(e);
        }
        bytes = {};
        return readerExitFor(writeAnswer(stdout, Format::Xlsx, cells));
    }
    return ReaderExit::NotWorkbook;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: k27-xls-read WORKBOOK\n", stderr);
        return ReaderExit::Usage;
    }
    try {
        return run(argv[1]);
    } catch (const std::bad_alloc&) {
        // Past the memory the program allows its reader: an answer, not an abort.
        std::fputs("k27-xls-read: the workbook needs more memory than the reader may take\n", stderr);
        return ReaderExit::TooLarge;
    }
}
