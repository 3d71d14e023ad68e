#pragma once

#include "Sheet.h"
#include "XmlScan.h"

#include <QXmlStreamReader>
#include <memory>
#include <string>
#include <zip.h>

// The parts of an .xlsx archive, decompressed as they are parsed.
namespace k27::wb::xlsx {

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
// with Qt's reader, the sheet and its shared strings with the faster XmlScan. No part may
// unpack beyond the limits on size and compression ratio.
class Part
{
public:
    Part(zip_t* zip, zip_int64_t index, uint64_t compressed);
    bool opened() const { return bool(m_file); }
    QXmlStreamReader& xml() { return m_xml; }
    XmlScan& scan() { return m_scan; }

    // The next token; more bytes are decompressed when the parser runs out of them.
    QXmlStreamReader::TokenType next();
    Failure failure(const char* part) const;

private:
    // Appends the next decompressed bytes; false at the end, on a failure or past the limits.
    bool unpack(std::string* out);

    std::unique_ptr<zip_file_t, FileCloser> m_file;
    QXmlStreamReader m_xml;
    uint64_t m_compressed;
    uint64_t m_read = 0;
    bool m_done = false;
    bool m_failed = false;
    bool m_tooLarge = false;
    XmlScan m_scan;
};

} // namespace k27::wb::xlsx
