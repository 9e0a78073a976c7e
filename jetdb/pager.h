// Fixed-size pages of a database file, read through a small least-recently-used cache. Changed
// pages stay in the cache until Flush writes them, in the order their write ranks give, or
// Discard forgets them: a change reaches the file whole or not at all.
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
  static constexpr std::size_t kDefaultCapacity = 1024;  // 4 MB of Jet 4 pages

  explicit Pager(File file, std::size_t page_size = kJet4PageSize,
                 std::size_t capacity = kDefaultCapacity);

  const std::string& Path() const { return file_.Path(); }
  std::size_t PageSize() const { return page_size_; }
  // Whole pages in the file; a partial page at the end is not counted.
  std::uint32_t PageCount() const { return page_count_; }

  // The page numbered page (0 is the first). A page at or past PageCount() is an Error.
  PageData Read(std::uint32_t page);

  // The page numbered page, to be changed in place. Holders of its earlier PageData keep the
  // bytes they had. The page is written by the next Flush, after every page of a lower rank.
  std::vector<std::uint8_t>& Modify(std::uint32_t page, int rank);
  // A new zero-filled page at the end of the file; it counts in PageCount() at once and is
  // written by the next Flush.
  std::uint32_t Append(int rank);
  // Writes the changed pages: lowest rank first, ascending page numbers within a rank. A
  // failed write is an Error and leaves the unwritten pages changed.
  void Flush();
  // Forgets every change made since the last Flush, new pages included.
  void Discard();
  bool HasChanges() const { return !dirty_.empty(); }
  // Identifies this pager's pages for caches of decoded pages: a page whose stamp has not
  // changed holds the same bytes. Stamps are never reused, not even by another pager.
  std::uint64_t Stamp(std::uint32_t page) const;
  bool Writable() const { return file_.Writable(); }
  // The whole file as bytes, for in-memory files (tests).
  std::vector<std::uint8_t> MemoryBytes() const { return file_.MemoryBytes(); }

  // Cache statistics, for tests and diagnostics.
  std::size_t CachedPages() const { return entries_.size(); }
  std::uint64_t FileReads() const { return file_reads_; }
  std::uint64_t FileWrites() const { return file_writes_; }

 private:
  struct Entry {
    std::shared_ptr<std::vector<std::uint8_t>> data;
    std::list<std::uint32_t>::iterator position;
    std::uint64_t stamp = 0;
    bool changed = false;  // listed in dirty_, so not to be evicted
  };
  Entry& Load(std::uint32_t page);
  void Evict();

  File file_;
  std::size_t page_size_;
  std::size_t capacity_;
  std::uint32_t page_count_;
  std::uint32_t written_page_count_;  // the page count as of the last Flush
  std::list<std::uint32_t> recent_;   // most recently used first
  std::unordered_map<std::uint32_t, Entry> entries_;
  // A changed page and its write rank. A post changes a few pages: a list costs less than a
  // map whose nodes come and go with each post. Entry::changed says whether a page is listed.
  // The entry stays put: a changed page is never evicted, and map nodes do not move.
  struct Dirty {
    std::uint32_t page;
    int rank;
    Entry* entry;
  };
  Dirty* FindDirty(std::uint32_t page);
  std::vector<Dirty> dirty_;
  std::uint64_t first_stamp_;  // of every page not changed since opening
  // Stamps of changed pages that are not cached; a cached page keeps its stamp in its entry.
  std::unordered_map<std::uint32_t, std::uint64_t> stamps_;
  std::uint64_t StoredStamp(std::uint32_t page) const;
  std::vector<std::uint8_t> run_;  // neighbouring pages joined for one write, kept between posts
  std::uint64_t file_reads_ = 0;
  std::uint64_t file_writes_ = 0;
};

}  // namespace jetdb
