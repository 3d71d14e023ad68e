#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace k27::wb {

// Reads little-endian values from a byte range; every read checks what is left, and a
// failed read leaves the cursor where it was.
class ByteCursor
{
public:
    ByteCursor() = default;
    ByteCursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t pos() const { return m_pos; }
    size_t size() const { return m_size; }
    size_t left() const { return m_size - m_pos; }
    const uint8_t* here() const { return m_data + m_pos; }

    bool seek(size_t pos)
    {
        if (pos > m_size)
            return false;
        m_pos = pos;
        return true;
    }
    bool skip(size_t n)
    {
        if (n > left())
            return false;
        m_pos += n;
        return true;
    }
    bool u8(uint8_t* v) { return get(v, 1); }
    bool u16(uint16_t* v) { return get(v, 2); }
    bool u32(uint32_t* v) { return get(v, 4); }
    bool f64(double* v) { return get(v, 8); }
    bool bytes(const uint8_t** p, size_t n)
    {
        if (n > left())
            return false;
        *p = here();
        m_pos += n;
        return true;
    }

private:
    template <typename T>
    bool get(T* v, size_t n)
    {
        if (n > left())
            return false;
        // The files are little-endian and so is every machine this runs on.
        std::memcpy(v, m_data + m_pos, n);
        m_pos += n;
        return true;
    }

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
};

} // namespace k27::wb
