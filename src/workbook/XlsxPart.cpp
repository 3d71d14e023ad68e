#include "XlsxPart.h"

#include <algorithm>

namespace k27::wb::xlsx {

namespace {

// No part of a workbook may unpack to more than this, nor grow more than MaxRatio times
// past its first megabyte: a zip bomb ends as TooLarge, not as exhausted memory.
constexpr uint64_t MaxPartBytes = uint64_t(2) << 30;
constexpr uint64_t MaxRatio = 250;
constexpr uint64_t RatioFreeBytes = 1 << 20;

} // namespace

Part::Part(zip_t* zip, zip_int64_t index, uint64_t compressed)
    : m_compressed(compressed), m_scan([this](std::string* buffer) { return unpack(buffer); })
{
    m_file.reset(zip_fopen_index(zip, zip_uint64_t(index), 0));
}

QXmlStreamReader::TokenType Part::next()
{
    for (;;) {
        const QXmlStreamReader::TokenType t = m_xml.readNext();
        if (t != QXmlStreamReader::Invalid || m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError || m_done)
            return t;
        std::string bytes;
        if (!unpack(&bytes)) {
            if (m_tooLarge) {
                m_xml.raiseError(QStringLiteral("part too large"));
                return QXmlStreamReader::Invalid;
            }
            continue;
        }
        m_xml.addData(QByteArray(bytes.data(), qsizetype(bytes.size())));
    }
}

Failure Part::failure(const char* part) const
{
    if (m_tooLarge)
        return {ReadError::TooLarge, std::string(part) + " unpacks beyond the reader's limits"};
    return {ReadError::Damaged, std::string(part) + (m_failed ? " cannot be unpacked" : " is not well-formed XML")};
}

bool Part::unpack(std::string* out)
{
    if (m_done)
        return false;
    const size_t at = out->size();
    out->resize(at + (1 << 16));
    const zip_int64_t n = zip_fread(m_file.get(), out->data() + at, 1 << 16);
    out->resize(at + size_t(std::max<zip_int64_t>(n, 0)));
    if (n <= 0) {
        m_done = true;
        m_failed = n < 0;
        return false;
    }
    m_read += uint64_t(n);
    if (m_read > MaxPartBytes || (m_read > RatioFreeBytes && m_read / std::max<uint64_t>(m_compressed, 1) > MaxRatio)) {
        m_tooLarge = true;
        m_done = true;
        out->resize(at);
        return false;
    }
    return true;
}

} // namespace k27::wb::xlsx
