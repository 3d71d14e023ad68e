#include "XlsReader.h"

#include "BiffRecords.h"
#include "CompoundFile.h"
#include "NumberFormat.h"

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
    CodePage = 0x0042,
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
    Array = 0x0221,
    Table = 0x0236,
    Rk = 0x027E,
    SharedFormula = 0x04BC,
    Format = 0x041E,
    Bof = 0x0809,
};

constexpr uint16_t Biff8 = 0x0600;
constexpr uint16_t Biff5 = 0x0500; // Excel 5 and 95

struct Globals
{
    uint16_t biff = Biff8;
    ByteText codePage;
    std::string sst;                                    // all shared strings, one after another
    std::vector<std::pair<uint32_t, uint32_t>> sstAt;   // offset and length of each
    std::vector<uint16_t> xfFormat;                     // number format of each cell format
    std::unordered_map<uint16_t, NumberFormat> formats; // the workbook's own number formats
    mutable std::unordered_map<uint16_t, NumberFormat> builtins;
    bool date1904 = false;
    int64_t sheet1 = -1; // stream position of Sheet1's BOF

    const NumberFormat& formatOf(uint16_t xf) const
    {
        static const NumberFormat general;
        if (xf >= xfFormat.size())
            return general;
        const uint16_t id = xfFormat[xf];
        if (const auto custom = formats.find(id); custom != formats.end())
            return custom->second;
        auto builtin = builtins.find(id);
        if (builtin == builtins.end())
            builtin = builtins.emplace(id, NumberFormat::builtin(id)).first;
        return builtin->second;
    }
    std::string number(double v, uint16_t xf) const { return formatOf(xf).number(v, date1904); }

