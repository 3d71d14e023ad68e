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
    uint32_t sectors;  // whole sectors after the header
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

} // namespace

bool isCompoundFile(const uint8_t* data, size_t size)
{
    return size >= 8 && std::memcmp(data, Signature, 8) == 0;
}

ReadError readCompoundStream(const uint8_t* data, size_t size, std::u16string_view name, std::vector<uint8_t>* out)
{
    if (!isCompoundFile(data, size))
        return ReadError::NotWorkbook;
    ByteCursor header(data, size);
    uint16_t byteOrder, sectorShift, miniShift;
    uint32_t fatSectors, firstDir, miniCutoff, firstMiniFat, miniFatSectors, firstDifat, difatSectors;
    if (!header.seek(0x1C) || !header.u16(&byteOrder) || !header.u16(&sectorShift) || !header.u16(&miniShift) ||
        !header.seek(0x2C) || !header.u32(&fatSectors) || !header.u32(&firstDir) || !header.skip(4) ||
        !header.u32(&miniCutoff) || !header.u32(&firstMiniFat) || !header.u32(&miniFatSectors) ||
        !header.u32(&firstDifat) || !header.u32(&difatSectors) || size < 512)
        return ReadError::Damaged;
    if (byteOrder != 0xFFFE || (sectorShift != 9 && sectorShift != 12) || miniShift != 6 || miniCutoff != 4096)
        return ReadError::Damaged;

    Document doc{data, size, 1u << sectorShift, 0, {}};
    const size_t body = size - std::min<size_t>(size, doc.sectorSize);
    if (size < doc.sectorSize || body / doc.sectorSize > MaxRegular)
        return ReadError::Damaged;
    doc.sectors = uint32_t(body / doc.sectorSize);
    const uint32_t perSector = doc.sectorSize / 4;
    if (fatSectors > doc.sectors)
        return ReadError::Damaged;

    // The sectors of the allocation table: 109 in the header, the rest in a chain of
    // DIFAT sectors whose last entry points at the next one.
    std::vector<uint32_t> fatIds;
    for (uint32_t i = 0; i < 109 && fatIds.size() < fatSectors; ++i)
        fatIds.push_back(u32at(data + 0x4C + i * 4));
    uint32_t difat = firstDifat;
    for (uint32_t hops = 0; fatIds.size() < fatSectors; ++hops) {
        if (difat >= doc.sectors || hops > difatSectors || hops > doc.sectors)
            return ReadError::Damaged;
        const uint8_t* s = doc.sector(difat);
        for (uint32_t i = 0; i + 1 < perSector && fatIds.size() < fatSectors; ++i)
            fatIds.push_back(u32at(s + i * 4));
        difat = u32at(s + (perSector - 1) * 4);
    }
    doc.fat.reserve(size_t(fatSectors) * perSector);
    for (uint32_t id : fatIds) {
        if (id >= doc.sectors)
            return ReadError::Damaged;
        for (uint32_t i = 0; i < perSector; ++i)
            doc.fat.push_back(u32at(doc.sector(id) + i * 4));
    }

    // The directory: 128-byte entries in a chain.
    std::vector<uint32_t> dirIds;
    if (!doc.chain(firstDir, doc.fat, doc.sectors, &dirIds) || dirIds.empty())
        return ReadError::Damaged;
    std::vector<const uint8_t*> entries;
    for (uint32_t id : dirIds)
        for (uint32_t i = 0; i < doc.sectorSize / 128; ++i)
            entries.push_back(doc.sector(id) + i * 128);
    const uint8_t* root = entries[0];
    if (root[66] != 5)
        return ReadError::Damaged;

    // The root's children form a tree through the left and right sibling links.
    const uint8_t* found = nullptr;
    std::vector<bool> seen(entries.size(), false);
    std::vector<uint32_t> pending{u32at(root + 76)};
    while (!pending.empty() && !found) {
        const uint32_t index = pending.back();
        pending.pop_back();
        if (index == NoStream)
            continue;
        if (index >= entries.size() || seen[index])
            return ReadError::Damaged;
        seen[index] = true;
        const uint8_t* e = entries[index];
        if (e[66] == 2 && sameName(e, name))
            found = e;
        pending.push_back(u32at(e + 68));
        pending.push_back(u32at(e + 72));
    }
    if (!found)
        return ReadError::NotWorkbook;

    const uint32_t start = u32at(found + 116);
    uint64_t length = u32at(found + 120);
    if (sectorShift == 12)
        length |= uint64_t(u32at(found + 124)) << 32;
    if (length > size)
        return ReadError::Damaged;
    if (length >= miniCutoff)
        return doc.read(start, length, out) ? ReadError::None : ReadError::Damaged;

    // Small streams live in 64-byte pieces of the root's mini stream.
    std::vector<uint8_t> miniFatBytes, ministream;
    if (miniFatSectors > doc.sectors ||
        !doc.read(firstMiniFat, uint64_t(miniFatSectors) * doc.sectorSize, &miniFatBytes))
        return ReadError::Damaged;
    const uint64_t rootSize = u32at(root + 120);
    if (rootSize > size || !doc.read(u32at(root + 116), rootSize, &ministream))
        return ReadError::Damaged;
    std::vector<uint32_t> miniFat(miniFatBytes.size() / 4);
    if (!miniFat.empty())   // memcpy may not be handed the null data of an empty vector
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

} // namespace k27::wb
