// Table definitions (their columns) and the rows stored on a table's data pages.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jetdb/pager.h"

namespace jetdb {

enum class ColumnType : std::uint8_t {
  kBoolean = 0x01,
  kByte = 0x02,
  kInteger = 0x03,
  kLong = 0x04,
  kCurrency = 0x05,
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kNumeric = 0x10,
};

// Column flag bits.
constexpr std::uint8_t kColumnFixed = 0x01;
constexpr std::uint8_t kColumnNullable = 0x02;
constexpr std::uint8_t kColumnAutoLong = 0x04;
constexpr std::uint8_t kColumnAutoGuid = 0x40;
constexpr std::uint8_t kColumnHyperlink = 0x80;

struct Column {
  std::string name;  // UTF-8
  ColumnType type{};
  std::uint16_t number = 0;        // position in the row's null mask (counts deleted columns)
  std::uint16_t var_index = 0;     // index in the row's variable-length offset table
  std::uint16_t fixed_offset = 0;  // offset of fixed-length data after the row's column count
  std::uint16_t size = 0;          // bytes (Text: two per character; 0 for Memo and OLE)
  std::uint8_t flags = 0;
  std::uint16_t misc = 0;           // precision/scale or text collation
  bool compressed_unicode = false;  // Text and Memo values may be stored compressed
  bool Fixed() const { return (flags & kColumnFixed) != 0; }
};

// Index flag bits (of the physical index).
constexpr std::uint8_t kIndexUnique = 0x01;
constexpr std::uint8_t kIndexIgnoreNulls = 0x02;
constexpr std::uint8_t kIndexRequired = 0x08;

// Logical index types.
constexpr std::uint8_t kIndexPrimaryKey = 0x01;
constexpr std::uint8_t kIndexForeignKey = 0x02;

struct IndexColumn {
  std::uint16_t column_number = 0;  // Column::number
  bool ascending = true;
};

// An index as the user sees it. Several logical indexes (a foreign key and a user index over
// the same columns) may share one physical index, whose pages hold the entries.
struct IndexDef {
  std::string name;                  // UTF-8
  std::uint32_t number = 0;          // logical index number
  std::uint32_t physical = 0;        // which physical index holds the entries
  std::uint8_t type = 0;             // kIndexPrimaryKey, kIndexForeignKey or 0
  std::vector<IndexColumn> columns;  // key columns, most significant first
  std::uint8_t flags = 0;            // kIndexUnique, kIndexIgnoreNulls, kIndexRequired
  std::uint32_t first_page = 0;      // the root page of the index tree
  std::uint32_t usage_map = 0;       // row pointer of the index's usage map
  bool Unique() const { return (flags & kIndexUnique) != 0; }
  bool IgnoreNulls() const { return (flags & kIndexIgnoreNulls) != 0; }
  bool Required() const { return (flags & kIndexRequired) != 0; }
  bool PrimaryKey() const { return type == kIndexPrimaryKey; }
  bool ForeignKey() const { return type == kIndexForeignKey; }
};

struct TableDef {
  std::uint32_t page = 0;
  std::uint32_t row_count = 0;
  std::uint32_t last_auto_number = 0;  // the last value an auto-number column was given
  std::uint8_t table_type = 0;         // 0x4E user, 0x53 system
  std::uint16_t max_columns = 0;
  std::uint16_t var_columns = 0;
  std::uint32_t index_count = 0;
  std::uint32_t real_index_count = 0;
  std::uint32_t usage_map = 0;       // row pointer of the map of the table's pages
  std::uint32_t free_space_map = 0;  // row pointer of the map of its pages with free space
  std::vector<Column> columns;       // in definition order
  std::vector<IndexDef> indexes;     // logical indexes, in definition order
  // The column with this exact name, or null.
  const Column* Find(const std::string& name) const;
  // The column with this name compared without regard to case (ASCII and Latin-1 letters,
  // as Jet compares names), or null.
  const Column* FindIgnoringCase(const std::string& name) const;
  const Column* ByNumber(std::uint16_t number) const;
};

// Names compared as Jet compares object names: without regard to the case of letters.
bool SameName(const std::string& a, const std::string& b);
// The column of columns named name, compared as SameName compares (null when none).
const Column* FindColumn(std::span<const Column> columns, const std::string& name);
// The UTF-8 text with ASCII and Latin-1 letters in lower case, as UTF-16.
std::u16string FoldCase(const std::string& utf8);

// Reads the table definition starting on page (following continuation pages).
TableDef ReadTableDef(Pager& pager, std::uint32_t page);

// One stored row: its bytes and the definition that decodes them.
// The decoded value of a Decimal (Numeric) column: a 128-bit magnitude and a scale.
struct Decimal {
  bool negative = false;
  std::uint8_t scale = 0;                // digits after the decimal point
  std::array<std::uint32_t, 4> words{};  // the magnitude, most significant word first
  std::string ToString() const;          // e.g. "-12.50" for scale 2
  double ToDouble() const;
};

// A Replication ID as Jet shows it: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string FormatGuid(std::span<const std::uint8_t> bytes);

class Row {
 public:
  Row(const TableDef& table, std::span<const std::uint8_t> bytes);

  bool IsNull(const Column& column) const;
  // The raw bytes of a column's value (empty when null). Booleans have no bytes; Memo and
  // OLE columns give their long value field.
  std::span<const std::uint8_t> Bytes(const Column& column) const;
  std::optional<std::int64_t> Integer(const Column& column) const;  // Byte/Integer/Long
  std::optional<bool> Boolean(const Column& column) const;
  std::optional<std::string> Text(const Column& column) const;  // Text in UTF-8
  // Currency: the amount in ten-thousandths.
  std::optional<std::int64_t> Currency(const Column& column) const;
  // Single, Double and Date/Time (days since 30 December 1899, the fraction the time).
  std::optional<double> Floating(const Column& column) const;
  std::optional<Decimal> Numeric(const Column& column) const;
  std::optional<std::string> Guid(const Column& column) const;
  // Memo and OLE: the whole long value.
  std::optional<std::vector<std::uint8_t>> LongValue(Pager& pager, const Column& column) const;

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint16_t stored_columns_ = 0;
  // Where variable column i starts (i up to the count: where the last one ends), read from
  // the row's offset table as needed; the table is checked once, when the row is made.
  std::uint16_t VarOffset(std::size_t i) const;

  std::span<const std::uint8_t> null_mask_;
  std::size_t var_table_end_ = 0;  // the offsets are stored backwards from here
  std::uint16_t var_count_ = 0;
};

// Calls visit for every live row of the table in the table's own order: the pages its usage
// map lists, ascending, and on each the rows in row table order; a moved row is visited where
// its pointer stands.
void ForEachRow(Pager& pager, const TableDef& table, const std::function<void(const Row&)>& visit);

// Decodes Jet 4 text bytes: UCS-2, or the compressed form that starts with FF FE.
std::string DecodeText(std::span<const std::uint8_t> bytes);
std::u16string DecodeTextUnits(std::span<const std::uint8_t> bytes);
// The same into units, whose storage is reused.
void DecodeTextUnits(std::span<const std::uint8_t> bytes, std::u16string& units);
std::string Utf16ToUtf8(std::u16string_view units);

}  // namespace jetdb
