// Usage maps: the bitmaps that say which pages belong to a table (or an index). A map is a
// row on a data page, named by a row pointer. Type 0 holds the bitmap inline after its first
// page number; type 1 lists pages of type 5, each a bitmap for its own stretch of pages.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "jetdb/pager.h"

namespace jetdb {

// The pages the map at pointer marks, in ascending order. A marked page past the end of the
// file, a bad map type or a map page of the wrong type is an Error.
std::vector<std::uint32_t> ReadUsageMap(Pager& pager, std::uint32_t pointer);
// The same, for the free-page map, which also marks pages past the end of the file.
std::vector<std::uint32_t> ReadUsageMapUnchecked(Pager& pager, std::uint32_t pointer);
// The first page from on that the map at pointer marks, if any: what ReadUsageMap would list
// first, without reading the rest of the map.
std::optional<std::uint32_t> FirstMarkedPage(Pager& pager, std::uint32_t pointer,
                                             std::uint32_t from);

}  // namespace jetdb
