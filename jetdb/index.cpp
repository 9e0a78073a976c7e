#include "jetdb/index.h"

#include <string>

#include "jetdb/bytes.h"
#include "jetdb/error.h"

namespace jetdb {

namespace {

constexpr std::size_t kOwnerOffset = 4;
constexpr std::size_t kNextPageOffset = 16;
constexpr std::size_t kPrefixLengthOffset = 24;
// A bitmap of where entries start (bit n: an entry starts n bytes after the first one); the
// last set bit marks the end of the last entry.
constexpr std::size_t kEntryMaskOffset = 27;
constexpr std::size_t kFirstEntryOffset = 0x1E0;
constexpr std::size_t kRowPointerSize = 4;
constexpr std::size_t kChildPointerSize = 4;
// Trees are shallow; more levels than this is a loop.
constexpr int kMaxDepth = 32;

std::uint32_t ReadU32BigEndian(std::span<const std::uint8_t> bytes, std::size_t offset) {
  CheckRange(bytes, offset, 4);
  return (static_cast<std::uint32_t>(bytes[offset]) << 24) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 8) | bytes[offset + 3];
}

}  // namespace

std::vector<std::vector<std::uint8_t>> ReadIndexEntries(const std::vector<std::uint8_t>& page,
                                                        std::uint32_t number) {
  std::vector<std::size_t> starts{kFirstEntryOffset};
  for (std::size_t byte = kEntryMaskOffset; byte < kFirstEntryOffset; ++byte) {
    if (page[byte] == 0) continue;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (!(page[byte] & (1u << bit))) continue;
      const std::size_t offset = kFirstEntryOffset + (byte - kEntryMaskOffset) * 8 + bit;
      if (offset > page.size()) {
        Corrupt("index page " + std::to_string(number) + " has entries past its end");
      }
      starts.push_back(offset);
    }
  }
  std::vector<std::vector<std::uint8_t>> entries;
  if (starts.size() < 2) return entries;  // an empty page
  // Every entry but the first leaves out the bytes it shares with the first one.
  const std::size_t prefix = ReadU16(page, kPrefixLengthOffset);
  if (prefix > starts[1] - starts[0]) {
    Corrupt("index page " + std::to_string(number) + " has a bad prefix length");
  }
  entries.reserve(starts.size() - 1);
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    std::vector<std::uint8_t> entry;
    if (i > 0)
      entry.assign(page.begin() + kFirstEntryOffset, page.begin() + kFirstEntryOffset + prefix);
    entry.insert(entry.end(), page.begin() + starts[i], page.begin() + starts[i + 1]);
    entries.push_back(std::move(entry));
  }
  return entries;
}

IndexWalker::IndexWalker(Pager& pager, std::uint32_t table_page, std::uint32_t first_page)
    : pager_(pager), table_page_(table_page) {
  // Go down the first entries to the leftmost leaf.
  std::uint32_t page = first_page;
  for (int depth = 0;; ++depth) {
    if (depth == kMaxDepth) Corrupt("an index tree is too deep");
    const PageData data = pager_.Read(page);
    if ((*data)[0] == kIndexLeafPage) break;
    if ((*data)[0] != kIndexNodePage) {
      Corrupt("page " + std::to_string(page) + " is not an index page");
    }
    const auto entries = ReadIndexEntries(*data, page);
    if (entries.empty()) Corrupt("index page " + std::to_string(page) + " is empty");
    const auto& first = entries.front();
    if (first.size() < kRowPointerSize + kChildPointerSize) {
      Corrupt("index page " + std::to_string(page) + " has a short entry");
    }
    page = ReadU32BigEndian(first, first.size() - kChildPointerSize);
  }
  next_leaf_ = page;
}

void IndexWalker::LoadLeaf(std::uint32_t page) {
  // Leaves are distinct pages, so a chain longer than the file is a loop.
  if (++leaves_read_ > pager_.PageCount()) Corrupt("index leaf pages form a loop");
  const PageData data = pager_.Read(page);
  if ((*data)[0] != kIndexLeafPage || ReadU32(*data, kOwnerOffset) != table_page_) {
    Corrupt("page " + std::to_string(page) + " is not a leaf of this table's index");
  }
  pointers_.clear();
  position_ = 0;
  for (const auto& entry : ReadIndexEntries(*data, page)) {
    if (entry.size() < kRowPointerSize) {
      Corrupt("index page " + std::to_string(page) + " has a short entry");
    }
    // Index pointers are stored big-endian so that entries sort by their bytes.
    pointers_.push_back(ReadU32BigEndian(entry, entry.size() - kRowPointerSize));
  }
  next_leaf_ = ReadU32(*data, kNextPageOffset);
}

std::optional<std::uint32_t> IndexWalker::Next() {
  while (position_ == pointers_.size()) {
    if (next_leaf_ == 0) return std::nullopt;
    LoadLeaf(next_leaf_);
  }
  return pointers_[position_++];
}

}  // namespace jetdb
