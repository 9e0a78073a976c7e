#include "jetdb/table.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "jetdb/bytes.h"
#include "jetdb/data_page.h"
#include "jetdb/error.h"
#include "jetdb/long_value.h"
#include "jetdb/usage_map.h"

namespace jetdb {

namespace {

constexpr std::uint8_t kTableDefPage = 0x02;
constexpr std::size_t kPageHeaderSize = 8;  // type, marker, free space, next page

// Where the parts of a Jet 4 table definition start.
constexpr std::size_t kRowCountOffset = 16;
constexpr std::size_t kAutoNumberOffset = 20;
constexpr std::size_t kTableTypeOffset = 40;
constexpr std::size_t kMaxColumnsOffset = 41;
constexpr std::size_t kVarColumnsOffset = 43;
constexpr std::size_t kColumnCountOffset = 45;
constexpr std::size_t kIndexCountOffset = 47;
constexpr std::size_t kRealIndexCountOffset = 51;
constexpr std::size_t kUsageMapOffset = 55;
constexpr std::size_t kFreeSpaceMapOffset = 59;
constexpr std::size_t kRealIndexesOffset = 63;
constexpr std::size_t kRealIndexSize = 12;
constexpr std::size_t kColumnSize = 25;
// After the column names: the physical indexes, then the logical ones, then their names.
constexpr std::size_t kPhysicalIndexSize = 52;
constexpr std::size_t kIndexColumnSlots = 10;
constexpr std::uint16_t kNoColumn = 0xFFFF;
constexpr std::size_t kLogicalIndexSize = 28;

// Jet allows 255 columns a table and names of 64 characters (UCS-2); anything beyond is
// damage, and refusing it early keeps a damaged definition from costing memory and time.
constexpr std::uint16_t kMaxColumns = 255;
constexpr std::uint32_t kMaxIndexes = 1000;
constexpr std::uint16_t kMaxNameBytes = 128;
// More definition pages than this is a loop or damage (255 columns fit in a few pages).
constexpr std::size_t kMaxDefinitionPages = 64;

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

}  // namespace

namespace {

// The character of utf8 at i in lower case (ASCII and Latin-1 letters); i moves past it.
char16_t FoldedAt(const std::string& utf8, std::size_t& i) {
  char16_t c = static_cast<unsigned char>(utf8[i++]);
  if (c >= 'A' && c <= 'Z') return static_cast<char16_t>(c + 32);
  if (c == 0xC3 && i < utf8.size()) {
    // U+00C0..U+00DE (but not U+00D7) fold to U+00E0..U+00FE.
    c = static_cast<char16_t>(0xC0 + (static_cast<unsigned char>(utf8[i++]) & 0x3F));
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c = static_cast<char16_t>(c + 32);
  }
  return c;
}

}  // namespace

std::u16string FoldCase(const std::string& utf8) {
  std::u16string folded;
  for (std::size_t i = 0; i < utf8.size();) folded += FoldedAt(utf8, i);
  return folded;
}

namespace {

std::string ReadName(std::span<const std::uint8_t> bytes, std::size_t& offset, const char* what) {
  const std::uint16_t length = ReadU16(bytes, offset);
  offset += 2;
  if (length > kMaxNameBytes) Corrupt(std::string("a ") + what + " name is too long");
  CheckRange(bytes, offset, length);
  std::string name = DecodeText(bytes.subspan(offset, length));
  offset += length;
  return name;
}

void ReadIndexes(std::span<const std::uint8_t> bytes, std::size_t offset, TableDef& table) {
  struct Physical {
    std::vector<IndexColumn> columns;
    std::uint32_t usage_map = 0;
    std::uint32_t first_page = 0;
    std::uint8_t flags = 0;
  };
  std::vector<Physical> physical(table.real_index_count);
  for (Physical& index : physical) {
    CheckRange(bytes, offset, kPhysicalIndexSize);
    for (std::size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
      const std::uint16_t number = ReadU16(bytes, offset + 4 + slot * 3);
      if (number == kNoColumn) continue;
      if (table.ByNumber(number) == nullptr) Corrupt("an index names a missing column");
      index.columns.push_back({number, ReadU8(bytes, offset + 6 + slot * 3) == 0x01});
    }
    index.usage_map = ReadU32(bytes, offset + 34);
    index.first_page = ReadU32(bytes, offset + 38);
    index.flags = ReadU8(bytes, offset + 46);
    offset += kPhysicalIndexSize;
  }
  table.indexes.resize(table.index_count);
  for (IndexDef& index : table.indexes) {
    CheckRange(bytes, offset, kLogicalIndexSize);
    index.number = ReadU32(bytes, offset + 4);
    index.physical = ReadU32(bytes, offset + 8);
    index.type = ReadU8(bytes, offset + 23);
    if (index.physical >= physical.size()) Corrupt("an index has no entries");
    const Physical& entries = physical[index.physical];
    index.columns = entries.columns;
    index.flags = entries.flags;
    index.first_page = entries.first_page;
    index.usage_map = entries.usage_map;
    offset += kLogicalIndexSize;
  }
  for (IndexDef& index : table.indexes) index.name = ReadName(bytes, offset, "index");
}

}  // namespace

std::u16string DecodeTextUnits(std::span<const std::uint8_t> bytes) {
  std::u16string units;
  DecodeTextUnits(bytes, units);
  return units;
}

void DecodeTextUnits(std::span<const std::uint8_t> bytes, std::u16string& units) {
  // Sized for the most units the bytes can hold, cut to what they do.
  units.resize(bytes.size());
  std::size_t count = 0;
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
        units[count++] = bytes[i];
        ++i;
      } else if (i + 1 < bytes.size()) {
        units[count++] = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        i += 2;
      } else {
        break;
      }
    }
  } else {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      units[count++] = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    }
  }
  units.resize(count);
}

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
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

