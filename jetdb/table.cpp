#include "jetdb/table.h"

#include "jetdb/bytes.h"
#include "jetdb/error.h"

namespace jetdb {

namespace {

constexpr std::uint8_t kTableDefPage = 0x02;
constexpr std::uint8_t kDataPage = 0x01;
constexpr std::size_t kPageHeaderSize = 8;  // type, marker, free space, next page

// Where the parts of a Jet 4 table definition start.
constexpr std::size_t kRowCountOffset = 16;
constexpr std::size_t kTableTypeOffset = 40;
constexpr std::size_t kMaxColumnsOffset = 41;
constexpr std::size_t kVarColumnsOffset = 43;
constexpr std::size_t kColumnCountOffset = 45;
constexpr std::size_t kIndexCountOffset = 47;
constexpr std::size_t kRealIndexCountOffset = 51;
constexpr std::size_t kRealIndexesOffset = 63;
constexpr std::size_t kRealIndexSize = 12;
constexpr std::size_t kColumnSize = 25;

// Data page layout.
constexpr std::size_t kDataOwnerOffset = 4;
constexpr std::size_t kDataRowCountOffset = 12;
constexpr std::size_t kDataRowTableOffset = 14;
constexpr std::uint16_t kRowDeleted = 0x8000;
constexpr std::uint16_t kRowLookup = 0x4000;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string Utf16ToUtf8(const std::vector<std::uint16_t>& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

[[noreturn]] void Corrupt(const std::string& what) {
  throw Error("Corrupt database: " + what + ".");
}

}  // namespace

std::string DecodeText(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint16_t> units;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    // Compressed: one byte per character, switching to and from two-byte characters at
    // each zero byte.
    bool compressed = true;
    std::size_t i = 2;
    while (i < bytes.size()) {
      if (bytes[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        units.push_back(bytes[i]);
        ++i;
      } else if (i + 1 < bytes.size()) {
        units.push_back(static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8)));
        i += 2;
      } else {
        break;
      }
    }
  } else {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      units.push_back(static_cast<std::uint16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
  }
  return Utf16ToUtf8(units);
}

const Column* TableDef::Find(const std::string& name) const {
  for (const Column& column : columns) {
    if (column.name == name) return &column;
  }
  return nullptr;
}

TableDef ReadTableDef(Pager& pager, std::uint32_t page) {
  // The definition continues across pages; join their contents after the page headers.
  std::vector<std::uint8_t> bytes;
  std::uint32_t current = page;
  for (std::size_t pages = 0; current != 0; ++pages) {
    if (pages > pager.PageCount()) Corrupt("table definition pages form a loop");
    PageData data = pager.Read(current);
    if ((*data)[0] != kTableDefPage) {
      Corrupt("page " + std::to_string(current) + " is not a table definition");
    }
    bytes.insert(bytes.end(), data->begin() + (pages == 0 ? 0 : kPageHeaderSize), data->end());
    current = ReadU32(*data, 4);
  }

  TableDef table;
  table.page = page;
  table.row_count = ReadU32(bytes, kRowCountOffset);
  table.table_type = ReadU8(bytes, kTableTypeOffset);
  table.max_columns = ReadU16(bytes, kMaxColumnsOffset);
  table.var_columns = ReadU16(bytes, kVarColumnsOffset);
  const std::uint16_t column_count = ReadU16(bytes, kColumnCountOffset);
  table.index_count = ReadU32(bytes, kIndexCountOffset);
  table.real_index_count = ReadU32(bytes, kRealIndexCountOffset);
  if (table.real_index_count > 1000) Corrupt("too many indexes");

  std::size_t offset = kRealIndexesOffset + table.real_index_count * kRealIndexSize;
  table.columns.resize(column_count);
  for (Column& column : table.columns) {
    CheckRange(bytes, offset, kColumnSize);
    column.type = static_cast<ColumnType>(bytes[offset]);
    column.number = ReadU16(bytes, offset + 5);
    column.var_index = ReadU16(bytes, offset + 7);
    column.misc = ReadU16(bytes, offset + 11);
    column.flags = ReadU8(bytes, offset + 15);
    column.fixed_offset = ReadU16(bytes, offset + 21);
    column.size = ReadU16(bytes, offset + 23);
    offset += kColumnSize;
  }
  for (Column& column : table.columns) {
    const std::uint16_t length = ReadU16(bytes, offset);
    offset += 2;
    CheckRange(bytes, offset, length);
    column.name = DecodeText(std::span(bytes).subspan(offset, length));
    offset += length;
  }
  return table;
}

Row::Row(const TableDef& table, std::span<const std::uint8_t> bytes) : bytes_(bytes) {
  stored_columns_ = ReadU16(bytes, 0);
  const std::size_t mask_size = (stored_columns_ + 7u) / 8u;
  if (bytes.size() < 2 + mask_size) Corrupt("a row is shorter than its null mask");
  null_mask_ = bytes.subspan(bytes.size() - mask_size);
  if (table.var_columns == 0) return;
  std::size_t end = bytes.size() - mask_size;
  if (end < 4) Corrupt("a row has no variable column table");
  const std::uint16_t var_count = ReadU16(bytes, end - 2);
  // Offsets are stored backwards from just before the count; the last one is the end of
  // the variable data.
  const std::size_t table_size = (var_count + 1u) * 2u;
  if (end - 2 < table_size + 2) Corrupt("a row's variable column table is too long");
  var_offsets_.resize(var_count + 1u);
  for (std::size_t i = 0; i <= var_count; ++i) {
    var_offsets_[i] = ReadU16(bytes, end - 2 - (i + 1) * 2);
  }
  for (std::size_t i = 0; i < var_count; ++i) {
    if (var_offsets_[i] > var_offsets_[i + 1] || var_offsets_[var_count] > end) {
      Corrupt("a row's variable column offsets are out of order");
    }
  }
}

bool Row::IsNull(const Column& column) const {
  if (column.number >= stored_columns_) return true;
  return (null_mask_[column.number / 8] & (1u << (column.number % 8))) == 0;
}

std::span<const std::uint8_t> Row::Bytes(const Column& column) const {
  if (column.type == ColumnType::kBoolean || IsNull(column)) return {};
  if (column.Fixed()) {
    const std::size_t start = 2u + column.fixed_offset;
    CheckRange(bytes_, start, column.size);
    return bytes_.subspan(start, column.size);
  }
  if (column.var_index + 1u >= var_offsets_.size()) return {};
  const std::size_t start = var_offsets_[column.var_index];
  return bytes_.subspan(start, var_offsets_[column.var_index + 1u] - start);
}

std::optional<std::int64_t> Row::Integer(const Column& column) const {
  if (IsNull(column)) return std::nullopt;
  auto data = Bytes(column);
  switch (column.type) {
    case ColumnType::kByte:
      return ReadU8(data, 0);
    case ColumnType::kInteger:
      return static_cast<std::int16_t>(ReadU16(data, 0));
    case ColumnType::kLong:
      return static_cast<std::int32_t>(ReadU32(data, 0));
    default:
      throw Error("Column '" + column.name + "' is not an integer column.");
  }
}

std::optional<bool> Row::Boolean(const Column& column) const {
  if (column.type != ColumnType::kBoolean) {
    throw Error("Column '" + column.name + "' is not a Yes/No column.");
  }
  // Yes/No values live in the null mask: a set bit is Yes.
  if (column.number >= stored_columns_) return std::nullopt;
  return !IsNull(column);
}

std::optional<std::string> Row::Text(const Column& column) const {
  if (column.type != ColumnType::kText) {
    throw Error("Column '" + column.name + "' is not a Text column.");
  }
  if (IsNull(column)) return std::nullopt;
  return DecodeText(Bytes(column));
}

namespace {

// The rows of one data page: their flags and bytes.
struct PageRow {
  std::uint16_t flags;
  std::span<const std::uint8_t> bytes;
};

// With keep_moved, rows flagged deleted keep their bytes too (they may be moved rows).
std::vector<PageRow> PageRows(const std::vector<std::uint8_t>& page, std::uint32_t number,
                              bool keep_moved = false) {
  const std::uint16_t count = ReadU16(page, kDataRowCountOffset);
  std::vector<PageRow> rows;
  rows.reserve(count);
  std::size_t previous_start = page.size();
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint16_t entry = ReadU16(page, kDataRowTableOffset + i * 2u);
    const std::size_t start = entry & kRowOffsetMask;
    const std::size_t end = previous_start;
    previous_start = start;
    PageRow row{static_cast<std::uint16_t>(entry & (kRowDeleted | kRowLookup)), {}};
    if (keep_moved || !(entry & kRowDeleted)) {
      const bool bad = start >= end || start < kDataRowTableOffset + count * 2u;
      if (bad && (entry & kRowDeleted)) {
        rows.push_back(row);  // a deleted row's bytes may be long gone
        continue;
      }
      if (bad) {
        Corrupt("row " + std::to_string(i) + " of page " + std::to_string(number) +
                " has a bad offset");
      }
      row.bytes = std::span(page).subspan(start, end - start);
    }
    rows.push_back(row);
  }
  return rows;
}

constexpr std::size_t kRowPointerSize = 4;  // row number, then a three-byte page number

}  // namespace

