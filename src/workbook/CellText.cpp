#include "CellText.h"

#include <cmath>
#include <cstdio>

namespace k27::wb {

NumberKind builtinFormatKind(uint32_t id)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || (id >= 34 && id <= 36) || (id >= 50 && id <= 58))
        return NumberKind::Date; // 27-36 and 50-58 are the East Asian date formats
    if (id == 46)
        return NumberKind::ElapsedHours; // [h]:mm:ss
    if ((id >= 18 && id <= 21) || id == 45 || id == 47 || id == 32 || id == 33)
        return NumberKind::Time;
    if (id == 22)
        return NumberKind::DateTime;
    return NumberKind::Plain;
}

NumberKind formatCodeKind(std::string_view code)
{
    bool date = false, time = false, month = false;
    NumberKind elapsed = NumberKind::Plain;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') { // literal text
            const size_t end = code.find('"', i + 1);
            if (end == std::string_view::npos)
                break;
            i = end;
        } else if (c == '\\' || c == '_' || c == '*') { // escaped or padding character
            ++i;
        } else if (c == '[') { // colour, condition or locale; [h] [m] [s] are elapsed time
            const size_t end = code.find(']', i + 1);
            if (end == std::string_view::npos)
                break;
            const std::string_view inner = code.substr(i + 1, end - i - 1);
            const char unit = inner.empty() ? 0 : char(inner[0] | 0x20);
            if ((unit == 'h' || unit == 'm' || unit == 's')
                && inner.find_first_not_of(inner[0]) == std::string_view::npos && elapsed == NumberKind::Plain) {
                time = true;
                elapsed = unit == 'h'   ? NumberKind::ElapsedHours
                          : unit == 'm' ? NumberKind::ElapsedMinutes
                                        : NumberKind::ElapsedSeconds;
            }
            i = end;
        } else if (c == ';') { // later sections are for negative numbers and texts
            break;
        } else {
            switch (c) {
            case 'y':
            case 'Y':
            case 'd':
            case 'D': date = true; break;
            case 'h':
            case 'H':
            case 's':
            case 'S': time = true; break;
            case 'm':
            case 'M': month = true; break;
            default: break;
            }
        }
    }
    if (month && !time)
        date = true; // m beside h or s means minutes
    if (date && time)
        return NumberKind::DateTime;
    if (elapsed != NumberKind::Plain)
        return elapsed;
    if (date)
        return NumberKind::Date;
    return time ? NumberKind::Time : NumberKind::Plain;
}

std::string numberText(double v)
{
    if (!std::isfinite(v))
        return "#NUM!";
    char buffer[64];
    if (v == std::trunc(v) && std::fabs(v) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", v);
    } else {
        // Fifteen significant digits, as the engines keep; a plain decimal for the
        // magnitudes a cell shows without an exponent.
        std::snprintf(buffer, sizeof buffer, "%.15g", v);
        const double a = std::fabs(v);
        if (std::string_view(buffer).find('e') != std::string_view::npos && a >= 1e-9 && a < 1e15) {
            const int digits = 14 - int(std::floor(std::log10(a)));
            std::snprintf(buffer, sizeof buffer, "%.*f", digits < 0 ? 0 : digits, v);
            std::string text = buffer;
            if (text.find('.') != std::string::npos) {
                while (text.back() == '0')
                    text.pop_back();
                if (text.back() == '.')
                    text.pop_back();
            }
            return text;
        }
    }
    std::string text = buffer;
    return text == "-0" ? "0" : text;
}

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = int64_t(yoe) + era * 400 + (*m <= 2);
}

} // namespace

std::string cellNumberText(double v, NumberKind kind, bool date1904)
{
    // Dates run from 1900 (or 1904) to 9999 in the engines; anything else shows as a number.
    if (kind == NumberKind::Plain || !std::isfinite(v) || v < 0 || v >= 2958466)
        return numberText(v);
    // Round to the second, as the engines show it.
    const int64_t seconds = int64_t(std::llround(v * 86400.0));
    int64_t days = seconds / 86400;
    const int64_t secs = seconds % 86400;
    char buffer[48];
    switch (kind) {
    case NumberKind::ElapsedHours:
        std::snprintf(buffer, sizeof buffer, "%02lld:%02d:%02d", (long long)(seconds / 3600), int(secs / 60 % 60),
                      int(secs % 60));
        return buffer;
    case NumberKind::ElapsedMinutes:
        std::snprintf(buffer, sizeof buffer, "%02lld:%02d", (long long)(seconds / 60), int(secs % 60));
        return buffer;
    case NumberKind::ElapsedSeconds: return std::to_string(seconds);
    default: break;
    }
    std::string text;
    if (kind != NumberKind::Time) {
        int64_t unixDays;
        if (date1904)
            unixDays = days - 24107; // 1904-01-01 is day 0
        else if (days == 0)
            return "1900-01-00"; // day 0 of the 1900 system
        else if (days == 60)
            return "1900-02-29"; // the 1900 system counts a day that never was
        else
            unixDays = days - (days < 60 ? 25568 : 25569);
        int64_t y;
        unsigned m, d;
        civilFromDays(unixDays, &y, &m, &d);
        std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", (long long)y, m, d);
        text = buffer;
    }
    if (kind == NumberKind::Time || (kind == NumberKind::DateTime && secs != 0)) {
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
        if (!text.empty())
            text += ' ';
        text += buffer;
    }
    return text;
}

void appendCodePoint(std::string* out, uint32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out->push_back(char(cp));
    } else if (cp < 0x800) {
        out->push_back(char(0xC0 | (cp >> 6)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(char(0xE0 | (cp >> 12)));
        out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (cp >> 18)));
        out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(char(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16(std::string* out, const uint16_t* units, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            appendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            appendCodePoint(out, u);
        }
    }
}

} // namespace k27::wb
