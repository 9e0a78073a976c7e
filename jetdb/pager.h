// Fixed-size pages of a database file, read through a small least-recently-used cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "jetdb/file.h"

namespace jetdb {

// The bytes of one page. Shared so that a page stays valid for its holder after the cache
// has dropped it.
using PageData = std::shared_ptr<const std::vector<std::uint8_t>>;

class Pager {
 public:
  static constexpr std::size_t kJet4PageSize = 4096;
  static constexpr std::size_t kDefaultCapacity = 256;

  explicit Pager(File file, std::size_t page_size = kJet4PageSize,
                 std::size_t capacity = kDefaultCapacity);

  const std::string& Path() const { return file_.Path(); }
  std::size_t PageSize() const { return page_size_; }
  // Whole pages in the file; a partial page at the end is not counted.
  std::uint32_t PageCount() const { return page_count_; }

  // The page numbered page (0 is the first). A page at or past PageCount() is an Error.
  PageData Read(std::uint32_t page);

  // Cache statistics, for tests and diagnostics.
  std::size_t CachedPages() const { return entries_.size(); }
  std::uint64_t FileReads() const { return file_reads_; }

 private:
  struct Entry {
    PageData data;
    std::list<std::uint32_t>::iterator position;
  };

  File file_;
  std::size_t page_size_;
  std::size_t capacity_;
  std::uint32_t page_count_;
  std::list<std::uint32_t> recent_;  // most recently used first
  std::unordered_map<std::uint32_t, Entry> entries_;
  std::uint64_t file_reads_ = 0;
};

}  // namespace jetdb
