#include "XlsxReader.h"

#include "CellText.h"
#include "NumberFormat.h"
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

// No part of a workbook may unpack to more than this, nor grow more than MaxRatio times
// past its first megabyte: a zip bomb ends as TooLarge, not as exhausted memory.
constexpr uint64_t MaxPartBytes = uint64_t(2) << 30;
constexpr uint64_t MaxRatio = 250;
constexpr uint64_t RatioFreeBytes = 1 << 20;

struct Failure
{
    ReadError error;
    std::string why;
};

struct ZipCloser
{
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct FileCloser
{
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// One XML part of the archive, parsed while it is being decompressed: the small parts
// with Qt's reader, the sheet and its shared strings with the faster XmlScan.
class Part
{
public:
    Part(zip_t* zip, zip_int64_t index, uint64_t compressed)
        : m_compressed(compressed), m_scan([this](std::string* buffer) { return unpack(buffer); })
    {
        m_file.reset(zip_fopen_index(zip, zip_uint64_t(index), 0));
    }
    bool opened() const { return bool(m_file); }
    QXmlStreamReader& xml() { return m_xml; }
    XmlScan& scan() { return m_scan; }

    // The next token; more bytes are decompressed when the parser runs out of them.
    QXmlStreamReader::TokenType next()
    {
        for (;;) {
            const QXmlStreamReader::TokenType t = m_xml.readNext();
            if (t != QXmlStreamReader::Invalid || m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError ||
                m_done)
                return t;
            std::string bytes;
            if (!unpack(&bytes)) {
                if (m_tooLarge) {
                    m_xml.raiseError(QStringLiteral("part too large"));
                    return QXmlStreamReader::Invalid;
                }
                continue;
            }
            m_xml.addData(QByteArray(bytes.data(), qsizetype(bytes.size())));
        }
    }
    Failure failure(const char* part) const
    {
        if (m_tooLarge)
            return {ReadError::TooLarge, std::string(part) + " unpacks beyond the reader's limits"};
        return {ReadError::Damaged, std::string(part) + (m_failed ? " cannot be unpacked" : " is not well-formed XML")};
    }

private:
    // Appends the next decompressed bytes; false at the end, on a failure or past the limits.
    bool unpack(std::string* out)
    {
        if (m_done)
            return false;
        const size_t at = out->size();
        out->resize(at + (1 << 16));
        const zip_int64_t n = zip_fread(m_file.get(), out->data() + at, 1 << 16);
        out->resize(at + size_t(std::max<zip_int64_t>(n, 0)));
        if (n <= 0) {
            m_done = true;
            m_failed = n < 0;
            return false;
        }
        m_read += uint64_t(n);
        if (m_read > MaxPartBytes || (m_read > RatioFreeBytes && m_read / std::max<uint64_t>(m_compressed, 1) > MaxRatio)) {
            m_tooLarge = true;
            m_done = true;
            out->resize(at);
            return false;
        }
        return true;
    }

    std::unique_ptr<zip_file_t, FileCloser> m_file;
    QXmlStreamReader m_xml;
    uint64_t m_compressed;
    uint64_t m_read = 0;
    bool m_done = false;
    bool m_failed = false;
    bool m_tooLarge = false;
    XmlScan m_scan;
};

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
                (*rels)[a.value(QLatin1String("Id")).toString().toStdString()] =
                    Relationship{a.value(QLatin1String("Type")).toString().toStdString(),
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
            } else if (is(xml.name(), "sheet") && sheetId->empty() &&
                       a.value(QLatin1String("name")).compare(QLatin1String("Sheet1"), Qt::CaseInsensitive) == 0) {
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
                    if (text->size() > units * 7) {  // an escape takes seven bytes for one unit
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

    Failure readSheet(const std::string& name)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return {ReadError::Damaged, "Sheet1's part cannot be opened"};
        XmlScan& x = part->scan();
        int64_t row = -1, col = -1;
        std::string attribute, type, value, inlineText, text;
        for (;;) {
            XmlScan::Token t = x.next();
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
            if (!x.attribute("t", &type))
                type.clear();
            uint32_t style = 0;
            if (x.attribute("s", &attribute) && !unsignedNumber(trimmed(attribute), &style))
                style = 0;
            // The cell's children: the cached value <v>, the formula <f>, inline text <is>.
            bool hasValue = false, hasInline = false, hasFormula = false;
            const int base = x.depth();
            for (;;) {
                t = x.next();
                if (t == XmlScan::Token::End && x.depth() < base)
                    break;
                if (t == XmlScan::Token::Error || t == XmlScan::Token::Done)
                    return scanFailure(part.get(), "Sheet1's part");
                if (t != XmlScan::Token::Start)
                    continue;
                bool ok = true;
                if (x.name() == "v") {
                    ok = collect(x, &value, false);
                    hasValue = true;
                } else if (x.name() == "is") {
                    ok = collect(x, &inlineText, true);
                    hasInline = true;
                } else {
                    hasFormula = hasFormula || x.name() == "f";
                    ok = x.skipElement();
                }
                if (!ok)
                    return scanFailure(part.get(), "Sheet1's part");
            }
            if (row < 0 || col < 0)
                return {ReadError::Damaged, "a cell lies outside the sheet"};

            const std::string_view v = trimmed(value);
            if (hasFormula && !hasInline && (!hasValue || (v.empty() && type != "str"))) {
                // Written without its result (some libraries leave computing to the reader).
                m_cells->noteFormulaWithoutValue();
                continue;
            }
            if (type == "inlineStr") {
                if (!hasInline)
                    continue;
                text = formatOf(style).text(inlineText);
            } else if (!hasValue) {
                continue;  // a formatted empty cell
            } else if (type == "s") {
                if (v.empty())
                    continue;  // <v/>: no string, an empty cell
                uint32_t index;
                if (!unsignedNumber(v, &index) || index >= m_stringAt.size())
                    return {ReadError::Damaged, "a cell refers to a missing shared string"};
                const std::string_view shared =
                    std::string_view(m_strings).substr(m_stringAt[index].first, m_stringAt[index].second);
                const NumberFormat& format = formatOf(style);
                if (!format.changesText()) {
                    if (const ReadError e = m_cells->add(uint32_t(row), uint32_t(col), shared); e != ReadError::None)
                        return {e, "the sheet is beyond the reader's limits"};
                    continue;
                }
                text = format.text(shared);
            } else if (type == "b") {
                text = v == "1" || v == "true" ? "TRUE" : "FALSE";
            } else if (type == "str") {
                text = formatOf(style).text(value);
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
                text = !number.empty() && end == number.c_str() + number.size()
                           ? formatOf(style).number(d, m_date1904)
                           : value;
            }
            if (const ReadError e = m_cells->add(uint32_t(row), uint32_t(col), text); e != ReadError::None)
                return {e, "the sheet is beyond the reader's limits"};
        }
        m_cells->finish();
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
