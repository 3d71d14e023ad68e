#include "BiffRecords.h"

#include "CellText.h"

#include <cerrno>
#include <string>

namespace k27::wb {

void ByteText::set(uint16_t number)
{
    close();
    std::string name;
    switch (number) {
    case 936: name = "GBK"; break;
    case 950: name = "BIG5"; break;
    case 932: name = "CP932"; break;
    case 949: name = "CP949"; break;
    case 1361: name = "JOHAB"; break;
    case 0x8000: name = "MACINTOSH"; break;
    default:
        if ((number >= 1250 && number <= 1258) || (number >= 437 && number <= 874))
            name = "CP" + std::to_string(number);
        break;
    }
    if (!name.empty())
        m_iconv = iconv_open("UTF-8", name.c_str());
    if (m_iconv == iconv_t(-1))
        m_iconv = iconv_open("UTF-8", "CP1252");
}

void ByteText::append(const uint8_t* p, size_t n, std::string* out)
{
    size_t ascii = 0;
    while (ascii < n && p[ascii] < 0x80)
        ++ascii;
    out->append(reinterpret_cast<const char*>(p), ascii);
    if (ascii == n)
        return;
    if (m_iconv == iconv_t(-1))
        set(1252);
    if (m_iconv == iconv_t(-1)) { // no converters installed: Latin-1, the nearest
        for (size_t i = ascii; i < n; ++i)
            appendCodePoint(out, p[i]);
        return;
    }
    iconv(m_iconv, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(p + ascii));
    size_t inLeft = n - ascii;
    char buffer[1024];
    while (inLeft > 0) {
        char* o = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(m_iconv, &in, &inLeft, &o, &outLeft);
        out->append(buffer, size_t(o - buffer));
        if (r == size_t(-1) && errno != E2BIG) {
            // A byte the code page has no character for, or a character cut short.
            appendCodePoint(out, 0xFFFD);
            ++in;
            --inLeft;
            iconv(m_iconv, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

void ByteText::close()
{
    if (m_iconv != iconv_t(-1))
        iconv_close(m_iconv);
    m_iconv = iconv_t(-1);
}

} // namespace k27::wb
