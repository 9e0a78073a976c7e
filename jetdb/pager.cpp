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
    if (dirty_.count(*victim) != 0) continue;
    entries_.erase(*victim);
    victim = recent_.erase(victim);
  }
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
  return entries_.emplace(page, Entry{std::move(bytes), recent_.begin()}).first->second;
}

PageData Pager::Read(std::uint32_t page) { return Load(page).data; }

std::vector<std::uint8_t>& Pager::Modify(std::uint32_t page, int rank) {
  if (!file_.Writable()) throw Error("The database '" + file_.Path() + "' is read-only.");
  Entry& entry = Load(page);
  // Someone still holds these bytes: give them their own copy to keep.
  if (entry.data.use_count() > 1) {
    entry.data = std::make_shared<std::vector<std::uint8_t>>(*entry.data);
  }
  auto [found, added] = dirty_.emplace(page, rank);
  if (!added) found->second = std::min(found->second, rank);
  stamps_[page] = NextStamp();  // the caller is about to change the bytes
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
  entries_.emplace(page,
                   Entry{std::make_shared<std::vector<std::uint8_t>>(page_size_), recent_.begin()});
  dirty_.emplace(page, rank);
  stamps_[page] = NextStamp();
  return page;
}

void Pager::Flush() {
  std::vector<std::pair<int, std::uint32_t>> order;
  order.reserve(dirty_.size());
  for (const auto& [page, rank] : dirty_) order.emplace_back(rank, page);
  std::sort(order.begin(), order.end());
  // Neighbouring pages of one rank go in one write.
  std::vector<std::uint8_t> run;
  for (std::size_t i = 0; i < order.size();) {
    std::size_t end = i + 1;
    while (end < order.size() && order[end].first == order[i].first &&
           order[end].second == order[end - 1].second + 1) {
      ++end;
    }
    const std::uint32_t first = order[i].second;
    const std::uint8_t* bytes = entries_.at(first).data->data();
    if (end - i > 1) {
      run.clear();
      for (std::size_t k = i; k < end; ++k) {
        const auto& page = *entries_.at(order[k].second).data;
        run.insert(run.end(), page.begin(), page.end());
      }
      bytes = run.data();
    }
    file_.WriteAt(static_cast<std::uint64_t>(first) * page_size_, bytes, (end - i) * page_size_);
    ++file_writes_;
    for (std::size_t k = i; k < end; ++k) dirty_.erase(order[k].second);
    i = end;
  }
  written_page_count_ = page_count_;
}

void Pager::Discard() {
  for (const auto& [page, rank] : dirty_) {
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
