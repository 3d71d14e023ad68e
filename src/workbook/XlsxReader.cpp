#include "XlsxReader.h"

#include "CellText.h"
#include "NumberFormat.h"
#include "XlsxPart.h"
#include "XmlScan.h"

#include <QString>
#include <QXmlStreamReader>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <zip.h>

namespace k27::wb {

namespace {

using namespace xlsx;

class Reader
{
public:
    Reader(zip_t* zip, SheetCells* cells) : m_zip(zip), m_cells(cells) {}

    Failure run()
    {
        std::string workbook = "xl/workbook.xml";
        std::unordered_map<std::string, Relationship> rootRels;
        if (Failure f = readRelationships("_rels/.rels", "", &rootRels); f.error != ReadError::None)
            return f;
        for (const auto& [id, rel] : rootRels)
            if (endsWith(rel.type, "/officeDocument"))
                workbook = rel.target;
        if (locate(workbook) < 0)
            return {ReadError::NotWorkbook, "the archive holds no workbook part"};
        // A binary workbook (.xlsb) is sound, only not one this reader reads.
        if (endsWith(workbook, ".bin"))
            return {ReadError::NotWorkbook, "a binary workbook (.xlsb)"};

        const std::string folder = workbook.substr(0, workbook.rfind('/') + 1);
        std::unordered_map<std::string, Relationship> rels;
        const std::string relsName = folder + "_rels/" + workbook.substr(folder.size()) + ".rels";
        if (Failure f = readRelationships(relsName, folder, &rels); f.error != ReadError::None)
            return f;
        std::string sheetId;
        if (Failure f = readWorkbook(workbook, &sheetId); f.error != ReadError::None)
            return f;
        if (sheetId.empty())
            return {ReadError::NoSheet1, "no worksheet named Sheet1"};
        const auto sheet = rels.find(sheetId);
        if (sheet == rels.end() || locate(sheet->second.target) < 0)
            return {ReadError::Damaged, "Sheet1's part is missing"};
        for (const auto& [id, rel] : rels) {
            Failure f{ReadError::None, {}};
            if (endsWith(rel.type, "/sharedStrings"))
                f = readSharedStrings(rel.target);
            else if (endsWith(rel.type, "/styles"))
                f = readStyles(rel.target);
            if (f.error != ReadError::None)
                return f;
        }
        return readSheet(sheet->second.target);
    }

private:
    struct Relationship
    {
        std::string type;
        std::string target;
    };

    static bool endsWith(const std::string& s, std::string_view tail)
    {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    }
    static bool is(QStringView name, const char* want) { return name == QLatin1String(want); }

    // Part names are compared without regard to case, as the package format has them.
    zip_int64_t locate(const std::string& name) const { return zip_name_locate(m_zip, name.c_str(), ZIP_FL_NOCASE); }

    std::unique_ptr<Part> open(const std::string& name, bool* missing)
    {
        *missing = false;
        const zip_int64_t index = locate(name);
        zip_stat_t st;
        zip_stat_init(&st);
        if (index < 0 || zip_stat_index(m_zip, zip_uint64_t(index), 0, &st) != 0) {
            *missing = true;
            return nullptr;
        }
        const uint64_t compressed = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
        auto part = std::make_unique<Part>(m_zip, index, compressed);
        return part->opened() ? std::move(part) : nullptr;
    }

    // A target relative to `folder`, or absolute from the archive's root.
    static std::string resolve(const std::string& folder, const std::string& target)
    {
        std::string path = !target.empty() && target[0] == '/' ? target.substr(1) : folder + target;
        std::vector<std::string> parts;
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('/', start);
            if (end == std::string::npos)
                end = path.size();
            const std::string piece = path.substr(start, end - start);
            if (piece == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!piece.empty() && piece != ".") {
                parts.push_back(piece);
            }
            start = end + 1;
        }
        std::string joined;
        for (const std::string& p : parts)
            joined += (joined.empty() ? "" : "/") + p;
        return joined;
    }

    Failure readRelationships(const std::string& name, const std::string& folder,
                              std::unordered_map<std::string, Relationship>* rels)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return missing ? Failure{ReadError::None, {}} : Failure{ReadError::Damaged, name + " cannot be opened"};
        while (!part->xml().atEnd()) {
            if (part->next() == QXmlStreamReader::StartElement && is(part->xml().name(), "Relationship")) {
                const QXmlStreamAttributes a = part->xml().attributes();
                if (a.value(QLatin1String("TargetMode")) == QLatin1String("External"))
                    continue;
                (*rels)[a.value(QLatin1String("Id")).toString().toStdString()] = Relationship{
                    a.value(QLatin1String("Type")).toString().toStdString(),
                    resolve(folder, a.value(QLatin1String("Target")).toString().toStdString())};
            }
        }
        return part->xml().hasError() ? part->failure(name.c_str()) : Failure{ReadError::None, {}};
    }

