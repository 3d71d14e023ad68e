#include "NumberFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace k27::wb {

namespace {

bool startsWithNoCase(std::string_view s, size_t at, std::string_view word)
{
    if (s.size() - at < word.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (char(s[at + i] | 0x20) != word[i])
            return false;
    return true;
}

// v >= 0 as decimal digits: the whole part without leading zeros ("" for none) and exactly
// `frac` fraction digits. The engines keep fifteen significant digits and round halves
// away from zero on them, so 2.675 with two decimals shows 2.68.
void decimalDigits(double v, int frac, std::string* whole, std::string* fraction)
{
    if (!(v >= 0) || !std::isfinite(v))
        v = 0; // callers hand over finite numbers; this keeps a slip from reading garbage
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", v);
    std::string digits(1, buffer[0]);
    digits.append(buffer + 2, 14);
    int point = std::atoi(std::strchr(buffer, 'e') + 1) + 1;
    if (point < 0) {
        digits.insert(0, size_t(-point), '0');
        point = 0;
    }
    const size_t keep = size_t(point) + size_t(frac);
    if (digits.size() < keep)
        digits.append(keep - digits.size(), '0');
    const bool up = digits.size() > keep && digits[keep] >= '5';
    digits.resize(keep);
    if (up) {
        size_t i = keep;
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0) {
            digits.insert(0, 1, '1');
            ++point;
        } else {
            ++digits[i - 1];
        }
    }
    const size_t first = digits.find_first_not_of('0');
    *whole = first < size_t(point) ? digits.substr(first, size_t(point) - first) : std::string();
    *fraction = digits.substr(size_t(point));
}

const char* builtinCode(uint32_t id)
{
    switch (id) {
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 5: return "$#,##0_);($#,##0)";
    case 6: return "$#,##0_);[Red]($#,##0)";
    case 7: return "$#,##0.00_);($#,##0.00)";
    case 8: return "$#,##0.00_);[Red]($#,##0.00)";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 37: return "#,##0 ;(#,##0)";
    case 38: return "#,##0 ;[Red](#,##0)";
    case 39: return "#,##0.00;(#,##0.00)";
    case 40: return "#,##0.00;[Red](#,##0.00)";
    case 41: return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
    case 42: return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
    case 43: return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
    case 44: return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
    case 48: return "##0.0E+0";
    default: return nullptr; // General, the fractions (shown as General) and the dates and times
    }
}

} // namespace

NumberFormat NumberFormat::builtin(uint32_t id)
{
    NumberFormat f;
    f.m_kind = builtinFormatKind(id);
    if (const char* code = builtinCode(id))
        f = parse(code);
    return f;
}

NumberFormat::Section NumberFormat::tokenize(std::string_view code, size_t* at, bool* unsupported, bool* text)
{
    Section s;
    bool afterPoint = false, fractionBar = false;
    size_t& i = *at;
    auto literal = [&](std::string_view t) {
        if (!s.pieces.empty() && s.pieces.back().token == Token::Literal)
            s.pieces.back().literal += t;
        else
            s.pieces.push_back({Token::Literal, std::string(t)});
    };
    for (; i < code.size() && code[i] != ';'; ++i) {
        const char c = code[i];
        if (c == '"') {
            const size_t end = code.find('"', i + 1);
            const size_t stop = end == std::string_view::npos ? code.size() : end;
            literal(code.substr(i + 1, stop - i - 1));
            i = stop;
        } else if (c == '\\' || c == '_' || c == '*') {
            // An escaped character; the room of one (a space); a fill, which a text has no room for.
            if (i + 1 < code.size()) {
                if (c == '\\')
                    literal(code.substr(i + 1, 1));
                else if (c == '_')
                    literal(" ");
                ++i;
            }
        } else if (c == '[') {
            const size_t end = code.find(']', i + 1);
            const size_t stop = end == std::string_view::npos ? code.size() : end;
            const std::string_view inner = code.substr(i + 1, stop - i - 1);
            if (!inner.empty() && inner[0] == '$') // a currency symbol and its locale
                literal(inner.substr(1, inner.find('-') == std::string_view::npos ? inner.size() - 1
                                                                                  : inner.find('-') - 1));
            else if (!inner.empty() && (inner[0] == '<' || inner[0] == '>' || inner[0] == '='))
                *unsupported = true;
            i = stop;
        } else if (c == '0' || c == '#' || c == '?') {
            s.pieces.push_back({c == '0' ? Token::Zero : c == '#' ? Token::Hash : Token::Query, {}});
            s.hasDigits = true;
        } else if (c == '.' && !afterPoint) {
            s.pieces.push_back({Token::Point, {}});
            afterPoint = true;
        } else if (c == ',') {
            s.pieces.push_back({Token::Comma, {}});
        } else if (c == '%') {
            ++s.percent;
            literal("%");
        } else if ((c == 'E' || c == 'e') && i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-')
                   && s.hasDigits) {
            std::string exponent(1, code[i + 1]);
            for (i += 2; i < code.size() && (code[i] == '0' || code[i] == '#' || code[i] == '?'); ++i)
                exponent += '0';
            --i;
            s.pieces.push_back({Token::Exponent, exponent});
        } else if (c == '@') {
            s.pieces.push_back({Token::Text, {}});
            *text = true;
        } else if (startsWithNoCase(code, i, "general")) {
            s.pieces.push_back({Token::General, {}});
            s.hasGeneral = true;
            i += 6;
        } else {
            if (c == '/' && s.hasDigits)
                fractionBar = true;
            literal(code.substr(i, 1));
        }
    }
    if (fractionBar) // a fraction: shown as General
        *unsupported = true;
    return s;
}

