// Index pages: a tree of intermediate pages (type 3) above a chain of leaf pages (type 4).
// Each entry is a key followed by the row pointer of its row; leaf pages are linked in key
// order, so walking the chain from the leftmost leaf gives the rows in index order.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jetdb/pager.h"

namespace jetdb {

constexpr std::uint8_t kIndexNodePage = 0x03;
constexpr std::uint8_t kIndexLeafPage = 0x04;

// The entries of one index page, each with its prefix restored.
std::vector<std::vector<std::uint8_t>> ReadIndexEntries(const std::vector<std::uint8_t>& page,
                                                        std::uint32_t number);

// Walks the leaves of the index whose root is first_page, giving the row pointer of every
// entry in key order. Reads one leaf page at a time.
class IndexWalker {
 public:
  IndexWalker(Pager& pager, std::uint32_t table_page, std::uint32_t first_page);
  // The row pointer of the next entry, or nothing after the last.
  std::optional<std::uint32_t> Next();

 private:
  void LoadLeaf(std::uint32_t page);

  Pager& pager_;
  std::uint32_t table_page_;
  std::vector<std::uint32_t> pointers_;  // of the current leaf
  std::size_t position_ = 0;
  std::uint32_t next_leaf_ = 0;
  std::uint32_t leaves_read_ = 0;
};

}  // namespace jetdb
