// CRC-32 as zip files and the reporter's checksums use it: the reflected polynomial
// 0xEDB88320 through a table of 256 entries.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reporter::archive {

// Runs the table over count bytes starting from crc, without inverting anything: a complete
// CRC starts from 0xFFFFFFFF and inverts the result (Crc32 below does both).
std::uint32_t AddToCrc32(std::uint32_t crc, const void* bytes, std::size_t count);

// The complete CRC-32 of a buffer ("123456789" gives 0xCBF43926).
inline std::uint32_t Crc32(const void* bytes, std::size_t count) {
  return ~AddToCrc32(0xFFFFFFFFu, bytes, count);
}

}  // namespace reporter::archive
