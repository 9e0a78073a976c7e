#include "jetdb/long_value.h"

#include <algorithm>
#include <string>

#include "jetdb/bytes.h"
#include "jetdb/data_page.h"
#include "jetdb/error.h"

namespace jetdb {

namespace {

// The two high bits of the length word say where the value is stored.
constexpr std::uint32_t kLengthMask = 0x3FFFFFFF;
constexpr std::uint32_t kInline = 0x80000000;
constexpr std::uint32_t kSingleRow = 0x40000000;
constexpr std::size_t kChainLinkSize = 4;  // each row of a chain starts with the next pointer

}  // namespace

std::vector<std::uint8_t> ReadLongValue(Pager& pager, std::span<const std::uint8_t> field) {
  if (field.size() < kLongValueFieldSize) Corrupt("a long value field is too short");
  const std::uint32_t word = ReadU32(field, 0);
  const std::size_t length = word & kLengthMask;
  if (word & kInline) {
    if (length > field.size() - kLongValueFieldSize) Corrupt("an inline long value is cut short");
    const auto bytes = field.subspan(kLongValueFieldSize, length);
    return {bytes.begin(), bytes.end()};
  }
  std::uint32_t pointer = ReadU32(field, 4);
  if (word & kSingleRow) {
    const LocatedRow row = LocateRow(pager, pointer);
    if (row.slot.bytes.size() < length) Corrupt("a long value is shorter than its length");
    return {row.slot.bytes.begin(), row.slot.bytes.begin() + static_cast<std::ptrdiff_t>(length)};
  }
  // A chain: every row but the last fills most of a page, so a chain longer than the file has
  // pages is a loop.
  std::vector<std::uint8_t> bytes;
  bytes.reserve(std::min<std::size_t>(length, std::size_t{pager.PageCount()} * pager.PageSize()));
  for (std::uint32_t hops = 0; bytes.size() < length; ++hops) {
    if (pointer == 0) Corrupt("a long value chain ends early");
    if (hops > pager.PageCount()) Corrupt("a long value chain loops");
    const LocatedRow row = LocateRow(pager, pointer);
    if (row.slot.bytes.size() < kChainLinkSize) Corrupt("a long value chain row is too short");
    pointer = ReadU32(row.slot.bytes, 0);
    const auto chunk = row.slot.bytes.subspan(kChainLinkSize);
    const std::size_t take = std::min(chunk.size(), length - bytes.size());
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(take));
  }
  return bytes;
}

}  // namespace jetdb
