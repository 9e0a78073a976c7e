// Data pages: the row offset table at the top of the page, rows stored from the end, and the
// four-byte row pointers (page number and row number) that other structures use to name a row.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jetdb/pager.h"

namespace jetdb {

constexpr std::uint8_t kDataPageType = 0x01;

// Flags in the high bits of a row's offset table entry.
constexpr std::uint16_t kRowDeleted = 0x8000;
constexpr std::uint16_t kRowOverflow = 0x4000;  // the row holds a pointer to where it moved

// One entry of a page's row table: its flags and, unless the row is gone, its bytes.
struct RowSlot {
  std::uint16_t flags = 0;
  std::span<const std::uint8_t> bytes;
  bool Deleted() const { return (flags & kRowDeleted) != 0; }
  bool Overflow() const { return (flags & kRowOverflow) != 0; }
};

// The rows of a data page (type 1, table rows or long values) in row table order. A deleted
// row whose offset makes no sense keeps empty bytes; any other bad offset is an Error.
std::vector<RowSlot> ReadRowSlots(std::span<const std::uint8_t> page, std::uint32_t number);

// The table definition page a data page belongs to.
std::uint32_t DataPageOwner(std::span<const std::uint8_t> page);

// A row pointer: the page number in the high three bytes, the row number in the low byte.
constexpr std::uint32_t PointerPage(std::uint32_t pointer) { return pointer >> 8; }
constexpr std::uint32_t PointerRow(std::uint32_t pointer) { return pointer & 0xFF; }

// The bytes of the row a pointer names, whatever its flags, with the page that holds them.
struct LocatedRow {
  PageData page;
  RowSlot slot;
};
LocatedRow LocateRow(Pager& pager, std::uint32_t pointer);

// Follows a row that moved (overflow flag set) to where it now lives. Chains are bounded.
LocatedRow FollowOverflow(Pager& pager, LocatedRow row);

}  // namespace jetdb