std::string DecodeText(std::span<const std::uint8_t> bytes) {
  // The common case, compressed text with no switch to two-byte characters: every byte is a
  // Latin-1 character, one or two bytes of UTF-8.
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE &&
      std::find(bytes.begin() + 2, bytes.end(), 0) == bytes.end()) {
    std::string out;
    out.reserve(bytes.size() - 2);
    for (std::size_t i = 2; i < bytes.size();) {
      std::size_t ascii = i;  // ASCII runs go over as they are
      while (ascii < bytes.size() && bytes[ascii] < 0x80) ++ascii;
      out.append(reinterpret_cast<const char*>(bytes.data() + i), ascii - i);
      if (ascii < bytes.size()) AppendUtf8(out, bytes[ascii++]);
      i = ascii;
    }
    return out;
  }
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
    // Two bytes per character, converted as they come; only surrogates take the general way.
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      const std::uint32_t unit = bytes[i] | (bytes[i + 1] << 8);
      if (unit >= 0xD800 && unit < 0xE000) return Utf16ToUtf8(DecodeTextUnits(bytes));
      AppendUtf8(out, unit);
    }
    return out;
  }
  return Utf16ToUtf8(DecodeTextUnits(bytes));
}

bool SameName(const std::string& a, const std::string& b) {
  // Folded a character at a time: names are compared on every insert.
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (FoldedAt(a, i) != FoldedAt(b, j)) return false;
  }
  return i == a.size() && j == b.size();
}

const Column* TableDef::Find(const std::string& name) const {
  for (const Column& column : columns) {
    if (column.name == name) return &column;
  }
  return nullptr;
}

const Column* FindColumn(std::span<const Column> columns, const std::string& name) {
  // Most callers spell the name as the table does; that costs one pass without folding.
  for (const Column& column : columns) {
    if (column.name == name) return &column;
  }
  for (const Column& column : columns) {
    if (SameName(column.name, name)) return &column;
  }
  return nullptr;
}

const Column* TableDef::FindIgnoringCase(const std::string& name) const {
  return FindColumn(columns, name);
}

