#include "XlsxReader.h"

#include "CellText.h"

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

// One XML part of the archive, parsed while it is being decompressed.
class Part
{
public:
    Part(zip_t* zip, zip_int64_t index, uint64_t compressed) : m_compressed(compressed)
    {
        m_file.reset(zip_fopen_index(zip, zip_uint64_t(index), 0));
    }
    bool opened() const { return bool(m_file); }
    QXmlStreamReader& xml() { return m_xml; }

    // The next token; more bytes are decompressed when the parser runs out of them.
    QXmlStreamReader::TokenType next()
    {
        for (;;) {
            const QXmlStreamReader::TokenType t = m_xml.readNext();
            if (t != QXmlStreamReader::Invalid || m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError ||
                m_done)
                return t;
            char buffer[1 << 16];
            const zip_int64_t n = zip_fread(m_file.get(), buffer, sizeof buffer);
            if (n <= 0) {
                m_done = true;
                m_failed = n < 0;
                continue;
            }
            m_read += uint64_t(n);
            if (m_read > MaxPartBytes || (m_read > RatioFreeBytes && m_read / std::max<uint64_t>(m_compressed, 1) > MaxRatio)) {
                m_tooLarge = true;
                m_done = true;
                m_xml.raiseError(QStringLiteral("part too large"));
                return QXmlStreamReader::Invalid;
            }
            m_xml.addData(QByteArray(buffer, int(n)));
        }
    }
    Failure failure(const char* part) const
    {
        if (m_tooLarge)
            return {ReadError::TooLarge, std::string(part) + " unpacks beyond the reader's limits"};
        return {ReadError::Damaged, std::string(part) + (m_failed ? " cannot be unpacked" : " is not well-formed XML")};
    }

private:
    std::unique_ptr<zip_file_t, FileCloser> m_file;
    QXmlStreamReader m_xml;
    uint64_t m_compressed;
    uint64_t m_read = 0;
    bool m_done = false;
    bool m_failed = false;
    bool m_tooLarge = false;
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

    zip_int64_t locate(const std::string& name) const { return zip_name_locate(m_zip, name.c_str(), 0); }

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

    // The text of the element just started, up to its end. For rich text (`runs`), only
    // the text elements <t> count: not the layout between them, not the phonetic guide
    // (rPh). False when the text grows past a cell's limit.
    bool collectText(Part* part, QString* text, bool runs)
    {
        text->clear();
        int depth = 1, phonetic = 0, inText = 0;
        QXmlStreamReader& xml = part->xml();
        while (depth > 0 && !xml.atEnd()) {
            switch (part->next()) {
            case QXmlStreamReader::StartElement:
                ++depth;
                if (is(xml.name(), "rPh"))
                    ++phonetic;
                else if (is(xml.name(), "t"))
                    ++inText;
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                if (is(xml.name(), "rPh"))
                    --phonetic;
                else if (is(xml.name(), "t"))
                    --inText;
                break;
            case QXmlStreamReader::Characters:
                if (!runs || (inText > 0 && phonetic == 0)) {
                    text->append(xml.text());
                    if (size_t(text->size()) > m_cells->limits().stringUnits) {
                        m_tooLong = true;
                        return false;
                    }
                }
                break;
            default:
                break;
            }
        }
        return true;
    }

