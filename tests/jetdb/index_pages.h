// Walking an index's pages in the engine tests.
#pragma once

#include <cstdint>
#include <vector>

#include "jetdb/bytes.h"
#include "jetdb/index.h"
#include "jetdb/pager.h"

namespace jetdb_test {

// What an index entry points at, in its last four bytes, big-endian: the child page of an
// intermediate entry, the row of a leaf entry.
inline std::uint32_t EntryPointer(const std::vector<std::uint8_t>& entry) {
  const std::size_t n = entry.size();
  return (std::uint32_t{entry[n - 4]} << 24) | (std::uint32_t{entry[n - 3]} << 16) |
         (std::uint32_t{entry[n - 2]} << 8) | entry[n - 1];
}

// The pages of the index with root: the intermediate ones level by level, then the leaves
// along the chain.
inline std::vector<std::uint32_t> IndexPages(jetdb::Pager& pager, std::uint32_t root) {
  std::vector<std::uint32_t> pages;
  std::vector<std::uint32_t> level{root};
  while ((*pager.Read(level.front()))[0] == jetdb::kIndexNodePage) {
    std::vector<std::uint32_t> below;
    for (const std::uint32_t page : level) {
      pages.push_back(page);
      for (const auto& entry : jetdb::ReadIndexEntries(*pager.Read(page), page)) {
        below.push_back(EntryPointer(entry));
      }
    }
    level = below;
  }
  for (std::uint32_t page = level.front(); page != 0;
       page = jetdb::ReadU32(*pager.Read(page), 16)) {
    pages.push_back(page);
  }
  return pages;
}

}  // namespace jetdb_test