void NumberFormat::placeCommas(Section* s)
{
    // A comma between two digits groups thousands; after the last digit it divides by 1000.
    size_t scaledAt = 0;
    for (size_t k = 0; k < s->pieces.size();) {
        if (s->pieces[k].token != Token::Comma) {
            ++k;
            continue;
        }
        auto digit = [&](size_t at) { return at < s->pieces.size() && isDigit(s->pieces[at].token); };
        if (k > 0 && digit(k - 1) && digit(k + 1)) {
            s->grouping = true;
        } else if (k > 0 && (digit(k - 1) || (s->scale > 0 && scaledAt == k))) {
            ++s->scale;
            scaledAt = k;
        } else {
            s->pieces[k] = {Token::Literal, ","};
            ++k;
            continue;
        }
        s->pieces.erase(s->pieces.begin() + long(k));
    }
}

NumberFormat NumberFormat::parse(std::string_view code)
{
    NumberFormat f;
    f.m_kind = formatCodeKind(code);
    if (f.m_kind != NumberKind::Plain)
        return f;
    const NumberFormat general;
    bool unsupported = false; // conditions and fractions: shown as General
    std::vector<Section> sections;
    std::vector<bool> isText;
    size_t i = 0;
    while (i <= code.size() && sections.size() < 4) {
        bool text = false;
        Section s = tokenize(code, &i, &unsupported, &text);
        placeCommas(&s);
        // More digits than the engines allow (30 decimals) show as General.
        int digits = 0;
        for (const Piece& p : s.pieces) {
            digits += isDigit(p.token);
            digits += p.token == Token::Exponent ? int(p.literal.size()) * 10 : 0; // at most five exponent digits
        }
        if (digits > 60 || s.percent > 8 || s.scale > 8)
            unsupported = true;
        sections.push_back(std::move(s));
        isText.push_back(text && !sections.back().hasDigits);
        ++i; // past the ';'
    }
    if (unsupported)
        return general;
    for (size_t k = 0; k < sections.size(); ++k) {
        if (isText[k] || k == 3) {
            f.m_text = int(k);
            break;
        }
    }
    if (f.m_text >= 0) {
        f.m_sections.assign(sections.begin(), sections.begin() + f.m_text);
        f.m_sections.push_back(std::move(sections[size_t(f.m_text)]));
        if (f.m_text == 0)
            f.m_sections.insert(f.m_sections.begin(), Section{{{Token::General, {}}}, 0, 0, false, false, true});
        f.m_text = int(f.m_sections.size()) - 1;
    } else {
        f.m_sections = std::move(sections);
    }
    if (f.m_sections.size() == 1 && f.m_sections[0].pieces.size() == 1 && f.m_sections[0].hasGeneral)
        f.m_sections.clear(); // plain General
    return f;
}

std::string NumberFormat::number(double v, bool date1904) const
{
    if (m_kind != NumberKind::Plain)
        return cellNumberText(v, m_kind, date1904);
    const size_t numberSections = m_text >= 0 ? size_t(m_text) : m_sections.size();
    if (numberSections == 0 || !std::isfinite(v))
        return numberText(v);
    if (v < 0 && numberSections >= 2)
        return section(m_sections[1], -v);
    if (v == 0 && numberSections >= 3)
        return section(m_sections[2], 0);
    if (v < 0) {
        std::string shown = section(m_sections[0], -v);
        // No minus before a number that rounds to nothing.
        return shown.find_first_of("123456789") == std::string::npos ? shown : "-" + shown;
    }
    return section(m_sections[0], v);
}

std::string NumberFormat::text(std::string_view value) const
{
    if (m_text < 0)
        return std::string(value);
    std::string shown;
    for (const Piece& p : m_sections[size_t(m_text)].pieces)
        shown += p.token == Token::Text ? value : std::string_view(p.literal);
    return shown;
}

// A number laid out on the placeholders of a section that has digits.
struct NumberFormat::Layout
{
    explicit Layout(const Section& section);
    bool round(double x); // false when the mantissa cannot be had
    void hideTrailingDecimals();
    std::string groupedWhole() const;
    std::string write() const;

    const Section& s;
    int whole = 0, fraction = 0; // placeholders before and after the point
    bool exponent = false;
    Token firstWhole = Token::Zero;
    std::string digits, decimals; // decimals as shown: '\0' where nothing shows
    int power = 0;
};

