// Long values (Memo and OLE): a twelve-byte field in the row gives the length and where the
// bytes are: right after the field, in one row of a long-value page, or in a chain of such rows.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "jetdb/pager.h"

namespace jetdb {

constexpr std::size_t kLongValueFieldSize = 12;

// The bytes of the long value whose field is field.
std::vector<std::uint8_t> ReadLongValue(Pager& pager, std::span<const std::uint8_t> field);

}  // namespace jetdb
