#include "jetdb/verify.h"

#include <algorithm>
#include <set>

#include "jetdb/bytes.h"
#include "jetdb/data_page.h"
#include "jetdb/index.h"
#include "jetdb/index_key.h"
#include "jetdb/index_write.h"
#include "jetdb/storage.h"
#include "jetdb/usage_map.h"

namespace jetdb {

namespace {

// The pages of one index: none listed free, each intermediate page's tail one of its leaves.
void CheckIndexPages(Pager& pager, const TableDef& table, const IndexDef& index,
                     const std::set<std::uint32_t>& free_pages,
                     std::vector<std::string>& problems) {
  const std::string name = "index '" + index.name + "'";
  std::vector<std::uint32_t> level{index.first_page};
  std::vector<std::pair<std::uint32_t, std::uint32_t>> tails;  // page, its tail
  for (std::size_t depth = 0; depth < 32; ++depth) {
    const PageData data = pager.Read(level.front());
    if ((*data)[0] != kIndexNodePage) break;
    std::vector<std::uint32_t> below;
    for (const std::uint32_t page : level) {
      const PageData node = pager.Read(page);
      if (free_pages.count(page))
        problems.push_back(name + ": page " + std::to_string(page) + " is in use and free");
      if ((*node)[0] != kIndexNodePage || ReadU32(*node, 4) != table.page) {
        problems.push_back(name + ": page " + std::to_string(page) + " is not one of its pages");
        return;
      }
      tails.emplace_back(page, ReadU32(*node, 20));
      for (const auto& entry : ReadIndexEntries(*node, page)) {
        const std::size_t n = entry.size();
        below.push_back((std::uint32_t{entry[n - 4]} << 24) | (std::uint32_t{entry[n - 3]} << 16) |
                        (std::uint32_t{entry[n - 2]} << 8) | entry[n - 1]);
      }
    }
    if (below.empty()) {
      problems.push_back(name + ": an intermediate page is empty");
      return;
    }
    level = std::move(below);
  }
  std::set<std::uint32_t> leaves;
  std::uint32_t last_leaf = 0;
  for (std::uint32_t page = level.front(); page != 0 && leaves.size() <= pager.PageCount();) {
    if (!leaves.insert(page).second) break;
    if (free_pages.count(page))
      problems.push_back(name + ": page " + std::to_string(page) + " is in use and free");
    const PageData leaf = pager.Read(page);
    if ((*leaf)[0] != kIndexLeafPage || ReadU32(*leaf, 4) != table.page) {
      problems.push_back(name + ": page " + std::to_string(page) + " is not one of its leaves");
      return;
    }
    last_leaf = page;
    page = ReadU32(*leaf, 16);
  }
  // The root is on the right edge: its tail is the last leaf.
  if (!tails.empty() && tails.front().second != last_leaf) {
    problems.push_back(name + ": the root names " + std::to_string(tails.front().second) +
                       " as its tail leaf, not the last leaf " + std::to_string(last_leaf));
  }
  for (const auto& [page, tail] : tails) {
    if (!leaves.count(tail)) {
      problems.push_back(name + ": page " + std::to_string(page) + " names " +
                         std::to_string(tail) + " as its tail leaf");
    }
  }
}

}  // namespace

std::vector<std::string> VerifyTable(Pager& pager, const TableDef& table) {
  std::vector<std::string> problems;
  const std::vector<std::uint32_t> owned = ReadUsageMap(pager, table.usage_map);
  const std::vector<std::uint32_t> with_room = ReadUsageMap(pager, table.free_space_map);
  std::set<std::uint32_t> free_pages;
  for (std::uint32_t page : ReadUsageMapUnchecked(pager, kFreePageMap)) free_pages.insert(page);
  for (std::uint32_t page : with_room) {
    if (!std::binary_search(owned.begin(), owned.end(), page)) {
      problems.push_back("page " + std::to_string(page) + " has room but is not the table's");
    }
  }
  // The live rows and their pointers.
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> rows;
  for (std::uint32_t page : owned) {
    if (free_pages.count(page))
      problems.push_back("page " + std::to_string(page) + " is in use and free");
    const PageData data = pager.Read(page);
    if ((*data)[0] != kDataPageType || DataPageOwner(*data) != table.page) continue;
    const auto slots = ReadRowSlots(*data, page);
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].Deleted()) continue;
      const LocatedRow row = FollowOverflow(pager, {data, slots[i]});
      rows.emplace_back((page << 8) | static_cast<std::uint32_t>(i),
                        std::vector<std::uint8_t>(row.slot.bytes.begin(), row.slot.bytes.end()));
    }
  }
  if (rows.size() != table.row_count) {
    problems.push_back("the row count is " + std::to_string(table.row_count) + " but " +
                       std::to_string(rows.size()) + " rows live");
  }
  std::set<std::uint32_t> physical;
  for (const IndexDef& index : table.indexes) {
    if (!physical.insert(index.physical).second) continue;
    std::vector<std::vector<std::uint8_t>> expected;
    for (const auto& [pointer, bytes] : rows) {
      const Row row(table, bytes);
      if (index.IgnoreNulls() && KeyAllNull(table, index, row)) continue;
      std::vector<std::uint8_t> entry = IndexKey(pager, table, index, row);
      for (int shift = 24; shift >= 0; shift -= 8) {
        entry.push_back(static_cast<std::uint8_t>(pointer >> shift));
      }
      expected.push_back(std::move(entry));
    }
    std::sort(expected.begin(), expected.end());
    CheckIndexPages(pager, table, index, free_pages, problems);
    const auto actual = IndexEntries(pager, table.page, index.first_page);
    if (actual != expected) {
      problems.push_back("index '" + index.name + "' holds " + std::to_string(actual.size()) +
                         " entries, not the " + std::to_string(expected.size()) +
                         " its rows give in order");
    }
  }
  return problems;
}

}  // namespace jetdb
