// Table definitions (their columns) and the rows stored on a table's data pages.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
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
  std::uint16_t misc = 0;  // precision/scale or text collation
  bool Fixed() const { return (flags & kColumnFixed) != 0; }
};

struct TableDef {
  std::uint32_t page = 0;
  std::uint32_t row_count = 0;
  std::uint8_t table_type = 0;  // 0x4E user, 0x53 system
  std::uint16_t max_columns = 0;
  std::uint16_t var_columns = 0;
  std::uint32_t index_count = 0;
  std::uint32_t real_index_count = 0;
  std::vector<Column> columns;  // in definition order
  const Column* Find(const std::string& name) const;
};

// Reads the table definition starting on page (following continuation pages).
TableDef ReadTableDef(Pager& pager, std::uint32_t page);

// One stored row: its bytes and the definition that decodes them.
class Row {
 public:
  Row(const TableDef& table, std::span<const std::uint8_t> bytes);

  bool IsNull(const Column& column) const;
  // The raw bytes of a column's value (empty when null). Booleans have no bytes.
  std::span<const std::uint8_t> Bytes(const Column& column) const;
  std::optional<std::int64_t> Integer(const Column& column) const;  // Byte/Integer/Long
  std::optional<bool> Boolean(const Column& column) const;
  std::optional<std::string> Text(const Column& column) const;  // Text in UTF-8

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint16_t stored_columns_ = 0;
  std::span<const std::uint8_t> null_mask_;
  std::vector<std::uint16_t> var_offsets_;  // start of each variable column, then the end
};

// Calls visit for every live row of the table, in page order (rows on data pages owned by
// the table; overflow pointers are followed).
void ForEachRow(Pager& pager, const TableDef& table, const std::function<void(const Row&)>& visit);

// Decodes Jet 4 text bytes: UCS-2, or the compressed form that starts with FF FE.
std::string DecodeText(std::span<const std::uint8_t> bytes);

}  // namespace jetdb
