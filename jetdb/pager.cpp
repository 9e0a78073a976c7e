#include "jetdb/pager.h"

#include <limits>
#include <string>

#include "jetdb/error.h"

namespace jetdb {

Pager::Pager(File file, std::size_t page_size, std::size_t capacity)
    : file_(std::move(file)), page_size_(page_size), capacity_(capacity == 0 ? 1 : capacity) {
  if (page_size_ == 0) throw Error("Invalid page size for '" + file_.Path() + "'.");
  std::uint64_t pages = file_.Size() / page_size_;
  if (pages > std::numeric_limits<std::uint32_t>::max()) {
    pages = std::numeric_limits<std::uint32_t>::max();
  }
  page_count_ = static_cast<std::uint32_t>(pages);
}

PageData Pager::Read(std::uint32_t page) {
  auto found = entries_.find(page);
  if (found != entries_.end()) {
    recent_.splice(recent_.begin(), recent_, found->second.position);
    return found->second.data;
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
  if (entries_.size() >= capacity_) {
    entries_.erase(recent_.back());
    recent_.pop_back();
  }
  recent_.push_front(page);
  PageData data = std::move(bytes);
  entries_.emplace(page, Entry{data, recent_.begin()});
  return data;
}

}  // namespace jetdb
