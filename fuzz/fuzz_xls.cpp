// The .xls reader (compound document and BIFF8 records) on arbitrary bytes.
#include "workbook/Answer.h"
#include "workbook/XlsReader.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace k27::wb;
    Limits limits = Limits::of(Format::Xls);
    limits.textBytes = 64 << 20;
    SheetCells cells(limits);
    if (readXls(data, size, &cells) == ReadError::None) {
        static std::FILE* sink = std::fopen("/dev/null", "w");
        writeAnswer(sink, Format::Xls, cells);
    }
    return 0;
}
