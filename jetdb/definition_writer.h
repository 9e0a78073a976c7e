// Appends the little-endian values and length-prefixed UCS-2 names of a table definition as
// the engine builds one (for a created table, and for the system tables of a new database).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jetdb/row_format.h"

namespace jetdb {

// Values Jet writes into every table definition and catalog of this format.
inline constexpr std::uint32_t kDefinitionVersion = 0x0659;
inline constexpr std::uint32_t kPhysicalIndexMark = 0x0783;
inline constexpr std::uint16_t kGeneralSortOrder = 0x0409;
inline constexpr std::size_t kUsageMapRowSize = 69;  // type, first page, 64 bytes of bits
inline constexpr std::int32_t kTablesContainerParent = 0x0F000000;

class DefinitionWriter {
 public:
  void U8(std::uint8_t value) { bytes.push_back(value); }
  void U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value));
    U8(static_cast<std::uint8_t>(value >> 8));
  }
  void U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value));
    U16(static_cast<std::uint16_t>(value >> 16));
  }
  void Name(const std::string& name) {
    const std::u16string units = Utf8ToUtf16(name);
    U16(static_cast<std::uint16_t>(units.size() * 2));
    for (char16_t unit : units) U16(unit);
  }
  std::vector<std::uint8_t> bytes;
};

}  // namespace jetdb