const Column* TableDef::ByNumber(std::uint16_t number) const {
  for (const Column& column : columns) {
    if (column.number == number) return &column;
  }
  return nullptr;
}

TableDef ReadTableDef(Pager& pager, std::uint32_t page) {
  // The definition continues across pages; join their contents after the page headers.
  std::vector<std::uint8_t> bytes;
  std::uint32_t current = page;
  for (std::size_t pages = 0; current != 0; ++pages) {
    if (pages == kMaxDefinitionPages) Corrupt("table definition pages form a loop");
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
  table.last_auto_number = ReadU32(bytes, kAutoNumberOffset);
  table.table_type = ReadU8(bytes, kTableTypeOffset);
  table.max_columns = ReadU16(bytes, kMaxColumnsOffset);
  table.var_columns = ReadU16(bytes, kVarColumnsOffset);
  const std::uint16_t column_count = ReadU16(bytes, kColumnCountOffset);
  table.index_count = ReadU32(bytes, kIndexCountOffset);
  table.real_index_count = ReadU32(bytes, kRealIndexCountOffset);
  table.usage_map = ReadU32(bytes, kUsageMapOffset);
  table.free_space_map = ReadU32(bytes, kFreeSpaceMapOffset);
  if (column_count > kMaxColumns) Corrupt("a table has too many columns");
  if (table.index_count > kMaxIndexes || table.real_index_count > kMaxIndexes) {
    Corrupt("a table has too many indexes");
  }

  std::size_t offset = kRealIndexesOffset + table.real_index_count * kRealIndexSize;
  table.columns.resize(column_count);
  for (Column& column : table.columns) {
    CheckRange(bytes, offset, kColumnSize);
    column.type = static_cast<ColumnType>(bytes[offset]);
    column.number = ReadU16(bytes, offset + 5);
    column.var_index = ReadU16(bytes, offset + 7);
    column.misc = ReadU16(bytes, offset + 11);
    column.flags = ReadU8(bytes, offset + 15);
    column.compressed_unicode = (ReadU8(bytes, offset + 16) & 0x01) != 0;
    column.fixed_offset = ReadU16(bytes, offset + 21);
    column.size = ReadU16(bytes, offset + 23);
    offset += kColumnSize;
  }
  for (Column& column : table.columns) column.name = ReadName(bytes, offset, "column");
  ReadIndexes(bytes, offset, table);
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
  var_table_end_ = end - 2;
  var_count_ = var_count;
  bool in_order = var_count == 0 || VarOffset(var_count) <= end;
  for (std::size_t i = 0; i < var_count && in_order; ++i)
    in_order = VarOffset(i) <= VarOffset(i + 1);
  if (!in_order) Corrupt("a row's variable column offsets are out of order");
}

std::uint16_t Row::VarOffset(std::size_t i) const {
  return ReadU16(bytes_, var_table_end_ - (i + 1) * 2);
}

bool Row::IsNull(const Column& column) const {
  if (column.number >= stored_columns_) return true;  // added after the row was written
  return (null_mask_[column.number / 8] & (1u << (column.number % 8))) == 0;
}

std::span<const std::uint8_t> Row::Bytes(const Column& column) const {
  if (column.type == ColumnType::kBoolean || IsNull(column)) return {};
  if (column.Fixed()) {
    const std::size_t start = 2u + column.fixed_offset;
    CheckRange(bytes_, start, column.size);
    return bytes_.subspan(start, column.size);
  }
  if (column.var_index >= var_count_) return {};
  const std::size_t start = VarOffset(column.var_index);
  return bytes_.subspan(start, VarOffset(column.var_index + 1u) - start);
}

namespace {

[[noreturn]] void WrongType(const Column& column, const char* what) {
  throw Error("Column '" + column.name + "' is not " + what + " column.");
}

}  // namespace

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
      WrongType(column, "an integer");
  }
}

std::optional<bool> Row::Boolean(const Column& column) const {
  if (column.type != ColumnType::kBoolean) WrongType(column, "a Yes/No");
  // Yes/No values live in the null mask: a set bit is Yes.
  if (column.number >= stored_columns_) return std::nullopt;
  return !IsNull(column);
}

