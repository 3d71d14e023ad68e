#include "XlsReader.h"

#include "ByteCursor.h"
#include "CellText.h"
#include "CompoundFile.h"

#include <cstring>
#include <unordered_map>

namespace k27::wb {

namespace {

enum RecordType : uint16_t {
    Formula = 0x0006,
    Eof = 0x000A,
    DateMode = 0x0022,
    FilePass = 0x002F,
    Continue = 0x003C,
    BoundSheet = 0x0085,
    MulRk = 0x00BD,
    RString = 0x00D6,
    Xf = 0x00E0,
    Sst = 0x00FC,
    LabelSst = 0x00FD,
    Number = 0x0203,
    Label = 0x0204,
    BoolErr = 0x0205,
    String = 0x0207,
    Rk = 0x027E,
    Format = 0x041E,
    Bof = 0x0809,
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
                return false;  // half a character before the end of a piece
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
        if (shortLength) {
            uint8_t n;
            if (!get(&n))
                return ReadError::Damaged;
            count = n;
        } else if (!get(&count)) {
            return ReadError::Damaged;
        }
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
            if (!peek.u16(&nextType) || nextType != Continue || !peek.u16(&nextSize) ||
                !peek.bytes(&nextData, nextSize))
                break;
            body->add(nextData, nextSize);
            m_stream = peek;
        }
        return true;
    }

private:
    ByteCursor m_stream;
};

struct Globals
{
    std::string sst;                                  // all shared strings, one after another
    std::vector<std::pair<uint32_t, uint32_t>> sstAt;  // offset and length of each
    std::vector<uint16_t> xfFormat;                    // number format of each cell format
    std::unordered_map<uint16_t, NumberKind> formats;  // custom number formats
    bool date1904 = false;
    int64_t sheet1 = -1;                              // stream position of Sheet1's BOF

    NumberKind kindOf(uint16_t xf) const
    {
        if (xf >= xfFormat.size())
            return NumberKind::Plain;
        const uint16_t id = xfFormat[xf];
        const auto custom = formats.find(id);
        return custom != formats.end() ? custom->second : builtinFormatKind(id);
    }
};

bool isSheet1(const std::string& name)
{
    if (name.size() != 6)
        return false;
    static const char want[] = "sheet1";
    for (int i = 0; i < 6; ++i) {
        char c = name[size_t(i)];
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
        if (c != want[i])
            return false;
    }
    return true;
}

bool bof(Pieces* body, uint16_t wantKind)
{
    uint16_t version, kind;
    return body->get(&version) && body->get(&kind) && version == 0x0600 && kind == wantKind;
}

ReadError readGlobals(Records* records, size_t streamSize, const Limits& limits, Globals* g, std::string* why)
{
    uint16_t type;
    Pieces body;
    bool broken;
    if (!records->next(&type, &body, &broken) || type != Bof) {
        *why = "the workbook stream does not start with BOF";
        return ReadError::Damaged;
    }
    uint16_t version = 0, kind = 0;
    if (!body.get(&version) || !body.get(&kind) || version != 0x0600 || kind != 0x0005) {
        *why = "not a BIFF8 workbook (Excel 97 or later)";
        return ReadError::NotWorkbook;
    }
    std::string text;
    while (records->next(&type, &body, &broken)) {
        switch (type) {
        case Eof:
            return ReadError::None;
        case FilePass:
            *why = "the workbook is encrypted";
            return ReadError::Damaged;
        case DateMode: {
            uint16_t f = 0;
            body.get(&f);
            g->date1904 = f == 1;
            break;
        }
        case Xf: {
            uint16_t font, format;
            if (!body.get(&font) || !body.get(&format))
                return ReadError::Damaged;
            g->xfFormat.push_back(format);
            break;
        }
        case Format: {
            uint16_t id;
            if (!body.get(&id) || body.string(false, limits.stringUnits, &text) != ReadError::None) {
                *why = "a number format is cut short";
                return ReadError::Damaged;
            }
            g->formats[id] = formatCodeKind(text);
            break;
        }
        case BoundSheet: {
            uint32_t position;
            uint8_t visibility, sheetType;
            if (!body.get(&position) || !body.get(&visibility) || !body.get(&sheetType) ||
                body.string(true, 255, &text) != ReadError::None) {
                *why = "a sheet entry is cut short";
                return ReadError::Damaged;
            }
            if (sheetType == 0 && g->sheet1 < 0 && isSheet1(text)) {
                if (position >= streamSize) {
                    *why = "Sheet1 starts beyond the stream";
                    return ReadError::Damaged;
                }
                g->sheet1 = position;
            }
            break;
        }
        case Sst: {
            uint32_t total, unique;
            if (!body.get(&total) || !body.get(&unique))
                return ReadError::Damaged;
            g->sstAt.reserve(std::min<size_t>(unique, streamSize / 3));
            while (g->sstAt.size() < unique && !body.atEnd()) {
                const ReadError e = body.string(false, limits.stringUnits, &text);
                if (e != ReadError::None) {
                    *why = "a shared string is cut short or too long";
                    return e;
                }
                if (text.size() > limits.textBytes - g->sst.size())
                    return ReadError::TooLarge;
                g->sstAt.emplace_back(uint32_t(g->sst.size()), uint32_t(text.size()));
                g->sst += text;
            }
            break;
        }
        default:
            break;
        }
    }
    *why = broken ? "a record is cut short" : "the workbook globals do not end";
    return ReadError::Damaged;
}

// The 30-bit packed number of RK and MULRK cells.
double rkValue(uint32_t rk)
{
    double v;
    if (rk & 2) {
        v = double(int32_t(rk) >> 2);
    } else {
        const uint64_t bits = uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, 8);
    }
    return (rk & 1) ? v / 100 : v;
}