NumberFormat::Layout::Layout(const Section& section) : s(section)
{
    bool afterPoint = false;
    for (const Piece& p : s.pieces) {
        if (p.token == Token::Point)
            afterPoint = true;
        else if (p.token == Token::Exponent)
            exponent = true;
        else if (isDigit(p.token)) {
            if (afterPoint)
                ++fraction;
            else if (whole++ == 0)
                firstWhole = p.token;
        }
    }
}

bool NumberFormat::Layout::round(double x)
{
    if (!exponent) {
        decimalDigits(x, fraction, &digits, &decimals);
        return true;
    }
    // One digit before the point; with several and a # first, a power that is a multiple of them.
    const int step = whole > 1 && firstWhole == Token::Hash ? whole : 1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (x != 0 && attempt == 0) {
            power = int(std::floor(std::log10(x)));
            power = step > 1 ? int(std::floor(double(power) / step)) * step : power - std::max(whole - 1, 0);
        }
        const double mantissa = x / std::pow(10.0, power);
        if (!std::isfinite(mantissa))
            return false;
        decimalDigits(mantissa, fraction, &digits, &decimals);
        if (int(digits.size()) <= std::max(whole, 1) || x == 0)
            break;
        power += step; // 9.999 rounded up to 10.00
    }
    return true;
}

// Trailing fraction digits at # show nothing, at ? a space.
void NumberFormat::Layout::hideTrailingDecimals()
{
    int k = fraction;
    for (auto it = s.pieces.rbegin(); it != s.pieces.rend() && k > 0; ++it) {
        if (!isDigit(it->token))
            continue;
        if (it->token == Token::Zero || decimals[size_t(k - 1)] != '0')
            break;
        decimals[size_t(k - 1)] = it->token == Token::Hash ? '\0' : ' ';
        --k;
    }
}

// The whole part with thousands separators, padded to the zeros from the first 0 on.
std::string NumberFormat::Layout::groupedWhole() const
{
    int zeros = 0;
    bool seen = false;
    for (const Piece& p : s.pieces) {
        if (p.token == Token::Point || p.token == Token::Exponent)
            break;
        if (p.token == Token::Zero)
            seen = true;
        if (seen && isDigit(p.token))
            ++zeros;
    }
    std::string padded = digits;
    if (int(padded.size()) < zeros)
        padded.insert(0, size_t(zeros - int(padded.size())), '0');
    std::string grouped;
    for (size_t k = 0; k < padded.size(); ++k) {
        if (k > 0 && (padded.size() - k) % 3 == 0)
            grouped += ',';
        grouped += padded[k];
    }
    return grouped;
}

// The pieces in order; the whole part's digits fill the placeholders from the right, the first
// takes any more.
std::string NumberFormat::Layout::write() const
{
    const std::string grouped = s.grouping ? groupedWhole() : std::string();
    std::string shown;
    int wholeIndex = 0, fractionIndex = 0;
    bool afterPoint = false;
    for (const Piece& p : s.pieces) {
        switch (p.token) {
        case Token::Literal: shown += p.literal; break;
        case Token::Point:
            afterPoint = true;
            shown += '.';
            break;
        case Token::Exponent:
            shown += 'E';
            if (power < 0)
                shown += '-';
            else if (p.literal[0] == '+')
                shown += '+';
            {
                std::string e = std::to_string(std::abs(power));
                if (e.size() < p.literal.size() - 1)
                    e.insert(0, p.literal.size() - 1 - e.size(), '0');
                shown += e;
            }
            break;
        case Token::Zero:
        case Token::Hash:
        case Token::Query:
            if (afterPoint) {
                if (fractionIndex < fraction && decimals[size_t(fractionIndex)] != '\0')
                    shown += decimals[size_t(fractionIndex)];
                ++fractionIndex;
            } else if (s.grouping) {
                if (wholeIndex++ == 0)
                    shown += grouped;
            } else {
                const int at = int(digits.size()) - whole + wholeIndex;
                if (wholeIndex == 0 && at > 0)
                    shown.append(digits, 0, size_t(at));
                if (at >= 0)
                    shown += digits[size_t(at)];
                else if (p.token == Token::Zero)
                    shown += '0';
                else if (p.token == Token::Query)
                    shown += ' ';
                ++wholeIndex;
            }
            break;
        default: break;
        }
    }
    return shown;
}

std::string NumberFormat::section(const Section& s, double v) const
{
    if (s.hasGeneral || !s.hasDigits) {
        std::string shown;
        for (const Piece& p : s.pieces)
            shown += p.token == Token::General ? numberText(v) : p.literal;
        return shown;
    }
    const double x = v * std::pow(100.0, s.percent) / std::pow(1000.0, s.scale);
    if (!std::isfinite(x))
        return numberText(x);
    Layout layout(s);
    if (!layout.round(x))
        return numberText(v);
    layout.hideTrailingDecimals();
    return layout.write();
}

} // namespace k27::wb
