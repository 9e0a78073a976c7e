#include "jetdb/usage_map.h"

#include <optional>
#include <span>
#include <string>

#include "jetdb/bytes.h"
#include "jetdb/data_page.h"
#include "jetdb/error.h"

namespace jetdb {

namespace {

constexpr std::uint8_t kInlineMap = 0;
constexpr std::uint8_t kPagedMap = 1;
constexpr std::uint8_t kMapPageType = 0x05;
constexpr std::size_t kMapPageHeader = 4;  // type, a constant 1, two unused bytes

// Gives visit the pages whose bits are set, counting from first, until it returns false;
// returns whether it went through all of them.
template <typename Visit>
bool VisitMarked(Pager& pager, std::span<const std::uint8_t> bitmap, std::uint64_t first,
                 bool past_end, Visit& visit) {
  for (std::size_t byte = 0; byte < bitmap.size(); ++byte) {
    if (bitmap[byte] == 0) continue;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (!(bitmap[byte] & (1u << bit))) continue;
      const std::uint64_t page = first + byte * 8u + bit;
      if (page > 0xFFFFFF) break;
      if (page >= pager.PageCount() && !past_end) {
        Corrupt("a usage map marks page " + std::to_string(page) + ", past the end of the file");
      }
      if (!visit(static_cast<std::uint32_t>(page))) return false;
    }
  }
  return true;
}

// Gives visit the pages the map at pointer marks, in ascending order, until it returns false.
template <typename Visit>
void VisitMap(Pager& pager, std::uint32_t pointer, bool past_end, Visit visit) {
  const LocatedRow map = LocateRow(pager, pointer);
  const auto bytes = map.slot.bytes;
  if (bytes.empty()) Corrupt("a usage map row has been removed");
  switch (bytes[0]) {
    case kInlineMap:
      VisitMarked(pager, bytes.subspan(std::min<std::size_t>(5, bytes.size())), ReadU32(bytes, 1),
                  past_end, visit);
      break;
    case kPagedMap: {
      // Each map page covers as many pages as its bitmap has bits, the first one from 0.
      const std::uint64_t span = (pager.PageSize() - kMapPageHeader) * 8u;
      for (std::size_t i = 0; (i + 1) * 4 + 1 <= bytes.size(); ++i) {
        const std::uint32_t map_page = ReadU32(bytes, 1 + i * 4);
        if (map_page == 0) continue;
        const PageData data = pager.Read(map_page);
        if ((*data)[0] != kMapPageType) {
          Corrupt("page " + std::to_string(map_page) + " is not a usage map page");
        }
        if (!VisitMarked(pager, std::span(*data).subspan(kMapPageHeader), i * span, past_end,
                         visit)) {
          return;
        }
      }
      break;
    }
    default:
      Corrupt("unknown usage map type " + std::to_string(bytes[0]));
  }
}

std::vector<std::uint32_t> ReadMap(Pager& pager, std::uint32_t pointer, bool past_end) {
  std::vector<std::uint32_t> pages;
  VisitMap(pager, pointer, past_end, [&](std::uint32_t page) {
    pages.push_back(page);
    return true;
  });
  return pages;
}

}  // namespace

std::vector<std::uint32_t> ReadUsageMap(Pager& pager, std::uint32_t pointer) {
  return ReadMap(pager, pointer, false);
}

std::vector<std::uint32_t> ReadUsageMapUnchecked(Pager& pager, std::uint32_t pointer) {
  return ReadMap(pager, pointer, true);
}

std::optional<std::uint32_t> FirstMarkedPage(Pager& pager, std::uint32_t pointer,
                                             std::uint32_t from) {
  std::optional<std::uint32_t> found;
  VisitMap(pager, pointer, false, [&](std::uint32_t page) {
    if (page >= from) found = page;
    return !found;
  });
  return found;
}

}  // namespace jetdb