const char* errorText(uint8_t code)
{
    switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "#N/A";
    }
}

ReadError readSheet(Records* records, const Globals& g, SheetCells* cells, std::string* why)
{
    uint16_t type;
    Pieces body;
    bool broken;
    if (!records->seek(size_t(g.sheet1)) || !records->next(&type, &body, &broken) || type != Bof ||
        !bof(&body, 0x0010)) {
        *why = "Sheet1 does not start with a worksheet BOF";
        return ReadError::Damaged;
    }
    const Limits& limits = cells->limits();
    int depth = 1;  // charts inside the sheet bring their own BOF and EOF
    bool pendingString = false;
    uint16_t pendingRow = 0, pendingCol = 0;
    std::string text;
    auto add = [&](uint16_t row, uint16_t col, std::string_view value) {
        return cells->add(row, col, value);
    };
    while (records->next(&type, &body, &broken)) {
        if (type == Bof) {
            ++depth;
            continue;
        }
        if (type == Eof) {
            if (--depth == 0)
                return ReadError::None;
            continue;
        }
        if (depth != 1)
            continue;
        uint16_t row, col, xf;
        ReadError e = ReadError::None;
        const bool isCell = type == LabelSst || type == Label || type == RString || type == Number || type == Rk ||
                            type == Formula || type == BoolErr;
        if (isCell && (!body.get(&row) || !body.get(&col) || !body.get(&xf))) {
            *why = "a cell record is cut short";
            return ReadError::Damaged;
        }
        if (type != String)
            pendingString = false;
        switch (type) {
        case LabelSst: {
            uint32_t index;
            if (!body.get(&index) || index >= g.sstAt.size()) {
                *why = "a cell refers to a missing shared string";
                return ReadError::Damaged;
            }
            const auto [offset, length] = g.sstAt[index];
            e = add(row, col, std::string_view(g.sst).substr(offset, length));
            break;
        }
        case Label:
        case RString:
            e = body.string(false, limits.stringUnits, &text);
            if (e == ReadError::None)
                e = add(row, col, text);
            break;
        case Number: {
            double v;
            if (!body.get(&v))
                return ReadError::Damaged;
            e = add(row, col, cellNumberText(v, g.kindOf(xf), g.date1904));
            break;
        }
        case Rk: {
            uint32_t rk;
            if (!body.get(&rk))
                return ReadError::Damaged;
            e = add(row, col, cellNumberText(rkValue(rk), g.kindOf(xf), g.date1904));
            break;
        }
        case MulRk: {
            // row, first column, (format, RK) per cell, last column
            uint16_t first;
            if (!body.get(&row) || !body.get(&first))
                return ReadError::Damaged;
            for (uint32_t c = first; e == ReadError::None; ++c) {
                uint16_t cellXf;
                uint32_t rk;
                if (!body.get(&cellXf))
                    return ReadError::Damaged;
                if (body.atEnd())
                    break;  // that was the last column
                if (!body.get(&rk) || c > 0xFFFF)
                    return ReadError::Damaged;
                e = add(row, uint16_t(c), cellNumberText(rkValue(rk), g.kindOf(cellXf), g.date1904));
            }
            break;
        }
        case Formula: {
            // The last computed value: a number, or a tag for text, boolean, error or empty.
            uint8_t result[8];
            if (!body.read(result, 8))
                return ReadError::Damaged;
            if (result[6] == 0xFF && result[7] == 0xFF) {
                switch (result[0]) {
                case 0:  // the text follows in a STRING record
                    pendingString = true;
                    pendingRow = row;
                    pendingCol = col;
                    e = add(row, col, {});
                    break;
                case 1:
                    e = add(row, col, result[2] ? "TRUE" : "FALSE");
                    break;
                case 2:
                    e = add(row, col, errorText(result[2]));
                    break;
                default:
                    e = add(row, col, {});
                    break;
                }
            } else {
                double v;
                std::memcpy(&v, result, 8);
                e = add(row, col, cellNumberText(v, g.kindOf(xf), g.date1904));
            }
            break;
        }
        case String:
            if (pendingString) {
                e = body.string(false, limits.stringUnits, &text);
                if (e == ReadError::None)
                    e = add(pendingRow, pendingCol, text);
                pendingString = false;
            }
            break;
        case BoolErr: {
            uint8_t value, isError;
            if (!body.get(&value) || !body.get(&isError))
                return ReadError::Damaged;
            e = add(row, col, isError ? errorText(value) : (value ? "TRUE" : "FALSE"));
            break;
        }
        default:
            break;
        }
        if (e != ReadError::None) {
            *why = e == ReadError::TooLarge ? "the sheet is beyond the reader's limits" : "a cell is cut short";
            return e;
        }
    }
    *why = broken ? "a record is cut short" : "Sheet1 does not end";
    return ReadError::Damaged;
}

} // namespace

ReadError readXls(const uint8_t* data, size_t size, SheetCells* cells, std::string* detail)
{
    std::string why;
    std::vector<uint8_t> stream;
    ReadError e = readCompoundStream(data, size, u"Workbook", &stream);
    if (e == ReadError::None) {
        Records records(stream);
        Globals g;
        e = readGlobals(&records, stream.size(), cells->limits(), &g, &why);
        if (e == ReadError::None && g.sheet1 < 0) {
            e = ReadError::NoSheet1;
            why = "no worksheet named Sheet1";
        }
        if (e == ReadError::None)
            e = readSheet(&records, g, cells, &why);
    } else {
        why = e == ReadError::NotWorkbook ? "no workbook stream in the file" : "the compound document is damaged";
    }
    if (e == ReadError::None)
        cells->finish();
    if (detail)
        *detail = why;
    return e;
}

} // namespace k27::wb
