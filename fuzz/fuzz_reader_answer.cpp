// The program's decoding of the reader process's answer, fed in two pieces split where
// the first byte says, as pipes deliver it.
#include "workbook/AnswerDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t split = data[0] % size;
    k27::AnswerDecoder decoder(int(data[0] % 12), 1 << 20);
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t n = size - 1;
    decoder.feed(bytes, qsizetype(std::min(split, n)));
    decoder.feed(bytes + std::min(split, n), qsizetype(n - std::min(split, n)));
    const k27::Workbook& sheet = decoder.workbook();
    if (sheet.rows.size() > decoder.expectedRows() && decoder.expectedRows() >= 0)
        __builtin_trap();
    return 0;
}
