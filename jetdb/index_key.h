// Index keys: the bytes an index entry holds for a row's key columns, built so that comparing
// entries byte by byte gives the index's order. Each column contributes a flag byte (0x7F for
// a value, 0x00 for null; 0x80 and 0xFF, with the value's bytes inverted, when the column is
// in descending order) and then its value in an order-preserving form: numbers big-endian with
// the sign bit flipped (negative floating point values inverted whole), text in Access's
// General sort order.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "jetdb/pager.h"
#include "jetdb/table.h"

namespace jetdb {

// The key of row for index (without the row pointer that completes an entry).
std::vector<std::uint8_t> IndexKey(Pager& pager, const TableDef& table, const IndexDef& index,
                                   const Row& row);
// The same into key, whose storage is reused.
void IndexKey(Pager& pager, const TableDef& table, const IndexDef& index, const Row& row,
              std::vector<std::uint8_t>& key);
// Whether every key column of the row is null.
bool KeyAllNull(const TableDef& table, const IndexDef& index, const Row& row);
// Whether some key column of the row is null.
bool KeyHasNull(const TableDef& table, const IndexDef& index, const Row& row);

// Text in General sort order, ending with its terminator.
std::vector<std::uint8_t> GeneralSortKey(std::u16string_view text);
// The same, added to the end of key.
void AppendGeneralSortKey(std::u16string_view text, std::vector<std::uint8_t>& key);

}  // namespace jetdb
