#include "jetdb/storage.h"

#include <algorithm>
#include <string>

#include "jetdb/bytes.h"
#include "jetdb/data_page.h"
#include "jetdb/error.h"
#include "jetdb/usage_map.h"

namespace jetdb {

namespace {

constexpr std::size_t kFreeSpaceOffset = 2;
constexpr std::size_t kOwnerOffset = 4;
constexpr std::size_t kRowCountOffset = 12;
constexpr std::uint16_t kOffsetMask = 0x1FFF;
constexpr std::uint8_t kInlineMap = 0;
constexpr std::uint8_t kPagedMap = 1;
constexpr std::uint8_t kMapPageType = 0x05;
constexpr std::size_t kMapPageHeader = 4;

}  // namespace

std::size_t RowsStart(std::span<const std::uint8_t> page) {
  const std::uint16_t count = ReadU16(page, kRowCountOffset);
  std::size_t start = page.size();
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t offset = ReadU16(page, kDataPageHeaderSize + i * 2u) & kOffsetMask;
    if (offset >= kDataPageHeaderSize + count * 2u) start = std::min(start, offset);
  }
  return start;
}

namespace {

// The bytes of the row at pointer, to change in place.
std::span<std::uint8_t> MapRow(Pager& pager, std::uint32_t pointer, int rank) {
  std::size_t start = 0;
  std::size_t size = 0;
  {
    // Let go of the page before changing it, or the pager would copy it for us to keep.
    const LocatedRow located = LocateRow(pager, pointer);
    if (located.slot.bytes.empty()) Corrupt("a usage map row has been removed");
    start = located.slot.bytes.data() - located.page->data();
    size = located.slot.bytes.size();
  }
  std::vector<std::uint8_t>& page = pager.Modify(PointerPage(pointer), rank);
  return std::span(page).subspan(start, size);
}

void SetBit(std::span<std::uint8_t> bitmap, std::uint64_t bit, bool on) {
  const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
  if (on) {
    bitmap[bit / 8] |= mask;
  } else {
    bitmap[bit / 8] &= static_cast<std::uint8_t>(~mask);
  }
}

// Turns an inline map into a list of map pages holding the same bits.
void PromoteToMapPages(Pager& pager, std::uint32_t map_pointer, int rank) {
  const std::vector<std::uint32_t> marked = ReadUsageMap(pager, map_pointer);
  const std::size_t size = MapRow(pager, map_pointer, rank).size();
  const std::uint64_t span = (pager.PageSize() - kMapPageHeader) * 8u;
  std::vector<std::uint32_t> map_pages((size - 1) / 4, 0);
  for (std::uint32_t page : marked) {
    if (page / span >= map_pages.size()) Corrupt("a usage map cannot reach its pages");
    std::uint32_t& map_page = map_pages[page / span];
    if (map_page == 0) {
      map_page = TakePage(pager);
      std::vector<std::uint8_t>& bytes = pager.Modify(map_page, rank::kNewPage);
      bytes[0] = kMapPageType;
      bytes[1] = 0x01;
    }
    SetBit(std::span(pager.Modify(map_page, rank::kNewPage)).subspan(kMapPageHeader), page % span,
           true);
  }
  // Taking pages may have moved the row's page in the cache: find the row again.
  std::span<std::uint8_t> row = MapRow(pager, map_pointer, rank);
  std::fill(row.begin(), row.end(), 0);
  row[0] = kPagedMap;
  for (std::size_t i = 0; i < map_pages.size(); ++i) WriteU32(row, 1 + i * 4, map_pages[i]);
}

}  // namespace

std::size_t DataPageFreeSpace(std::span<const std::uint8_t> page) {
  return ReadU16(page, kFreeSpaceOffset);
}

namespace {

// Whether a row of size bytes fits a page with count rows starting at rows_start.
bool Fits(std::uint16_t count, std::size_t rows_start, std::size_t size) {
  return count < kMaxRowsPerPage && rows_start >= kDataPageHeaderSize + (count + 1u) * 2u + size;
}

}  // namespace

bool RowFits(std::span<const std::uint8_t> page, std::size_t size) {
  return RowFits(page, RowsStart(page), size);
}

bool RowFits(std::span<const std::uint8_t> page, std::size_t rows_start, std::size_t size) {
  return Fits(ReadU16(page, kRowCountOffset), rows_start, size);
}

void InitDataPage(std::vector<std::uint8_t>& page, std::uint32_t owner) {
  std::fill(page.begin(), page.end(), 0);
  page[0] = kDataPageType;
  page[1] = 0x01;
  WriteU16(page, kFreeSpaceOffset, static_cast<std::uint16_t>(page.size() - kDataPageHeaderSize));
  WriteU32(page, kOwnerOffset, owner);
}

std::uint8_t AddRow(std::vector<std::uint8_t>& page, std::span<const std::uint8_t> row) {
  return AddRow(page, RowsStart(page), row);
}

