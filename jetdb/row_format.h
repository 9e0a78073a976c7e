// Building stored rows: a value converted to a column's stored bytes, text in Jet 4's
// compressed or two-byte form, and the row layout (column count, fixed columns, variable
// columns, their offset table and the null mask).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jetdb/table.h"
#include "jetdb/value.h"

namespace jetdb {

// One column of a row to store: null, a Yes/No bit, or the bytes stored for it.
struct Field {
  bool null = true;
  bool yes = false;  // Yes/No columns: the value, kept in the null mask
  std::vector<std::uint8_t> bytes;
};

// The largest row a Jet 4 data page takes.
constexpr std::size_t kMaxRowSize = 4060;

// UTF-8 as UTF-16; malformed UTF-8 is an Error.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Text as Jet 4 stores it: with compress, text whose every character is in U+0001..U+00FF
// and that gets shorter by it is stored as FF FE and one byte per character; otherwise (and
// always without compress) two bytes per character.
std::vector<std::uint8_t> EncodeTextBytes(std::u16string_view units, bool compress);

// The value as text, the way Jet converts it for a Text or Memo column.
std::string ValueText(const Value& value);

// The value converted for the column (not Memo or OLE, whose bytes go through long value
// storage). A value the column cannot hold is an Error naming the column.
Field ConvertValue(const Column& column, const Value& value);

// The row bytes of fields, given in the order of table.columns. A row too large for a page
// is an Error.
std::vector<std::uint8_t> EncodeRow(const TableDef& table, const std::vector<Field>& fields);

}  // namespace jetdb
