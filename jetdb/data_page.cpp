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

std::vector<RowSlot> ReadRowSlots(std::span<const std::uint8_t> page, std::uint32_t number) {
  const std::uint16_t count = ReadU16(page, kRowCountOffset);
  const std::size_t table_end = kRowTableOffset + count * std::size_t{2};
  if (table_end > page.size()) {
    Corrupt("the row table of page " + std::to_string(number) + " is too long");
  }
  std::vector<RowSlot> rows;
  rows.reserve(count);
  // Rows are stored from the end of the page: each ends where the one before it starts.
  std::size_t end = page.size();
  for (std::uint16_t i = 0; i < count; ++i) {
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
    rows.push_back(row);
  }
  return rows;
}

LocatedRow LocateRow(Pager& pager, std::uint32_t pointer) {
  const std::uint32_t number = PointerPage(pointer);
  if (number == 0) Corrupt("a row pointer names the header page");
  LocatedRow located{pager.Read(number), {}};
  if ((*located.page)[0] != kDataPageType) {
    Corrupt("a row pointer names page " + std::to_string(number) + ", which is not a data page");
  }
  const auto rows = ReadRowSlots(*located.page, number);
  if (PointerRow(pointer) >= rows.size()) {
    Corrupt("a row pointer names a row past the end of page " + std::to_string(number));
  }
  located.slot = rows[PointerRow(pointer)];
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
