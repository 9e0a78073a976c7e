#include "jetdb/pager.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <string>

#include "jetdb/error.h"

namespace jetdb {

namespace {

std::uint64_t NextStamp() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

}  // namespace

Pager::Pager(File file, std::size_t page_size, std::size_t capacity)
    : file_(std::move(file)), page_size_(page_size), capacity_(capacity == 0 ? 1 : capacity) {
  if (page_size_ == 0) throw Error("Invalid page size for '" + file_.Path() + "'.");
  std::uint64_t pages = file_.Size() / page_size_;
  if (pages > std::numeric_limits<std::uint32_t>::max()) {
    pages = std::numeric_limits<std::uint32_t>::max();
  }
  page_count_ = static_cast<std::uint32_t>(pages);
  written_page_count_ = page_count_;
  first_stamp_ = NextStamp();
}

void Pager::Evict() {
  // Changed pages stay until they are written; the cache may grow past its capacity meanwhile.
  auto victim = recent_.end();
  while (entries_.size() >= capacity_ && victim != recent_.begin()) {
    --victim;
    const auto found = entries_.find(*victim);
    if (found->second.changed) continue;
    if (found->second.stamp != first_stamp_) stamps_[*victim] = found->second.stamp;
    entries_.erase(found);
    victim = recent_.erase(victim);
  }
}

Pager::Dirty* Pager::FindDirty(std::uint32_t page) {
  for (Dirty& dirty : dirty_) {
    if (dirty.page == page) return &dirty;
  }
  return nullptr;
}

std::uint64_t Pager::StoredStamp(std::uint32_t page) const {
  const auto found = stamps_.find(page);
  return found == stamps_.end() ? first_stamp_ : found->second;
}

std::uint64_t Pager::Stamp(std::uint32_t page) const {
  const auto found = entries_.find(page);
  return found != entries_.end() ? found->second.stamp : StoredStamp(page);
}

Pager::Entry& Pager::Load(std::uint32_t page) {
  auto found = entries_.find(page);
  if (found != entries_.end()) {
    recent_.splice(recent_.begin(), recent_, found->second.position);
    return found->second;
  }
  if (page >= page_count_) {
    throw Error("Page " + std::to_string(page) + " is past the end of the database '" +
                file_.Path() + "' (" + std::to_string(page_count_) + " pages).");
  }
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(page_size_);
  std::size_t got =
      file_.ReadAt(static_cast<std::uint64_t>(page) * page_size_, bytes->data(), page_size_);
  ++file_reads_;
  if (got != page_size_) {
    throw Error("Page " + std::to_string(page) + " of the database '" + file_.Path() +
                "' could not be read in full.");
  }
  Evict();
  recent_.push_front(page);
  return entries_.emplace(page, Entry{std::move(bytes), recent_.begin(), StoredStamp(page)})
      .first->second;
}

PageData Pager::Read(std::uint32_t page) { return Load(page).data; }

std::vector<std::uint8_t>& Pager::Modify(std::uint32_t page, int rank) {
  if (!file_.Writable()) throw Error("The database '" + file_.Path() + "' is read-only.");
  Entry& entry = Load(page);
  // Someone still holds these bytes: give them their own copy to keep.
  if (entry.data.use_count() > 1) {
    entry.data = std::make_shared<std::vector<std::uint8_t>>(*entry.data);
  }
  if (!entry.changed) {
    dirty_.push_back({page, rank, &entry});
    entry.changed = true;
  } else if (Dirty* dirty = FindDirty(page)) {
    dirty->rank = std::min(dirty->rank, rank);
  }
  entry.stamp = NextStamp();  // the caller is about to change the bytes
  return *entry.data;
}

std::uint32_t Pager::Append(int rank) {
  if (!file_.Writable()) throw Error("The database '" + file_.Path() + "' is read-only.");
  if (page_count_ == std::numeric_limits<std::uint32_t>::max() >> 8) {
    throw Error("The database '" + file_.Path() + "' has reached its maximum size.");
  }
  const std::uint32_t page = page_count_++;
  Evict();
  recent_.push_front(page);
  Entry& entry = entries_
                     .emplace(page, Entry{std::make_shared<std::vector<std::uint8_t>>(page_size_),
                                          recent_.begin(), NextStamp(), true})
                     .first->second;
  dirty_.push_back({page, rank, &entry});
  return page;
}

void Pager::Flush() {
  std::sort(dirty_.begin(), dirty_.end(), [](const Dirty& a, const Dirty& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.page < b.page;
  });
  // Neighbouring pages of one rank go in one write.
  std::size_t written = 0;
  try {
    while (written < dirty_.size()) {
      const std::size_t i = written;
      std::size_t end = i + 1;
      while (end < dirty_.size() && dirty_[end].rank == dirty_[i].rank &&
             dirty_[end].page == dirty_[end - 1].page + 1) {
        ++end;
      }
      const std::uint32_t first = dirty_[i].page;
      const std::uint8_t* bytes = dirty_[i].entry->data->data();
      if (end - i > 1) {
        run_.clear();
        for (std::size_t k = i; k < end; ++k) {
          const auto& page = *dirty_[k].entry->data;
          run_.insert(run_.end(), page.begin(), page.end());
        }
        bytes = run_.data();
      }
      file_.WriteAt(static_cast<std::uint64_t>(first) * page_size_, bytes, (end - i) * page_size_);
      ++file_writes_;
      for (std::size_t k = i; k < end; ++k) dirty_[k].entry->changed = false;
      written = end;
    }
  } catch (...) {
    // The pages not written stay changed.
    dirty_.erase(dirty_.begin(), dirty_.begin() + static_cast<std::ptrdiff_t>(written));
    throw;
  }
  dirty_.clear();
  written_page_count_ = page_count_;
}

void Pager::Discard() {
  for (const Dirty& dirty : dirty_) {
    const std::uint32_t page = dirty.page;
    stamps_[page] = NextStamp();
    auto found = entries_.find(page);
    if (found == entries_.end()) continue;
    recent_.erase(found->second.position);
    entries_.erase(found);
  }
  dirty_.clear();
  page_count_ = written_page_count_;
}

}  // namespace jetdb