    Failure readWorkbook(const std::string& name, std::string* sheetId)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return {ReadError::Damaged, "the workbook part cannot be opened"};
        QXmlStreamReader& xml = part->xml();
        while (!xml.atEnd()) {
            if (part->next() != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            if (is(xml.name(), "workbookPr")) {
                const QStringView v = a.value(QLatin1String("date1904"));
                m_date1904 = v == QLatin1String("1") || v == QLatin1String("true");
            } else if (is(xml.name(), "sheet") && sheetId->empty()
                       && a.value(QLatin1String("name")).compare(QLatin1String("Sheet1"), Qt::CaseInsensitive) == 0) {
                for (const QXmlStreamAttribute& attribute : a)
                    if (is(attribute.name(), "id"))
                        *sheetId = attribute.value().toString().toStdString();
            }
        }
        return xml.hasError() ? part->failure("the workbook part") : Failure{ReadError::None, {}};
    }

    // The text of the element just started, up to its end, with its _xHHHH_ escapes
    // decoded. For rich text (`runs`), only the text elements <t> count: not the layout
    // between them, not the phonetic guide (rPh). False on a malformed part, or when the
    // text grows past a cell's limit (then m_tooLong).
    bool collect(XmlScan& x, std::string* text, bool runs)
    {
        text->clear();
        const size_t units = m_cells->limits().stringUnits;
        const int base = x.depth();
        int phonetic = 0, inText = 0;
        for (;;) {
            const XmlScan::Token t = x.next();
            if (t == XmlScan::Token::Start) {
                if (x.name() == "rPh")
                    ++phonetic;
                else if (x.name() == "t")
                    ++inText;
            } else if (t == XmlScan::Token::End) {
                if (x.depth() < base)
                    break;
                if (x.name() == "rPh")
                    --phonetic;
                else if (x.name() == "t")
                    --inText;
            } else if (t == XmlScan::Token::Text) {
                if (!runs || (inText > 0 && phonetic == 0)) {
                    text->append(x.text());
                    if (text->size() > units * 7) { // an escape takes seven bytes for one unit
                        m_tooLong = true;
                        return false;
                    }
                }
            } else {
                return false;
            }
        }
        decodeOoxmlEscapes(text);
        if (text->size() > units) {
            // UTF-16 units: one per character, two for those past U+FFFF (four UTF-8 bytes).
            size_t n = 0;
            for (const char c : *text)
                n += (uint8_t(c) & 0xC0) != 0x80 ? 1 : 0;
            for (const char c : *text)
                n += uint8_t(c) >= 0xF0 ? 1 : 0;
            if (n > units) {
                m_tooLong = true;
                return false;
            }
        }
        return true;
    }

    Failure scanFailure(Part* part, const char* what) const
    {
        if (m_tooLong)
            return {ReadError::TooLarge, std::string("a text in ") + what + " is too long"};
        Failure f = part->failure(what);
        if (f.error == ReadError::Damaged && !part->scan().problem().empty())
            f.why += ": " + part->scan().problem();
        return f;
    }