std::optional<std::string> Row::Text(const Column& column) const {
  if (column.type != ColumnType::kText) WrongType(column, "a Text");
  if (IsNull(column)) return std::nullopt;
  return DecodeText(Bytes(column));
}

std::optional<std::int64_t> Row::Currency(const Column& column) const {
  if (column.type != ColumnType::kCurrency) WrongType(column, "a Currency");
  if (IsNull(column)) return std::nullopt;
  return static_cast<std::int64_t>(ReadU64(Bytes(column), 0));
}

std::optional<double> Row::Floating(const Column& column) const {
  if (IsNull(column)) return std::nullopt;
  switch (column.type) {
    case ColumnType::kSingle:
      return std::bit_cast<float>(ReadU32(Bytes(column), 0));
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return std::bit_cast<double>(ReadU64(Bytes(column), 0));
    default:
      WrongType(column, "a floating point");
  }
}

std::optional<Decimal> Row::Numeric(const Column& column) const {
  if (column.type != ColumnType::kNumeric) WrongType(column, "a Decimal");
  if (IsNull(column)) return std::nullopt;
  // A sign byte, then the magnitude as four little-endian words, the most significant first.
  const auto data = Bytes(column);
  Decimal value;
  value.negative = (ReadU8(data, 0) & 0x80) != 0;
  value.scale = static_cast<std::uint8_t>(column.misc >> 8);
  for (std::size_t i = 0; i < 4; ++i) value.words[i] = ReadU32(data, 1 + i * 4);
  return value;
}

std::optional<std::string> Row::Guid(const Column& column) const {
  if (column.type != ColumnType::kGuid) WrongType(column, "a Replication ID");
  if (IsNull(column)) return std::nullopt;
  return FormatGuid(Bytes(column));
}

std::optional<std::vector<std::uint8_t>> Row::LongValue(Pager& pager, const Column& column) const {
  if (column.type != ColumnType::kMemo && column.type != ColumnType::kOle) {
    WrongType(column, "a Memo or OLE");
  }
  if (IsNull(column)) return std::nullopt;
  const auto field = Bytes(column);
  if (field.empty()) return std::vector<std::uint8_t>{};
  return ReadLongValue(pager, field);
}

std::string FormatGuid(std::span<const std::uint8_t> bytes) {
  CheckRange(bytes, 0, 16);
  // The first three groups are stored little-endian, the last two as bytes.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", bytes[kOrder[i]]);
    text += hex;
  }
  return text + "}";
}

std::string Decimal::ToString() const {
  // Divide the 128-bit magnitude by ten repeatedly to get its digits.
  std::array<std::uint32_t, 4> rest = words;
  std::string digits;
  while (rest != std::array<std::uint32_t, 4>{}) {
    std::uint64_t remainder = 0;
    for (std::uint32_t& word : rest) {
      const std::uint64_t part = (remainder << 32) | word;
      word = static_cast<std::uint32_t>(part / 10);
      remainder = part % 10;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
  }
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - scale, ".");
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return (negative && !zero ? "-" : "") + digits;
}

double Decimal::ToDouble() const {
  double value = 0;
  for (std::uint32_t word : words) value = value * 4294967296.0 + word;
  value /= std::pow(10.0, scale);
  return negative ? -value : value;
}

void ForEachRow(Pager& pager, const TableDef& table, const std::function<void(const Row&)>& visit) {
  for (std::uint32_t page : ReadUsageMap(pager, table.usage_map)) {
    PageData data = pager.Read(page);
    if ((*data)[0] != kDataPageType || DataPageOwner(*data) != table.page) continue;
    for (const RowSlot& slot : ReadRowSlots(*data, page)) {
      if (slot.Deleted()) continue;
      const LocatedRow row = FollowOverflow(pager, {data, slot});
      visit(Row(table, row.slot.bytes));
    }
  }
}

}  // namespace jetdb
