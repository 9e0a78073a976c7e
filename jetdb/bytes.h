// Little-endian reads and writes of page bytes, bounds-checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "jetdb/error.h"

namespace jetdb {

// Reports damage found in the file.
[[noreturn]] inline void Corrupt(const std::string& what) {
  throw Error("Corrupt database: " + what + ".");
}

inline void CheckRange(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size) {
  if (offset > bytes.size() || size > bytes.size() - offset) {
    throw Error("Corrupt database: a structure runs past the end of its page (offset " +
                std::to_string(offset) + ").");
  }
}

inline std::uint8_t ReadU8(std::span<const std::uint8_t> bytes, std::size_t offset) {
  CheckRange(bytes, offset, 1);
  return bytes[offset];
}

inline std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  CheckRange(bytes, offset, 2);
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  CheckRange(bytes, offset, 4);
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint64_t ReadU64(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint64_t>(ReadU32(bytes, offset)) |
         (static_cast<std::uint64_t>(ReadU32(bytes, offset + 4)) << 32);
}

inline void WriteU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  CheckRange(bytes, offset, 2);
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void WriteU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  CheckRange(bytes, offset, 4);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace jetdb
