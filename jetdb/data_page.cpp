#include "jetdb/data_page.h"

#include <string>

#include "jetdb/bytes.h"
#include "jetdb/error.h"

namespace jetdb {

namespace {

constexpr std::size_t kOwnerOffset = 4;
constexpr std::size_t kRowCountOffset = 12;
constexpr std::size_t kRowTableOffset = 14;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
constexpr std::size_t kPointerSize = 4;
// A moved row may move again; Jet never chains more than a few times.
constexpr int kMaxOverflowHops = 16;

}  // namespace

std::uint32_t DataPageOwner(std::span<const std::uint8_t> page) {
  return ReadU32(page, kOwnerOffset);
}

namespace {

// Walks the row table of page up to and including row last (the whole table when last is
// past it), giving visit each row in order; returns how many rows the table has.
template <typename Visit>
std::uint16_t WalkRowSlots(std::span<const std::uint8_t> page, std::uint32_t number,
                           std::size_t last, Visit visit) {
  const std::uint16_t count = ReadU16(page, kRowCountOffset);
  const std::size_t table_end = kRowTableOffset + count * std::size_t{2};
  if (table_end > page.size()) {
    Corrupt("the row table of page " + std::to_string(number) + " is too long");
  }
  // Rows are stored from the end of the page: each ends where the one before it starts.
  std::size_t end = page.size();
  for (std::uint16_t i = 0; i < count && i <= last; ++i) {
    const std::uint16_t entry = ReadU16(page, kRowTableOffset + i * std::size_t{2});
    const std::size_t start = entry & kRowOffsetMask;
    RowSlot row{static_cast<std::uint16_t>(entry & (kRowDeleted | kRowOverflow)), {}};
    if (start < table_end || start >= end) {
      if (!row.Deleted()) {
        Corrupt("row " + std::to_string(i) + " of page " + std::to_string(number) +
                " has a bad offset");
      }
    } else {
      row.bytes = page.subspan(start, end - start);
      end = start;
    }
    visit(row);
  }
  return count;
}

}  // namespace

std::vector<RowSlot> ReadRowSlots(std::span<const std::uint8_t> page, std::uint32_t number) {
  std::vector<RowSlot> rows;
  rows.reserve(ReadU16(page, kRowCountOffset));
  WalkRowSlots(page, number, page.size(), [&](const RowSlot& row) { rows.push_back(row); });
  return rows;
}

LocatedRow LocateRow(Pager& pager, std::uint32_t pointer) {
  const std::uint32_t number = PointerPage(pointer);
  if (number == 0) Corrupt("a row pointer names the header page");
  LocatedRow located{pager.Read(number), {}};
  if ((*located.page)[0] != kDataPageType) {
    Corrupt("a row pointer names page " + std::to_string(number) + ", which is not a data page");
  }
  // Only the rows up to this one: each ends where the one before it starts.
  const std::uint16_t count = WalkRowSlots(*located.page, number, PointerRow(pointer),
                                           [&](const RowSlot& row) { located.slot = row; });
  if (PointerRow(pointer) >= count) {
    Corrupt("a row pointer names a row past the end of page " + std::to_string(number));
  }
  return located;
}

LocatedRow FollowOverflow(Pager& pager, LocatedRow row) {
  for (int hops = 0; row.slot.Overflow(); ++hops) {
    if (hops == kMaxOverflowHops || row.slot.bytes.size() < kPointerSize) {
      Corrupt("a moved row cannot be found");
    }
    row = LocateRow(pager, ReadU32(row.slot.bytes, 0));
  }
  if (row.slot.bytes.empty()) Corrupt("a moved row points to a removed row");
  return row;
}

}  // namespace jetdb
