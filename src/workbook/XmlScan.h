#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace k27::wb {

// A small pull parser for the large parts of a workbook (the sheet, the shared strings):
// elements, their attributes and their text, read from a source in pieces. It checks what
// a reader of cell data needs (tags closed, entities known, no document type, nesting that
// ends) and no more; names are compared without their namespace prefix. The views it hands
// out stay valid until the next call of next().
class XmlScan
{
public:
    // Appends the next bytes of the part to `buffer`; false at the end (or on a failure,
    // which the source remembers).
    using Source = std::function<bool(std::string* buffer)>;

    enum class Token { Start, End, Text, Done, Error };

    explicit XmlScan(Source source) : m_source(std::move(source)) {}

    Token next();

    // Start and End: the element's name without its prefix. A start tag that closes itself
    // (<v/>) is followed by its End.
    std::string_view name() const { return m_name; }
    // Start: an attribute's value (entities decoded), or none.
    bool attribute(std::string_view name, std::string* value) const;
    // Text: the characters, entities decoded.
    std::string_view text() const { return m_text; }
    int depth() const { return m_depth; }
    const std::string& problem() const { return m_problem; }

    // Whatever is inside the element just started, up to its end (its End is consumed).
    bool skipElement();

    static constexpr size_t MaxToken = size_t(8) << 20;

private:
    bool more();
    Token fail(const char* why);
    bool decode(std::string_view raw, std::string* out) const;

    Source m_source;
    std::string m_buffer;
    size_t m_pos = 0;
    bool m_ended = false;
    bool m_pendingEnd = false;
    bool m_started = false;
    int m_depth = 0;
    std::string_view m_name;
    std::string_view m_attributes;
    std::string_view m_text;
    std::string m_decoded;
    std::string m_endName;
    std::string m_problem;
};

// Decodes the _xHHHH_ escapes of texts in Office Open XML (a line break as _x000D_, an
// underscore that would look like an escape as _x005F_), in place.
void decodeOoxmlEscapes(std::string* text);

} // namespace k27::wb