    Failure readSharedStrings(const std::string& name)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return {missing ? ReadError::Damaged : ReadError::Damaged, "the shared strings cannot be opened"};
        QXmlStreamReader& xml = part->xml();
        QString text;
        while (!xml.atEnd()) {
            if (part->next() != QXmlStreamReader::StartElement || !is(xml.name(), "si"))
                continue;
            if (!collectText(part.get(), &text, true))
                return {ReadError::TooLarge, "a shared string is too long"};
            const QByteArray utf8 = text.toUtf8();
            if (size_t(utf8.size()) > m_cells->limits().textBytes - m_strings.size())
                return {ReadError::TooLarge, "the shared strings are beyond the reader's limits"};
            m_stringAt.emplace_back(m_strings.size(), uint32_t(utf8.size()));
            m_strings.append(utf8.constData(), size_t(utf8.size()));
        }
        return xml.hasError() ? part->failure("the shared strings") : Failure{ReadError::None, {}};
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
                m_formats[id] = formatCodeKind(a.value(QLatin1String("formatCode")).toString().toStdString());
            } else if (is(xml.name(), "xf") && inCellXfs) {
                if (m_xfFormat.size() >= (1u << 20))
                    return {ReadError::TooLarge, "too many cell formats"};
                m_xfFormat.push_back(a.value(QLatin1String("numFmtId")).toUInt());
            }
        }
        return xml.hasError() ? part->failure("the styles") : Failure{ReadError::None, {}};
    }

    NumberKind kindOf(uint32_t xf) const
    {
        if (xf >= m_xfFormat.size())
            return NumberKind::Plain;
        const uint32_t id = m_xfFormat[xf];
        const auto custom = m_formats.find(id);
        return custom != m_formats.end() ? custom->second : builtinFormatKind(id);
    }

    // "AB12" to column 27 and row 11 (counting from 0); false when it is not a reference.
    static bool cellReference(QStringView ref, uint32_t* row, uint32_t* col)
    {
        qsizetype i = 0;
        uint64_t c = 0, r = 0;
        for (; i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z' && i < 4; ++i)
            c = c * 26 + (ref[i].unicode() - u'A' + 1);
        const qsizetype letters = i;
        for (; i < ref.size() && ref[i] >= u'0' && ref[i] <= u'9' && i < letters + 8; ++i)
            r = r * 10 + (ref[i].unicode() - u'0');
        if (letters == 0 || i == letters || i != ref.size() || r == 0)
            return false;
        *row = uint32_t(r - 1);
        *col = uint32_t(c - 1);
        return true;
    }

    Failure readSheet(const std::string& name)
    {
        bool missing;
        auto part = open(name, &missing);
        if (!part)
            return {ReadError::Damaged, "Sheet1's part cannot be opened"};
        QXmlStreamReader& xml = part->xml();
        int64_t row = -1, col = -1;
        QString value, inline_;
        while (!xml.atEnd()) {
            if (part->next() != QXmlStreamReader::StartElement)
                continue;
            if (is(xml.name(), "row")) {
                const QStringView r = xml.attributes().value(QLatin1String("r"));
                bool ok = false;
                const uint32_t n = r.isEmpty() ? 0 : r.toUInt(&ok);
                if (!r.isEmpty() && (!ok || n == 0))
                    return {ReadError::Damaged, "a row has no valid number"};
                row = r.isEmpty() ? row + 1 : int64_t(n) - 1;
                col = -1;
                continue;
            }
            if (!is(xml.name(), "c"))
                continue;
            const QXmlStreamAttributes a = xml.attributes();
            const QStringView ref = a.value(QLatin1String("r"));
            if (ref.isEmpty()) {
                ++col;
            } else {
                uint32_t r, c;
                if (!cellReference(ref, &r, &c))
                    return {ReadError::Damaged, "a cell has no valid reference"};
                row = r;
                col = c;
            }
            const QString type = a.value(QLatin1String("t")).toString();
            const uint32_t style = a.value(QLatin1String("s")).toUInt();
            // The cell's children: the cached value <v>, the formula <f>, inline text <is>.
            bool hasValue = false, hasInline = false;
            value.clear();
            int depth = 1;
            while (depth > 0 && !xml.atEnd()) {
                const QXmlStreamReader::TokenType t = part->next();
                if (t == QXmlStreamReader::EndElement) {
                    --depth;
                } else if (t == QXmlStreamReader::StartElement) {
                    if (depth == 1 && is(xml.name(), "v")) {
                        if (!collectText(part.get(), &value, false))
                            break;
                        hasValue = true;
                    } else if (depth == 1 && is(xml.name(), "is")) {
                        if (!collectText(part.get(), &inline_, true))
                            break;
                        hasInline = true;
                    } else {
                        ++depth;
                    }
                }
            }
            if (m_tooLong)
                return {ReadError::TooLarge, "a cell's text is too long"};
            if (xml.hasError())
                break;
            if (row < 0 || col < 0)
                return {ReadError::Damaged, "a cell lies outside the sheet"};

            std::string text;
            if (type == QLatin1String("inlineStr")) {
                if (!hasInline)
                    continue;
                text = inline_.toStdString();
            } else if (!hasValue) {
                continue;  // a formatted empty cell
            } else if (type == QLatin1String("s")) {
                bool ok = false;
                const uint32_t index = value.toUInt(&ok);
                if (!ok || index >= m_stringAt.size())
                    return {ReadError::Damaged, "a cell refers to a missing shared string"};
                text = m_strings.substr(m_stringAt[index].first, m_stringAt[index].second);
            } else if (type == QLatin1String("b")) {
                text = value.trimmed() == QLatin1String("1") || value.trimmed() == QLatin1String("true") ? "TRUE"
                                                                                                        : "FALSE";
            } else if (type == QLatin1String("str") || type == QLatin1String("e")) {
                text = value.toStdString();
            } else if (type == QLatin1String("d")) {
                // An ISO 8601 date; midnight is just the day.
                text = value.endsWith(QLatin1String("T00:00:00")) ? value.left(10).toStdString()
                                                                   : value.replace(u'T', u' ').toStdString();
            } else {
                const std::string number = value.trimmed().toStdString();
                char* end = nullptr;
                const double v = std::strtod(number.c_str(), &end);
                text = !number.empty() && end == number.c_str() + number.size()
                           ? cellNumberText(v, kindOf(style), m_date1904)
                           : value.toStdString();
            }
            if (const ReadError e = m_cells->add(uint32_t(row), uint32_t(col), text); e != ReadError::None)
                return {e, "the sheet is beyond the reader's limits"};
        }
        if (xml.hasError())
            return part->failure("Sheet1's part");
        m_cells->finish();
        return {ReadError::None, {}};
    }

    zip_t* m_zip;
    SheetCells* m_cells;
    std::string m_strings;
    std::vector<std::pair<size_t, uint32_t>> m_stringAt;
    std::vector<uint32_t> m_xfFormat;
    std::unordered_map<uint32_t, NumberKind> m_formats;
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