    // A text of the records: with an option byte in Excel 97, code page bytes in Excel 95.
    ReadError string(Pieces* body, bool shortLength, size_t maxUnits, std::string* out)
    {
        return biff == Biff8 ? body->string(shortLength, maxUnits, out)
                             : body->byteString(shortLength, maxUnits, &codePage, out);
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

bool bof(Pieces* body, uint16_t wantVersion, uint16_t wantKind)
{
    uint16_t version, kind;
    return body->get(&version) && body->get(&kind) && version == wantVersion && kind == wantKind;
}

// A sheet's entry: where Sheet1 starts.
ReadError readBoundSheet(Pieces* body, size_t streamSize, Globals* g, std::string* text, std::string* why)
{
    uint32_t position;
    uint8_t visibility, sheetType;
    if (!body->get(&position) || !body->get(&visibility) || !body->get(&sheetType)
        || g->string(body, true, 255, text) != ReadError::None) {
        *why = "a sheet entry is cut short";
        return ReadError::Damaged;
    }
    if (sheetType == 0 && g->sheet1 < 0 && isSheet1(*text)) {
        if (position >= streamSize) {
            *why = "Sheet1 starts beyond the stream";
            return ReadError::Damaged;
        }
        g->sheet1 = position;
    }
    return ReadError::None;
}

// The shared strings, one after another in g->sst.
ReadError readSst(Pieces* body, const Limits& limits, Globals* g, std::string* text, std::string* why)
{
    uint32_t total, unique;
    if (!body->get(&total) || !body->get(&unique))
        return ReadError::Damaged;
    // Each string takes at least three bytes: a count the table cannot hold is a
    // damaged table, not a reason to set memory aside.
    if (uint64_t(unique) * 3 > body->total()) {
        *why = "the shared strings claim more entries than they hold";
        return ReadError::Damaged;
    }
    if (unique > limits.cells * 2)
        return ReadError::TooLarge;
    g->sstAt.reserve(unique);
    while (g->sstAt.size() < unique && !body->atEnd()) {
        const ReadError e = body->string(false, limits.stringUnits, text);
        if (e != ReadError::None) {
            *why = "a shared string is cut short or too long";
            return e;
        }
        if (text->size() > limits.textBytes - g->sst.size())
            return ReadError::TooLarge;
        g->sstAt.emplace_back(uint32_t(g->sst.size()), uint32_t(text->size()));
        g->sst += *text;
    }
    return ReadError::None;
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
    if (!body.get(&version) || !body.get(&kind) || (version != Biff8 && version != Biff5) || kind != 0x0005) {
        *why = "neither an Excel 97 (BIFF8) nor an Excel 95 (BIFF5) workbook";
        return ReadError::NotWorkbook;
    }
    g->biff = version;
    std::string text;
    while (records->next(&type, &body, &broken)) {
        switch (type) {
        case Eof: return ReadError::None;
        case FilePass: *why = "the workbook is encrypted"; return ReadError::Damaged;
        case CodePage: {
            uint16_t number = 1252;
            body.get(&number);
            if (g->biff == Biff5)
                g->codePage.set(number);
            break;
        }
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
            if (!body.get(&id) || g->string(&body, g->biff == Biff5, limits.stringUnits, &text) != ReadError::None) {
                *why = "a number format is cut short";
                return ReadError::Damaged;
            }
            g->formats[id] = NumberFormat::parse(text);
            break;
        }
        case BoundSheet:
            if (const ReadError e = readBoundSheet(&body, streamSize, g, &text, why); e != ReadError::None)
                return e;
            break;
        case Sst:
            if (const ReadError e = readSst(&body, limits, g, &text, why); e != ReadError::None)
                return e;
            break;
        default: break;
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

// Cells of one MULRK record: row, first column, (format, RK) per cell, last column. False
// when the record is damaged; *e tells whether the cells could be kept.
bool readMulRk(Pieces* body, const Globals& g, SheetCells* cells, ReadError* e)
{
    uint16_t row, first;
    if (!body->get(&row) || !body->get(&first))
        return false;
    for (uint32_t c = first; *e == ReadError::None; ++c) {
        uint16_t cellXf;
        uint32_t rk;
        if (!body->get(&cellXf))
            return false;
        if (body->atEnd())
            break; // that was the last column
        if (!body->get(&rk) || c > 0xFFFF)
            return false;
        *e = cells->add(row, uint16_t(c), g.number(rkValue(rk), cellXf));
    }
    return true;
}

// A text formula's cell, whose text comes in the STRING record after it.
struct PendingString
{
    bool due = false;
    uint16_t row = 0, col = 0, xf = 0;
};

// A formula cell shows its last computed value: a number, or a tag for text, boolean, error
// or empty. False when the record is damaged; *e tells whether the cell could be kept.
bool readFormula(Pieces* body, const Globals& g, SheetCells* cells, PendingString cell, PendingString* pending,
                 ReadError* e, std::string* why)
{
    uint8_t result[8];
    if (!body->read(result, 8))
        return false;
    if (result[6] != 0xFF || result[7] != 0xFF) {
        double v;
        std::memcpy(&v, result, 8);
        *e = cells->add(cell.row, cell.col, g.number(v, cell.xf));
        return true;
    }
    switch (result[0]) {
    case 0: // the text follows in a STRING record
        *pending = cell;
        *e = cells->add(cell.row, cell.col, {});
        return true;
    case 1: *e = cells->add(cell.row, cell.col, result[2] ? "TRUE" : "FALSE"); return true;
    case 2: *e = cells->add(cell.row, cell.col, errorText(result[2])); return true;
    case 3: // an empty text
        *e = cells->add(cell.row, cell.col, {});
        return true;
    default: *why = "a formula's result has an unknown type"; return false;
    }
}

// One record at the sheet's own level. False when it is damaged (*why may say how); *e tells
// whether its cells could be kept.
bool readCellRecord(uint16_t type, Pieces* body, Globals& g, SheetCells* cells, PendingString* pending,
                    std::string* text, ReadError* e, std::string* why)
{
    const Limits& limits = cells->limits();
    uint16_t row, col, xf;
    const bool isCell = type == LabelSst || type == Label || type == RString || type == Number || type == Rk
                        || type == Formula || type == BoolErr;
    if (isCell && (!body->get(&row) || !body->get(&col) || !body->get(&xf))) {
        *why = "a cell record is cut short";
        return false;
    }
    switch (type) {
    case LabelSst: {
        uint32_t index;
        if (!body->get(&index) || index >= g.sstAt.size()) {
            *why = "a cell refers to a missing shared string";
            return false;
        }
        const auto [offset, length] = g.sstAt[index];
        const std::string_view value = std::string_view(g.sst).substr(offset, length);
        const NumberFormat& format = g.formatOf(xf);
        *e = format.changesText() ? cells->add(row, col, format.text(value)) : cells->add(row, col, value);
        break;
    }
    case Label:
    case RString:
        *e = g.string(body, false, limits.stringUnits, text);
        if (*e == ReadError::None)
            *e = cells->add(row, col, g.formatOf(xf).text(*text));
        break;
    case Number: {
        double v;
        if (!body->get(&v))
            return false;
        *e = cells->add(row, col, g.number(v, xf));
        break;
    }
    case Rk: {
        uint32_t rk;
        if (!body->get(&rk))
            return false;
        *e = cells->add(row, col, g.number(rkValue(rk), xf));
        break;
    }
    case MulRk:
        if (!readMulRk(body, g, cells, e))
            return false;
        break;
    case Formula:
        if (!readFormula(body, g, cells, {true, row, col, xf}, pending, e, why))
            return false;
        break;
    case String:
        if (pending->due) {
            *e = g.string(body, false, limits.stringUnits, text);
            if (*e == ReadError::None)
                *e = cells->add(pending->row, pending->col, g.formatOf(pending->xf).text(*text));
            pending->due = false;
        }
        break;
    case BoolErr: {
        uint8_t value, isError;
        if (!body->get(&value) || !body->get(&isError))
            return false;
        *e = cells->add(row, col, isError ? errorText(value) : (value ? "TRUE" : "FALSE"));
        break;
    }
    default: break;
    }
    return true;
}

ReadError readSheet(Records* records, Globals& g, SheetCells* cells, std::string* why)
{
    uint16_t type;
    Pieces body;
    bool broken;
    if (!records->seek(size_t(g.sheet1)) || !records->next(&type, &body, &broken) || type != Bof
        || !bof(&body, g.biff, 0x0010)) {
        *why = "Sheet1 does not start with a worksheet BOF";
        return ReadError::Damaged;
    }
    int depth = 1; // charts inside the sheet bring their own BOF and EOF
    PendingString pending;
    std::string text;
    while (records->next(&type, &body, &broken)) {
        // A text formula's STRING comes next, after any shared formula, array or table
        // records the formula brings.
        if (pending.due && type != String && type != SharedFormula && type != Array && type != Table) {
            *why = "a text formula has no text";
            return ReadError::Damaged;
        }
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
        ReadError e = ReadError::None;
        if (!readCellRecord(type, &body, g, cells, &pending, &text, &e, why))
            return ReadError::Damaged;
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
    // Excel 97 names the stream Workbook, Excel 95 Book; some writers use either for either.
    ReadError e = readCompoundStream(data, size, u"Workbook", &stream);
    if (e == ReadError::NotWorkbook)
        e = readCompoundStream(data, size, u"Book", &stream);
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
