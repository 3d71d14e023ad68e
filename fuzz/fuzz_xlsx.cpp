// The .xlsx reader (zip archive in memory, then its XML parts) on arbitrary bytes.
#include "workbook/Answer.h"
#include "workbook/XlsxReader.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace k27::wb;
    Limits limits = Limits::of(Format::Xlsx);
    limits.textBytes = 64 << 20;
    SheetCells cells(limits);
    if (readXlsx(data, size, &cells) == ReadError::None) {
        static std::FILE* sink = std::fopen("/dev/null", "w");
        writeAnswer(sink, Format::Xlsx, cells);
    }
    return 0;
}
