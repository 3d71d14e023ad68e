#include "XmlScan.h"

#include "CellText.h"

#include <cstring>

namespace k27::wb {

namespace {

std::string_view localName(std::string_view name)
{
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

} // namespace

bool XmlScan::more()
{
    if (m_ended)
        return false;
    if (m_pos > 0) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    const size_t before = m_buffer.size();
    if (!m_source(&m_buffer) || m_buffer.size() == before)
        m_ended = true;
    return m_buffer.size() > before;
}

XmlScan::Token XmlScan::fail(const char* why)
{
    if (m_problem.empty())
        m_problem = why;
    m_ended = true;
    m_buffer.clear();
    m_pos = 0;
    return Token::Error;
}

bool XmlScan::decode(std::string_view raw, std::string* out) const
{
    out->clear();
    out->reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r') { // line ends read as \n, as XML has them
            out->push_back('\n');
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            continue;
        }
        if (c != '&') {
            out->push_back(c);
            continue;
        }
        const size_t end = raw.find(';', i + 1);
        if (end == std::string_view::npos || end - i > 12)
            return false;
        const std::string_view entity = raw.substr(i + 1, end - i - 1);
        if (entity == "lt")
            out->push_back('<');
        else if (entity == "gt")
            out->push_back('>');
        else if (entity == "amp")
            out->push_back('&');
        else if (entity == "quot")
            out->push_back('"');
        else if (entity == "apos")
            out->push_back('\'');
        else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            uint32_t cp = 0;
            size_t k = hex ? 2 : 1;
            if (k >= entity.size())
                return false;
            for (; k < entity.size(); ++k) {
                const int d = hex ? hexDigit(entity[k]) : (entity[k] >= '0' && entity[k] <= '9' ? entity[k] - '0' : -1);
                if (d < 0 || cp > 0x10FFFF)
                    return false;
                cp = cp * (hex ? 16 : 10) + uint32_t(d);
            }
            appendCodePoint(out, cp);
        } else {
            return false;
        }
        i = end;
    }
    return true;
}

