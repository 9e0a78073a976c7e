// Values held in memory by the data sets: one cell per column of a record (or of the row being
// inserted), tagged with how it reads, and the conversions the fields make of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "jetdb/jetdb.h"

namespace framework::data {

struct Cell {
  enum class Kind : std::uint8_t {
    kNull,
    kBoolean,   // integer: 1 or 0
    kInteger,   // Byte, Integer, Long
    kCurrency,  // integer: ten-thousandths
    kSingle,    // number
    kDouble,    // number
    kDateTime,  // number: days since 30 December 1899
    kText,      // text: UTF-8 (Text and Memo)
    kNumeric,   // text as the engine shows it, number its value
    kGuid,      // text
    kBytes,     // text holds the bytes (Binary, OLE)
  };
  Kind kind = Kind::kNull;
  union {  // by kind; a hundred thousand rows of cells are held at once
    std::int64_t integer = 0;
    double number;
  };
  std::string text;
};

// The value of column in a stored row.
Cell ReadCell(jetdb::Pager& pager, const jetdb::Row& row, const jetdb::Column& column);
// Whether reading back what the writer stored for cell in column gives cell itself: its kind is
// the column's own, so the writer stores it unchanged (or refuses it). Others are read back.
bool StoredAsGiven(const Cell& cell, const jetdb::Column& column);
// Sets value to what is stored for a cell (converted to the column's type by the writer),
// keeping value's text and bytes buffers for the next row.
void AssignValue(jetdb::Value& value, const Cell& cell);

// The reads a field makes; nothing when the cell cannot be read as that type. Date/Time
// values out of Jet's range are a jetdb::Error.
std::optional<std::string> CellText(const Cell& cell);
std::optional<std::int64_t> CellInteger(const Cell& cell);
std::optional<double> CellNumber(const Cell& cell);
std::optional<double> CellDateTime(const Cell& cell);
std::optional<bool> CellBoolean(const Cell& cell);

// A key under which equal link values (of either data set of a master/detail pair) meet:
// numbers of any type by value, text without regard to case. Null has none.
std::optional<std::string> LinkKey(const Cell& cell);

// Orders cells as the engine orders a column: nulls first, then numbers or text compared
// without regard to case.
struct SortKey {
  bool present = false;
  double number = 0;
  std::u16string text;
  auto operator<=>(const SortKey&) const = default;
};
SortKey MakeSortKey(const Cell& cell);

}  // namespace framework::data