std::uint8_t AddRow(std::vector<std::uint8_t>& page, std::size_t rows_start,
                    std::span<const std::uint8_t> row) {
  const std::uint16_t count = ReadU16(page, kRowCountOffset);
  if (!Fits(count, rows_start, row.size())) {
    throw Error("Internal error: a row does not fit its page.");
  }
  const std::size_t start = rows_start - row.size();
  std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(start));
  WriteU16(page, kDataPageHeaderSize + count * 2u, static_cast<std::uint16_t>(start));
  WriteU16(page, kRowCountOffset, static_cast<std::uint16_t>(count + 1));
  WriteU16(page, kFreeSpaceOffset,
           static_cast<std::uint16_t>(start - (kDataPageHeaderSize + (count + 1u) * 2u)));
  return static_cast<std::uint8_t>(count);
}

void MarkRowDeleted(std::vector<std::uint8_t>& page, std::uint8_t row) {
  // Jet sets both flags on a deleted row; a row with the first flag alone is one that moved
  // (reached only through the pointer left in its place), and other readers show it.
  const std::size_t at = kDataPageHeaderSize + row * 2u;
  WriteU16(page, at, static_cast<std::uint16_t>(ReadU16(page, at) | kRowDeleted | kRowOverflow));
}

void SetUsageMapBit(Pager& pager, std::uint32_t map_pointer, std::uint32_t page, bool on,
                    int rank) {
  std::span<std::uint8_t> row = MapRow(pager, map_pointer, rank);
  if (row.empty()) Corrupt("a usage map row is empty");
  if (row[0] == kInlineMap) {
    if (row.size() < 5) Corrupt("a usage map row is too short");
    const std::uint32_t first = ReadU32(row, 1);
    const std::uint64_t bits = (row.size() - 5) * 8u;
    if (page >= first && page - first < bits) return SetBit(row.subspan(5), page - first, on);
    if (!on) return;  // a page the map cannot reach is not marked
    if (std::all_of(row.begin() + 5, row.end(), [](std::uint8_t b) { return b == 0; })) {
      // An empty map can start anywhere: start it at the page's stretch.
      const std::uint32_t start = static_cast<std::uint32_t>(page - page % bits);
      WriteU32(row, 1, start);
      return SetBit(row.subspan(5), page - start, true);
    }
    PromoteToMapPages(pager, map_pointer, rank);
    row = MapRow(pager, map_pointer, rank);
  }
  if (row[0] != kPagedMap) Corrupt("unknown usage map type " + std::to_string(row[0]));
  const std::uint64_t span = (pager.PageSize() - kMapPageHeader) * 8u;
  const std::size_t slot = page / span;
  if (1 + (slot + 1) * 4 > row.size()) {
    if (!on) return;
    throw Error("The database is too large for a table's usage map.");
  }
  std::uint32_t map_page = ReadU32(row, 1 + slot * 4);
  if (map_page == 0) {
    if (!on) return;
    map_page = TakePage(pager);
    std::vector<std::uint8_t>& bytes = pager.Modify(map_page, rank::kNewPage);
    bytes[0] = kMapPageType;
    bytes[1] = 0x01;
    WriteU32(MapRow(pager, map_pointer, rank), 1 + slot * 4, map_page);
  }
  std::vector<std::uint8_t>& bytes = pager.Modify(map_page, rank);
  if (bytes[0] != kMapPageType) Corrupt("page " + std::to_string(map_page) + " is not a map page");
  SetBit(std::span(bytes).subspan(kMapPageHeader), page % span, on);
}

bool UsageMapHas(Pager& pager, std::uint32_t map_pointer, std::uint32_t page) {
  const std::vector<std::uint32_t> pages = ReadUsageMap(pager, map_pointer);
  return std::binary_search(pages.begin(), pages.end(), page);
}

std::uint32_t TakePage(Pager& pager) {
  // The free-page map marks free pages; it may also mark pages past the end of the file.
  std::uint32_t page = 0;
  for (std::uint32_t free : ReadUsageMapUnchecked(pager, kFreePageMap)) {
    if (free >= pager.PageCount()) break;
    if (free > 2) {
      page = free;
      break;
    }
  }
  if (page == 0) {
    page = pager.Append(rank::kNewPage);
    // The file grows to the next 64 KB at once, the pages past this one listed as free: a file
    // written through mapped views (file.cpp) can map its new pages straight away instead of
    // writing them with a system call each time until the file grows past them.
    const std::uint32_t step = static_cast<std::uint32_t>(kGrowthStep / pager.PageSize());
    while (step > 1 && pager.PageCount() % step != 0) {
      SetUsageMapBit(pager, kFreePageMap, pager.Append(rank::kNewPage), true, rank::kMapsOnAdd);
    }
  } else {
    std::vector<std::uint8_t>& bytes = pager.Modify(page, rank::kNewPage);
    std::fill(bytes.begin(), bytes.end(), 0);
  }
  SetUsageMapBit(pager, kFreePageMap, page, false, rank::kMapsOnAdd);
  return page;
}

}  // namespace jetdb