XmlScan::Token XmlScan::next()
{
    if (m_pendingEnd) {
        m_pendingEnd = false;
        --m_depth;
        return Token::End;
    }
    for (;;) {
        if (m_pos >= m_buffer.size() && !more()) {
            if (!m_problem.empty())
                return Token::Error;
            if (m_depth != 0 || !m_started)
                return fail("the part ends before its elements do");
            return Token::Done;
        }
        if (m_buffer[m_pos] != '<') {
            const char* start = m_buffer.data() + m_pos;
            const void* lt = std::memchr(start, '<', m_buffer.size() - m_pos);
            if (!lt) {
                if (m_buffer.size() - m_pos > MaxToken)
                    return fail("a text is too long");
                if (more())
                    continue;
                // Only white space may follow the last element.
                for (size_t i = m_pos; i < m_buffer.size(); ++i)
                    if (!isSpace(m_buffer[i]))
                        return fail("text outside the elements");
                m_pos = m_buffer.size();
                continue;
            }
            const size_t end = size_t(static_cast<const char*>(lt) - m_buffer.data());
            const std::string_view raw(m_buffer.data() + m_pos, end - m_pos);
            m_pos = end;
            if (m_depth == 0) {
                const bool byteOrderMark = !m_started && raw == "\xEF\xBB\xBF";
                if (!byteOrderMark && raw.find_first_not_of(" \t\r\n") != std::string_view::npos)
                    return fail("text outside the elements");
                continue;
            }
            if (raw.find_first_of("&\r") == std::string_view::npos) {
                m_text = raw;
            } else {
                if (!decode(raw, &m_decoded))
                    return fail("an unknown entity");
                m_text = m_decoded;
            }
            return Token::Text;
        }
        // A markup construct: find its end, reading more as needed.
        while (m_buffer.size() - m_pos < 9 && more()) {
        }
        const std::string_view head(m_buffer.data() + m_pos, std::min<size_t>(9, m_buffer.size() - m_pos));
        const char* close = nullptr;
        size_t skip = 1;
        if (head.substr(0, 2) == "<?") {
            close = "?>";
        } else if (head.substr(0, 4) == "<!--") {
            close = "-->";
            skip = 4;
        } else if (head == "<![CDATA[") {
            close = "]]>";
            skip = 9;
        } else if (head.substr(0, 2) == "<!") {
            return fail("a document type"); // entity declarations are no part of a workbook
        }
        if (close) {
            size_t from = skip;
            size_t at;
            for (;;) {
                at = m_buffer.find(close, m_pos + from);
                if (at != std::string::npos)
                    break;
                const size_t have = m_buffer.size() - m_pos;
                from = have > 3 ? have - 3 : 0;
                if (have > MaxToken || !more())
                    return fail(have > MaxToken ? "markup too long" : "markup cut short");
            }
            const size_t begin = m_pos + skip;
            m_pos = at + std::strlen(close);
            if (skip == 9) { // CDATA: text as it stands
                if (m_depth == 0)
                    return fail("text outside the elements");
                m_decoded.assign(m_buffer, begin, at - begin);
                m_text = m_decoded;
                return Token::Text;
            }
            continue;
        }
        // A tag: up to the '>' that is not inside an attribute value.
        size_t i = m_pos + 1;
        char quote = 0;
        for (;;) {
            if (i >= m_buffer.size()) {
                const size_t at = i - m_pos;
                if (at > MaxToken || !more())
                    return fail(at > MaxToken ? "a tag is too long" : "a tag is cut short");
                i = m_pos + at;
                continue;
            }
            const char c = m_buffer[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
            ++i;
        }
        std::string_view tag(m_buffer.data() + m_pos + 1, i - m_pos - 1);
        m_pos = i + 1;
        if (!tag.empty() && tag[0] == '/') {
            tag.remove_prefix(1);
            while (!tag.empty() && isSpace(tag.back()))
                tag.remove_suffix(1);
            m_name = localName(tag);
            if (m_name.empty() || --m_depth < 0)
                return fail("an end tag without its start");
            return Token::End;
        }
        const bool selfClosing = !tag.empty() && tag.back() == '/';
        if (selfClosing)
            tag.remove_suffix(1);
        size_t n = 0;
        while (n < tag.size() && !isSpace(tag[n]))
            ++n;
        m_name = localName(tag.substr(0, n));
        m_attributes = tag.substr(n);
        if (m_name.empty())
            return fail("a tag without a name");
        if (m_depth == 0 && m_started)
            return fail("a second document element");
        ++m_depth;
        m_started = true;
        m_pendingEnd = selfClosing;
        return Token::Start;
    }
}

bool XmlScan::attribute(std::string_view name, std::string* value) const
{
    std::string_view rest = m_attributes;
    for (;;) {
        size_t i = 0;
        while (i < rest.size() && isSpace(rest[i]))
            ++i;
        const size_t nameStart = i;
        while (i < rest.size() && rest[i] != '=' && !isSpace(rest[i]))
            ++i;
        const std::string_view attributeName = rest.substr(nameStart, i - nameStart);
        while (i < rest.size() && isSpace(rest[i]))
            ++i;
        if (attributeName.empty() || i >= rest.size() || rest[i] != '=')
            return false;
        ++i;
        while (i < rest.size() && isSpace(rest[i]))
            ++i;
        if (i >= rest.size() || (rest[i] != '"' && rest[i] != '\''))
            return false;
        const size_t end = rest.find(rest[i], i + 1);
        if (end == std::string_view::npos)
            return false;
        if (attributeName == name) {
            const std::string_view raw = rest.substr(i + 1, end - i - 1);
            if (raw.find('&') == std::string_view::npos)
                value->assign(raw);
            else if (!decode(raw, value))
                return false;
            return true;
        }
        rest.remove_prefix(end + 1);
    }
}

bool XmlScan::skipElement()
{
    const int target = m_depth - 1;
    for (;;) {
        const Token t = next();
        if (t == Token::Error || t == Token::Done)
            return false;
        if (t == Token::End && m_depth == target)
            return true;
    }
}

void decodeOoxmlEscapes(std::string* text)
{
    if (text->find("_x") == std::string::npos)
        return;
    auto unit = [&](size_t at, uint32_t* u) {
        if (at + 7 > text->size() || (*text)[at] != '_' || (*text)[at + 1] != 'x' || (*text)[at + 6] != '_')
            return false;
        uint32_t v = 0;
        for (size_t k = at + 2; k < at + 6; ++k) {
            const int d = hexDigit((*text)[k]);
            if (d < 0)
                return false;
            v = v * 16 + uint32_t(d);
        }
        *u = v;
        return true;
    };
    std::string out;
    out.reserve(text->size());
    for (size_t i = 0; i < text->size();) {
        uint32_t u;
        if (!unit(i, &u)) {
            out.push_back((*text)[i++]);
            continue;
        }
        i += 7;
        uint32_t low;
        if (u >= 0xD800 && u <= 0xDBFF && unit(i, &low) && low >= 0xDC00 && low <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 7;
        }
        appendCodePoint(&out, u);
    }
    text->swap(out);
}

} // namespace k27::wb
