#pragma once

#include "Sheet.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace k27::wb {

// True when the bytes start with the compound document signature.
bool isCompoundFile(const uint8_t* data, size_t size);

// Copies the stream `name` (compared without regard to ASCII case) among the root
// storage's children out of a compound document (the container of .xls files). Every
// sector number, chain and size is checked; a chain that loops or leaves the file makes
// the file damaged. A document without the stream is NotWorkbook.
ReadError readCompoundStream(const uint8_t* data, size_t size, std::u16string_view name, std::vector<uint8_t>* out);

} // namespace k27::wb
