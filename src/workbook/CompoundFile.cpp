#include "CompoundFile.h"

#include "ByteCursor.h"

#include <cstring>

namespace k27::wb {

namespace {

constexpr uint8_t Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t EndOfChain = 0xFFFFFFFE;
constexpr uint32_t NoStream = 0xFFFFFFFF;
constexpr uint32_t MaxRegular = 0xFFFFFFFA;

struct Document
{
    const uint8_t* data;
    size_t size;
    uint32_t sectorSize;
    uint32_t sectors; // whole sectors after the header
    std::vector<uint32_t> fat;

    const uint8_t* sector(uint32_t id) const { return data + (size_t(id) + 1) * sectorSize; }

    // Follows a chain of `table` from `start`; each sector at most once.
    bool chain(uint32_t start, const std::vector<uint32_t>& table, uint32_t limit, std::vector<uint32_t>* ids) const
    {
        ids->clear();
        uint32_t id = start;
        while (id != EndOfChain) {
            if (id >= table.size() || id >= limit || ids->size() >= table.size())
                return false;
            ids->push_back(id);
            id = table[id];
        }
        return true;
    }

    // The bytes of a chain of regular sectors.
    bool read(uint32_t start, uint64_t bytes, std::vector<uint8_t>* out) const
    {
        std::vector<uint32_t> ids;
        if (!chain(start, fat, sectors, &ids) || uint64_t(ids.size()) * sectorSize < bytes)
            return false;
        out->clear();
        out->reserve(size_t(bytes));
        for (uint32_t id : ids) {
            if (out->size() >= bytes)
                break;
            const size_t n = size_t(std::min<uint64_t>(sectorSize, bytes - out->size()));
            out->insert(out->end(), sector(id), sector(id) + n);
        }
        return true;
    }
};

bool sameName(const uint8_t* entry, std::u16string_view name)
{
    uint16_t bytes;
    std::memcpy(&bytes, entry + 64, 2);
    if (bytes != (name.size() + 1) * 2)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        uint16_t c;
        std::memcpy(&c, entry + i * 2, 2);
        auto lower = [](uint16_t u) { return u >= 'A' && u <= 'Z' ? uint16_t(u + 32) : u; };
        if (lower(c) != lower(name[i]))
            return false;
    }
    return true;
}

uint32_t u32at(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The header's fields that this reader follows.
struct Header
{
    uint16_t byteOrder, sectorShift, miniShift;
    uint32_t fatSectors, firstDir, miniCutoff, firstMiniFat, miniFatSectors, firstDifat, difatSectors;
};

// False when the header is cut short or describes a layout other than the two in use.
bool readHeader(const uint8_t* data, size_t size, Header* h)
{
    ByteCursor header(data, size);
    if (!header.seek(0x1C) || !header.u16(&h->byteOrder) || !header.u16(&h->sectorShift) || !header.u16(&h->miniShift)
        || !header.seek(0x2C) || !header.u32(&h->fatSectors) || !header.u32(&h->firstDir) || !header.skip(4)
        || !header.u32(&h->miniCutoff) || !header.u32(&h->firstMiniFat) || !header.u32(&h->miniFatSectors)
        || !header.u32(&h->firstDifat) || !header.u32(&h->difatSectors) || size < 512)
        return false;
    return h->byteOrder == 0xFFFE && (h->sectorShift == 9 || h->sectorShift == 12) && h->miniShift == 6
           && h->miniCutoff == 4096;
}

// The sectors of the allocation table: 109 in the header, the rest in a chain of
// DIFAT sectors whose last entry points at the next one.
bool loadFat(const Header& h, Document* doc)
{
    const uint32_t perSector = doc->sectorSize / 4;
    std::vector<uint32_t> fatIds;
    for (uint32_t i = 0; i < 109 && fatIds.size() < h.fatSectors; ++i)
        fatIds.push_back(u32at(doc->data + 0x4C + i * 4));
    uint32_t difat = h.firstDifat;
    for (uint32_t hops = 0; fatIds.size() < h.fatSectors; ++hops) {
        if (difat >= doc->sectors || hops > h.difatSectors || hops > doc->sectors)
            return false;
        const uint8_t* s = doc->sector(difat);
        for (uint32_t i = 0; i + 1 < perSector && fatIds.size() < h.fatSectors; ++i)
            fatIds.push_back(u32at(s + i * 4));
        difat = u32at(s + (perSector - 1) * 4);
    }
    doc->fat.reserve(size_t(h.fatSectors) * perSector);
    for (uint32_t id : fatIds) {
        if (id >= doc->sectors)
            return false;
        for (uint32_t i = 0; i < perSector; ++i)
            doc->fat.push_back(u32at(doc->sector(id) + i * 4));
    }
    return true;
}

// The directory's root entry and the stream `name` among the root's children.
ReadError findStream(const Document& doc, uint32_t firstDir, std::u16string_view name, const uint8_t** root,
                     const uint8_t** found)
{
    // The directory: 128-byte entries in a chain.
    std::vector<uint32_t> dirIds;
    if (!doc.chain(firstDir, doc.fat, doc.sectors, &dirIds) || dirIds.empty())
        return ReadError::Damaged;
    std::vector<const uint8_t*> entries;
    for (uint32_t id : dirIds)
        for (uint32_t i = 0; i < doc.sectorSize / 128; ++i)
            entries.push_back(doc.sector(id) + i * 128);
    *root = entries[0];
    if ((*root)[66] != 5)
        return ReadError::Damaged;

    // The root's children form a tree through the left and right sibling links.
    *found = nullptr;
    std::vector<bool> seen(entries.size(), false);
    std::vector<uint32_t> pending{u32at(*root + 76)};
    while (!pending.empty() && !*found) {
        const uint32_t index = pending.back();
        pending.pop_back();
        if (index == NoStream)
            continue;
        if (index >= entries.size() || seen[index])
            return ReadError::Damaged;
        seen[index] = true;
        const uint8_t* e = entries[index];
        if (e[66] == 2 && sameName(e, name))
            *found = e;
        pending.push_back(u32at(e + 68));
        pending.push_back(u32at(e + 72));
    }
    return *found ? ReadError::None : ReadError::NotWorkbook;
}

// Small streams live in 64-byte pieces of the root's mini stream.
ReadError readMini(const Document& doc, const Header& h, const uint8_t* root, uint32_t start, uint64_t length,
                   std::vector<uint8_t>* out)
{
    std::vector<uint8_t> miniFatBytes, ministream;
    if (h.miniFatSectors > doc.sectors
        || !doc.read(h.firstMiniFat, uint64_t(h.miniFatSectors) * doc.sectorSize, &miniFatBytes))
        return ReadError::Damaged;
    const uint64_t rootSize = u32at(root + 120);
    if (rootSize > doc.size || !doc.read(u32at(root + 116), rootSize, &ministream))
        return ReadError::Damaged;
    std::vector<uint32_t> miniFat(miniFatBytes.size() / 4);
    if (!miniFat.empty()) // memcpy may not be handed the null data of an empty vector
        std::memcpy(miniFat.data(), miniFatBytes.data(), miniFat.size() * 4);
    std::vector<uint32_t> ids;
    const uint32_t miniSectors = uint32_t(ministream.size() / 64);
    if (!doc.chain(start, miniFat, miniSectors, &ids) || uint64_t(ids.size()) * 64 < length)
        return ReadError::Damaged;
    out->clear();
    for (uint32_t id : ids) {
        if (out->size() >= length)
            break;
        const size_t n = size_t(std::min<uint64_t>(64, length - out->size()));
        out->insert(out->end(), ministream.begin() + size_t(id) * 64, ministream.begin() + size_t(id) * 64 + n);
    }
    return ReadError::None;
}

} // namespace

bool isCompoundFile(const uint8_t* data, size_t size)
{
    return size >= 8 && std::memcmp(data, Signature, 8) == 0;
}

ReadError readCompoundStream(const uint8_t* data, size_t size, std::u16string_view name, std::vector<uint8_t>* out)
{
    if (!isCompoundFile(data, size))
        return ReadError::NotWorkbook;
    Header h;
    if (!readHeader(data, size, &h))
        return ReadError::Damaged;

    Document doc{data, size, 1u << h.sectorShift, 0, {}};
    const size_t body = size - std::min<size_t>(size, doc.sectorSize);
    if (size < doc.sectorSize || body / doc.sectorSize > MaxRegular)
        return ReadError::Damaged;
    doc.sectors = uint32_t(body / doc.sectorSize);
    if (h.fatSectors > doc.sectors || !loadFat(h, &doc))
        return ReadError::Damaged;

    const uint8_t* root;
    const uint8_t* found;
    if (const ReadError e = findStream(doc, h.firstDir, name, &root, &found); e != ReadError::None)
        return e;
    const uint32_t start = u32at(found + 116);
    uint64_t length = u32at(found + 120);
    if (h.sectorShift == 12)
        length |= uint64_t(u32at(found + 124)) << 32;
    if (length > size)
        return ReadError::Damaged;
    if (length >= h.miniCutoff)
        return doc.read(start, length, out) ? ReadError::None : ReadError::Damaged;
    return readMini(doc, h, root, start, length, out);
}

} // namespace k27::wb
