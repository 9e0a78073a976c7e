// Changing pages: rows added to and removed from data pages, usage map bits, and pages taken
// from the database's free-page map or added at the end of the file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jetdb/pager.h"

namespace jetdb {

// The order in which a post's pages reach the file (see Pager::Flush). Adding a row: the row
// and its long values first, then the maps that find its page, then the index entries that
// name it, then the table definition. Removing a row runs the other way round.
namespace rank {
constexpr int kNewPage = 0;
constexpr int kRowAdded = 1;
constexpr int kMapsOnAdd = 2;
constexpr int kIndexOnAdd = 3;
constexpr int kIndexNodeOnAdd = 4;
constexpr int kIndexOnRemove = 1;
constexpr int kIndexNodeOnRemove = 2;
constexpr int kRowRemoved = 3;
constexpr int kMapsOnRemove = 4;
constexpr int kDefinition = 5;
}  // namespace rank

// The owner word of long-value pages ("LVAL").
constexpr std::uint32_t kLongValueOwner = 0x4C41564C;

constexpr std::size_t kDataPageHeaderSize = 14;  // up to and including the row count
constexpr std::size_t kMaxRowsPerPage = 255;     // a row pointer has one byte for the row

// Free bytes of a data page as its header records them.
std::size_t DataPageFreeSpace(std::span<const std::uint8_t> page);
// Where the rows of a data page begin (the lowest offset in its row table): rows fill the
// page from its end down. Reads the whole row table.
std::size_t RowsStart(std::span<const std::uint8_t> page);
// Whether a row of size bytes (with its row table entry) fits the data page; rows_start, when
// given, is RowsStart(page).
bool RowFits(std::span<const std::uint8_t> page, std::size_t size);
bool RowFits(std::span<const std::uint8_t> page, std::size_t rows_start, std::size_t size);
// Makes page an empty data page of owner (a table definition page or kLongValueOwner).
void InitDataPage(std::vector<std::uint8_t>& page, std::uint32_t owner);
// Adds the row to the data page, which must have room; returns its row number. The row starts
// at the page's RowsStart less its size.
std::uint8_t AddRow(std::vector<std::uint8_t>& page, std::span<const std::uint8_t> row);
std::uint8_t AddRow(std::vector<std::uint8_t>& page, std::size_t rows_start,
                    std::span<const std::uint8_t> row);
// Marks row number row of the data page deleted; its bytes stay until the page is compacted.
void MarkRowDeleted(std::vector<std::uint8_t>& page, std::uint8_t row);

// Sets or clears page's bit in the usage map row at map_pointer. An inline map that cannot
// reach the page becomes a map of map pages.
void SetUsageMapBit(Pager& pager, std::uint32_t map_pointer, std::uint32_t page, bool on, int rank);
// Whether the usage map at map_pointer marks page.
bool UsageMapHas(Pager& pager, std::uint32_t map_pointer, std::uint32_t page);

// The database's map of free pages: row 0 of page 1.
constexpr std::uint32_t kFreePageMap = 1u << 8;

// What the file grows by when no free page is left: new pages beyond the one taken are blank
// and listed in the free-page map.
constexpr std::size_t kGrowthStep = 64 << 10;

// A page for new use: the first page the free-page map lists, else a new page at the end of
// the file; taken off the free-page map and zero-filled.
std::uint32_t TakePage(Pager& pager);

}  // namespace jetdb