    Failure readSharedStrings(const std::string& name)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return {ReadError::Damaged, "the shared strings cannot be opened"};
        XmlScan& x = part->scan();
        std::string text;
        for (;;) {
            const XmlScan::Token t = x.next();
            if (t == XmlScan::Token::Done)
                return {ReadError::None, {}};
            if (t == XmlScan::Token::Error)
                return scanFailure(part.get(), "the shared strings");
            if (t != XmlScan::Token::Start || x.name() != "si")
                continue;
            if (!collect(x, &text, true))
                return scanFailure(part.get(), "the shared strings");
            // Empty entries cost no text but a slot each: their number is bounded like the cells'.
            if (text.size() > m_cells->limits().textBytes - m_strings.size()
                || m_stringAt.size() >= size_t(m_cells->limits().cells) * 2)
                return {ReadError::TooLarge, "the shared strings are beyond the reader's limits"};
            m_stringAt.emplace_back(m_strings.size(), uint32_t(text.size()));
            m_strings += text;
        }
    }

    Failure readStyles(const std::string& name)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return {ReadError::Damaged, "the styles cannot be opened"};
        QXmlStreamReader& xml = part->xml();
        bool inCellXfs = false;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType t = part->next();
            if (t == QXmlStreamReader::EndElement && is(xml.name(), "cellXfs"))
                inCellXfs = false;
            if (t != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            if (is(xml.name(), "cellXfs")) {
                inCellXfs = true;
            } else if (is(xml.name(), "numFmt")) {
                const uint32_t id = a.value(QLatin1String("numFmtId")).toUInt();
                m_formats[id] = NumberFormat::parse(a.value(QLatin1String("formatCode")).toString().toStdString());
            } else if (is(xml.name(), "xf") && inCellXfs) {
                if (m_xfFormat.size() >= (1u << 20))
                    return {ReadError::TooLarge, "too many cell formats"};
                m_xfFormat.push_back(a.value(QLatin1String("numFmtId")).toUInt());
            }
        }
        return xml.hasError() ? part->failure("the styles") : Failure{ReadError::None, {}};
    }

    // The number format of a cell format; the map's elements stay where they are.
    const NumberFormat& formatOf(uint32_t xf)
    {
        static const NumberFormat general;
        if (xf >= m_xfFormat.size())
            return general;
        const uint32_t id = m_xfFormat[xf];
        if (const auto custom = m_formats.find(id); custom != m_formats.end())
            return custom->second;
        auto builtin = m_builtins.find(id);
        if (builtin == m_builtins.end())
            builtin = m_builtins.emplace(id, NumberFormat::builtin(id)).first;
        return builtin->second;
    }

    // "AB12" to column 27 and row 11 (counting from 0); false when it is not a reference.
    static bool cellReference(std::string_view ref, uint32_t* row, uint32_t* col)
    {
        size_t i = 0;
        uint64_t c = 0, r = 0;
        for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z' && i < 4; ++i)
            c = c * 26 + uint64_t(ref[i] - 'A' + 1);
        const size_t letters = i;
        for (; i < ref.size() && ref[i] >= '0' && ref[i] <= '9' && i < letters + 8; ++i)
            r = r * 10 + uint64_t(ref[i] - '0');
        if (letters == 0 || i == letters || i != ref.size() || r == 0)
            return false;
        *row = uint32_t(r - 1);
        *col = uint32_t(c - 1);
        return true;
    }

    static bool unsignedNumber(std::string_view s, uint32_t* v)
    {
        uint64_t n = 0;
        if (s.empty() || s.size() > 10)
            return false;
        for (const char c : s) {
            if (c < '0' || c > '9')
                return false;
            n = n * 10 + uint64_t(c - '0');
        }
        if (n > 0xFFFFFFFFu)
            return false;
        *v = uint32_t(n);
        return true;
    }

    static std::string_view trimmed(std::string_view s)
    {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
            s.remove_suffix(1);
        return s;
    }

    // The cell being read: its attributes and children, in buffers kept from cell to cell.
    struct Cell
    {
        std::string type;
        uint32_t style = 0;
        std::string value;      // the cached value <v>
        std::string inlineText; // inline text <is>
        bool hasValue = false;
        bool hasInline = false;
        bool hasFormula = false; // <f>
    };

    Failure readSheet(const std::string& name)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return {ReadError::Damaged, "Sheet1's part cannot be opened"};
        XmlScan& x = part->scan();
        int64_t row = -1, col = -1;
        std::string attribute;
        for (;;) {
            const XmlScan::Token t = x.next();
            if (t == XmlScan::Token::Done)
                break;
            if (t == XmlScan::Token::Error)
                return scanFailure(part.get(), "Sheet1's part");
            if (t != XmlScan::Token::Start)
                continue;
            if (x.name() == "row") {
                uint32_t n = 0;
                if (!x.attribute("r", &attribute)) {
                    ++row;
                } else if (!unsignedNumber(trimmed(attribute), &n) || n == 0) {
                    return {ReadError::Damaged, "a row has no valid number"};
                } else {
                    row = int64_t(n) - 1;
                }
                col = -1;
                continue;
            }
            if (x.name() != "c")
                continue;
            if (!x.attribute("r", &attribute) || attribute.empty()) {
                ++col;
            } else {
                uint32_t r, c;
                if (!cellReference(attribute, &r, &c))
                    return {ReadError::Damaged, "a cell has no valid reference"};
                row = r;
                col = c;
            }
            if (!readCell(x))
                return scanFailure(part.get(), "Sheet1's part");
            if (row < 0 || col < 0)
                return {ReadError::Damaged, "a cell lies outside the sheet"};
            if (Failure f = storeCell(uint32_t(row), uint32_t(col)); f.error != ReadError::None)
                return f;
        }
        m_cells->finish();
        return {ReadError::None, {}};
    }

    // The attributes and children of the cell just started; false on a malformed part.
    bool readCell(XmlScan& x)
    {
        Cell& cell = m_cell;
        if (!x.attribute("t", &cell.type))
            cell.type.clear();
        cell.style = 0;
        if (x.attribute("s", &m_attribute) && !unsignedNumber(trimmed(m_attribute), &cell.style))
            cell.style = 0;
        cell.hasValue = cell.hasInline = cell.hasFormula = false;
        const int base = x.depth();
        for (;;) {
            const XmlScan::Token t = x.next();
            if (t == XmlScan::Token::End && x.depth() < base)
                return true;
            if (t == XmlScan::Token::Error || t == XmlScan::Token::Done)
                return false;
            if (t != XmlScan::Token::Start)
                continue;
            bool ok = true;
            if (x.name() == "v") {
                ok = collect(x, &cell.value, false);
                cell.hasValue = true;
            } else if (x.name() == "is") {
                ok = collect(x, &cell.inlineText, true);
                cell.hasInline = true;
            } else {
                cell.hasFormula = cell.hasFormula || x.name() == "f";
                ok = x.skipElement();
            }
            if (!ok)
                return false;
        }
    }

    // The cell just read, as its type and number format show it; formatted empty cells and
    // formulas saved without their result store nothing.
    Failure storeCell(uint32_t row, uint32_t col)
    {
        const Cell& cell = m_cell;
        const std::string& type = cell.type;
        const std::string& value = cell.value;
        std::string& text = m_text;
        const std::string_view v = trimmed(value);
        if (cell.hasFormula && !cell.hasInline && (!cell.hasValue || (v.empty() && type != "str"))) {
            // Written without its result (some libraries leave computing to the reader).
            m_cells->noteFormulaWithoutValue();
            return {ReadError::None, {}};
        }
        if (type == "inlineStr") {
            if (!cell.hasInline)
                return {ReadError::None, {}};
            text = formatOf(cell.style).text(cell.inlineText);
        } else if (!cell.hasValue) {
            return {ReadError::None, {}}; // a formatted empty cell
        } else if (type == "s") {
            if (v.empty())
                return {ReadError::None, {}}; // <v/>: no string, an empty cell
            uint32_t index;
            if (!unsignedNumber(v, &index) || index >= m_stringAt.size())
                return {ReadError::Damaged, "a cell refers to a missing shared string"};
            const std::string_view shared = std::string_view(m_strings).substr(m_stringAt[index].first,
                                                                               m_stringAt[index].second);
            const NumberFormat& format = formatOf(cell.style);
            if (!format.changesText())
                return added(m_cells->add(row, col, shared));
            text = format.text(shared);
        } else if (type == "b") {
            text = v == "1" || v == "true" ? "TRUE" : "FALSE";
        } else if (type == "str") {
            text = formatOf(cell.style).text(value);
        } else if (type == "e") {
            text = value;
        } else if (type == "d") {
            // An ISO 8601 date; midnight is just the day.
            text = value;
            if (text.size() > 9 && text.compare(text.size() - 9, 9, "T00:00:00") == 0)
                text.resize(text.size() - 9);
            for (char& c : text)
                if (c == 'T')
                    c = ' ';
        } else {
            const std::string number(v);
            char* end = nullptr;
            const double d = std::strtod(number.c_str(), &end);
            text = !number.empty() && end == number.c_str() + number.size() ? formatOf(cell.style).number(d, m_date1904)
                                                                            : value;
        }
        return added(m_cells->add(row, col, text));
    }

    static Failure added(ReadError e)
    {
        if (e != ReadError::None)
            return {e, "the sheet is beyond the reader's limits"};
        return {ReadError::None, {}};
    }

    zip_t* m_zip;
    SheetCells* m_cells;
    std::string m_strings;
    std::vector<std::pair<size_t, uint32_t>> m_stringAt;
    std::vector<uint32_t> m_xfFormat;
    std::unordered_map<uint32_t, NumberFormat> m_formats;
    std::unordered_map<uint32_t, NumberFormat> m_builtins;
    bool m_date1904 = false;
    bool m_tooLong = false;
    Cell m_cell;
    std::string m_attribute;
    std::string m_text;
};

} // namespace

bool isZip(const uint8_t* data, size_t size)
{
    return size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0;
}

ReadError readXlsx(const uint8_t* data, size_t size, SheetCells* cells, std::string* detail)
{
    Failure result{ReadError::Damaged, "the zip archive cannot be opened"};
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (source) {
        std::unique_ptr<zip_t, ZipCloser> zip(zip_open_from_source(source, ZIP_RDONLY, &error));
        if (zip)
            result = Reader(zip.get(), cells).run();
        else
            zip_source_free(source);
    }
    zip_error_fini(&error);
    if (detail)
        *detail = result.why;
    return result.error;
}

} // namespace k27::wb
