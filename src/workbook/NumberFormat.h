#pragma once

#include "CellText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace k27::wb {

// A cell's number format, read once per workbook and applied to every cell that has it:
// a number shows as the spreadsheet shows it (zero padding, fixed decimals, thousands
// separators, percent, scientific, literal text), except that dates and times keep the
// reader's one fixed form (see cellNumberText). A text cell goes through the format's text
// section when it has one ("ID-"@).
class NumberFormat
{
public:
    NumberFormat() = default; // General
    static NumberFormat builtin(uint32_t id);
    static NumberFormat parse(std::string_view code);

    NumberKind kind() const { return m_kind; }
    bool general() const { return m_kind == NumberKind::Plain && m_sections.empty(); }
    bool changesText() const { return m_text >= 0; }

    std::string number(double v, bool date1904) const;
    std::string text(std::string_view value) const;

private:
    enum class Token : uint8_t { Literal, Zero, Hash, Query, Point, Comma, Exponent, Text, General };
    struct Piece
    {
        Token token;
        std::string literal; // Literal; Exponent: "+" or "-" then the exponent's zeros
    };
    struct Section
    {
        std::vector<Piece> pieces;
        int percent = 0;       // each % multiplies by 100
        int scale = 0;         // each comma after the last digit divides by 1000
        bool grouping = false; // a comma between digits: thousands separators
        bool hasDigits = false;
        bool hasGeneral = false;
    };

    struct Layout; // a number laid out on a section's placeholders

    static bool isDigit(Token t) { return t == Token::Zero || t == Token::Hash || t == Token::Query; }
    // One section of `code` from `*at` up to its ';' or the end, where `*at` is left.
    static Section tokenize(std::string_view code, size_t* at, bool* unsupported, bool* text);
    static void placeCommas(Section* s); // thousands separators, or a scale of 1000 each
    std::string section(const Section& s, double v) const;

    NumberKind m_kind = NumberKind::Plain;
    std::vector<Section> m_sections; // empty: General
    int m_text = -1;                 // the section for texts, if any
};

} // namespace k27::wb