void ForEachRow(Pager& pager, const TableDef& table, const std::function<void(const Row&)>& visit) {
  // A row that no longer fits its page is moved: its old place (lookup flag) keeps a
  // four-byte pointer to the new one, and the new place carries the deleted flag so that a
  // scan does not meet it directly.
  for (std::uint32_t page = 1; page < pager.PageCount(); ++page) {
    PageData data = pager.Read(page);
    if ((*data)[0] != kDataPage || ReadU32(*data, kDataOwnerOffset) != table.page) continue;
    const auto rows = PageRows(*data, page);
    for (const PageRow& row : rows) {
      if (row.flags & kRowDeleted) continue;
      if (!(row.flags & kRowLookup)) {
        visit(Row(table, row.bytes));
        continue;
      }
      // Follow the pointers to where the row now lives.
      PageData target_page = data;
      PageRow target = row;
      for (int hops = 0; target.flags & kRowLookup; ++hops) {
        if (hops > 16 || target.bytes.size() < kRowPointerSize) {
          Corrupt("a moved row of page " + std::to_string(page) + " cannot be found");
        }
        const std::uint32_t pointer = ReadU32(target.bytes, 0);
        const std::uint32_t target_number = pointer >> 8;
        const std::uint16_t target_row = static_cast<std::uint16_t>(pointer & 0xFF);
        target_page = pager.Read(target_number);
        if ((*target_page)[0] != kDataPage) {
          Corrupt("a moved row of page " + std::to_string(page) + " points to a non-data page");
        }
        const auto target_rows = PageRows(*target_page, target_number, true);
        if (target_row >= target_rows.size()) {
          Corrupt("a moved row of page " + std::to_string(page) + " points past its target page");
        }
        target = target_rows[target_row];
      }
      visit(Row(table, target.bytes));
    }
  }
}

}  // namespace jetdb
