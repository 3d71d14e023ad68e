#pragma once

// The records of a BIFF workbook stream (Excel 5 to 2003): walking them, reading across
// their CONTINUE records, and their texts, 16-bit or in a code page.

#include "ByteCursor.h"
#include "CellText.h"
#include "Sheet.h"

#include <algorithm>
#include <cstring>
#include <iconv.h>
#include <string>
#include <vector>

namespace k27::wb {

// 8-bit texts of Excel 95 workbooks, in the code page the workbook names (1252 when it
// names none), to UTF-8 through the C library's converters.
class ByteText
{
public:
    ByteText() = default;
    ByteText(const ByteText&) = delete;
    ByteText& operator=(const ByteText&) = delete;
    ~ByteText() { close(); }

    // The code page of a CODEPAGE record.
    void set(uint16_t number);
    void append(const uint8_t* p, size_t n, std::string* out);

private:
    void close();
    iconv_t m_iconv = iconv_t(-1);
};

// One record and the CONTINUE records after it: a string may run from one into the next,
// and where its characters do, the next piece starts with a fresh option byte.
class Pieces
{
public:
    void reset(const uint8_t* data, size_t size)
    {
        m_pieces.assign(1, {data, size});
        m_index = 0;
        m_cursor = ByteCursor(data, size);
    }
    void add(const uint8_t* data, size_t size) { m_pieces.push_back({data, size}); }

    bool read(void* out, size_t n)
    {
        auto* p = static_cast<uint8_t*>(out);
        while (n > 0) {
            if (m_cursor.left() == 0 && !nextPiece())
                return false;
            const size_t k = std::min(n, m_cursor.left());
            std::memcpy(p, m_cursor.here(), k);
            m_cursor.skip(k);
            p += k;
            n -= k;
        }
        return true;
    }
    bool skip(uint64_t n)
    {
        while (n > 0) {
            if (m_cursor.left() == 0 && !nextPiece())
                return false;
            const size_t k = size_t(std::min<uint64_t>(n, m_cursor.left()));
            m_cursor.skip(k);
            n -= k;
        }
        return true;
    }
    template <typename T>
    bool get(T* v)
    {
        return read(v, sizeof(T));
    }
    bool atEnd() const { return m_cursor.left() == 0 && m_index + 1 >= m_pieces.size(); }
    uint64_t total() const
    {
        uint64_t n = 0;
        for (const auto& piece : m_pieces)
            n += piece.second;
        return n;
    }

    // A text's length: 8 or 16 bits.
    bool length(bool shortLength, uint16_t* count)
    {
        uint8_t n = 0;
        if (!shortLength)
            return get(count);
        if (!get(&n))
            return false;
        *count = n;
        return true;
    }

    // An Excel 95 text: a 16-bit (or 8-bit) length and as many bytes in the code page.
    ReadError byteString(bool shortLength, size_t maxUnits, ByteText* codePage, std::string* out)
    {
        out->clear();
        uint16_t count = 0;
        if (!length(shortLength, &count))
            return ReadError::Damaged;
        if (count > maxUnits)
            return ReadError::TooLarge;
        uint8_t bytes[0x10000];
        if (!read(bytes, count))
            return ReadError::Damaged;
        codePage->append(bytes, count, out);
        return ReadError::None;
    }

    // `count` characters, one or two bytes each as the option byte says, into UTF-8.
    bool chars(size_t count, bool wide, std::string* out)
    {
        std::vector<uint16_t> units;
        units.reserve(count);
        while (units.size() < count) {
            if (m_cursor.left() == 0) {
                uint8_t options;
                if (!nextPiece() || !m_cursor.u8(&options))
                    return false;
                wide = options & 1;
            }
            const size_t width = wide ? 2 : 1;
            const size_t k = std::min(count - units.size(), m_cursor.left() / width);
            if (k == 0)
                return false; // half a character before the end of a piece
            const uint8_t* p = m_cursor.here();
            for (size_t i = 0; i < k; ++i)
                units.push_back(wide ? uint16_t(p[2 * i] | (p[2 * i + 1] << 8)) : p[i]);
            m_cursor.skip(k * width);
        }
        appendUtf16(out, units.data(), units.size());
        return true;
    }

    // A string with a 16-bit (or 8-bit) length, its option byte, and when the options say
    // so, formatting runs and phonetic data after the characters.
    ReadError string(bool shortLength, size_t maxUnits, std::string* out)
    {
        out->clear();
        uint16_t count = 0;
        uint8_t options = 0;
        if (!length(shortLength, &count))
            return ReadError::Damaged;
        if (!get(&options))
            return ReadError::Damaged;
        uint16_t runs = 0;
        uint32_t phonetic = 0;
        if ((options & 0x08) && !get(&runs))
            return ReadError::Damaged;
        if ((options & 0x04) && !get(&phonetic))
            return ReadError::Damaged;
        if (count > maxUnits)
            return ReadError::TooLarge;
        if (!chars(count, options & 1, out) || !skip(uint64_t(runs) * 4) || !skip(phonetic))
            return ReadError::Damaged;
        return ReadError::None;
    }

private:
    bool nextPiece()
    {
        if (m_index + 1 >= m_pieces.size())
            return false;
        ++m_index;
        m_cursor = ByteCursor(m_pieces[m_index].first, m_pieces[m_index].second);
        return true;
    }

    std::vector<std::pair<const uint8_t*, size_t>> m_pieces;
    size_t m_index = 0;
    ByteCursor m_cursor;
};

// Walks the records of the workbook stream.
class Records
{
public:
    Records(const std::vector<uint8_t>& stream) : m_stream(stream.data(), stream.size()) {}

    bool seek(size_t pos) { return m_stream.seek(pos); }

    // The next record with its CONTINUE records; false at the end or on a cut record.
    bool next(uint16_t* type, Pieces* body, bool* broken)
    {
        uint16_t size;
        const uint8_t* data;
        *broken = false;
        if (m_stream.left() == 0)
            return false;
        if (!m_stream.u16(type) || !m_stream.u16(&size) || !m_stream.bytes(&data, size)) {
            *broken = true;
            return false;
        }
        body->reset(data, size);
        for (;;) {
            ByteCursor peek = m_stream;
            uint16_t nextType, nextSize;
            const uint8_t* nextData;
            if (!peek.u16(&nextType) || nextType != 0x003C /* CONTINUE */ || !peek.u16(&nextSize)
                || !peek.bytes(&nextData, nextSize))
                break;
            body->add(nextData, nextSize);
            m_stream = peek;
        }
        return true;
    }

private:
    ByteCursor m_stream;
};

} // namespace k27::wb
