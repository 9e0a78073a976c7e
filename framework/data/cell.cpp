#include "framework/data/cell.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace framework::data {

namespace {

using Kind = Cell::Kind;

std::string FormatNumber(double value, int digits) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

// A Currency amount without trailing zeros, as the engine shows it: "3.5", "-2".
std::string TrimmedCurrency(std::int64_t amount) {
  std::string text = jetdb::FormatCurrency(amount);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

// A number written as text, blanks around it allowed.
template <typename Number>
std::optional<Number> ParseNumber(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const char* end = text.data() + text.find_last_not_of(' ') + 1;
  Number value{};
  const auto [stop, error] = std::from_chars(text.data() + first, end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<std::int64_t> Round(double value) {
  const double rounded = std::nearbyint(value);  // halves to even, as Jet rounds
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) return std::nullopt;
  return static_cast<std::int64_t>(rounded);
}

}  // namespace

Cell ReadCell(jetdb::Pager& pager, const jetdb::Row& row, const jetdb::Column& column) {
  using jetdb::ColumnType;
  Cell cell;
  if (column.type == ColumnType::kBoolean) {
    // Yes/No lives in the null mask: it is never null on its own.
    if (const auto value = row.Boolean(column)) {
      cell.kind = Kind::kBoolean;
      cell.integer = *value ? 1 : 0;
    }
    return cell;
  }
  if (row.IsNull(column)) return cell;
  switch (column.type) {
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong:
      cell.kind = Kind::kInteger;
      cell.integer = *row.Integer(column);
      break;
    case ColumnType::kCurrency:
      cell.kind = Kind::kCurrency;
      cell.integer = *row.Currency(column);
      break;
    case ColumnType::kSingle:
      cell.kind = Kind::kSingle;
      cell.number = *row.Floating(column);
      break;
    case ColumnType::kDouble:
      cell.kind = Kind::kDouble;
      cell.number = *row.Floating(column);
      break;
    case ColumnType::kDateTime:
      cell.kind = Kind::kDateTime;
      cell.number = *row.Floating(column);
      break;
    case ColumnType::kText:
      cell.kind = Kind::kText;
      cell.text = jetdb::DecodeText(row.Bytes(column));
      break;
    case ColumnType::kMemo: {
      cell.kind = Kind::kText;
      const auto bytes = row.LongValue(pager, column);
      if (bytes) cell.text = jetdb::DecodeText(*bytes);
      break;
    }
    case ColumnType::kNumeric: {
      const jetdb::Decimal value = *row.Numeric(column);
      cell.kind = Kind::kNumeric;
      cell.text = value.ToString();
      cell.number = value.ToDouble();
      break;
    }
    case ColumnType::kGuid:
      cell.kind = Kind::kGuid;
      cell.text = *row.Guid(column);
      break;
    case ColumnType::kOle: {
      cell.kind = Kind::kBytes;
      const auto bytes = row.LongValue(pager, column);
      if (bytes) cell.text.assign(bytes->begin(), bytes->end());
      break;
    }
    default: {
      cell.kind = Kind::kBytes;
      const auto bytes = row.Bytes(column);
      cell.text.assign(bytes.begin(), bytes.end());
      break;
    }
  }
  return cell;
}

bool StoredAsGiven(const Cell& cell, const jetdb::Column& column) {
  using jetdb::ColumnType;
  switch (cell.kind) {
    case Kind::kNull:
      // The writer fills in auto-numbers, and Yes/No is never null.
      return column.type != ColumnType::kBoolean &&
             (column.flags & (jetdb::kColumnAutoLong | jetdb::kColumnAutoGuid)) == 0;
    case Kind::kBoolean:
      return column.type == ColumnType::kBoolean;
    case Kind::kInteger:
      return column.type == ColumnType::kByte || column.type == ColumnType::kInteger ||
             column.type == ColumnType::kLong;
    case Kind::kCurrency:
      return column.type == ColumnType::kCurrency;
    case Kind::kDouble:
      return column.type == ColumnType::kDouble;
    case Kind::kDateTime:
      return column.type == ColumnType::kDateTime;
    case Kind::kText:
      // The writer takes only valid UTF-8, and Jet's text holds any of it.
      return column.type == ColumnType::kText || column.type == ColumnType::kMemo;
    default:
      return false;
  }
}

void AssignValue(jetdb::Value& value, const Cell& cell) {
  using ValueKind = jetdb::Value::Kind;
  value.boolean = false;
  value.integer = 0;
  value.number = 0;
  value.text.clear();
  value.bytes.clear();
  switch (cell.kind) {
    case Kind::kNull:
      value.kind = ValueKind::kNull;
      break;
    case Kind::kBoolean:
      value.kind = ValueKind::kBoolean;
      value.boolean = cell.integer != 0;
      break;
    case Kind::kInteger:
      value.kind = ValueKind::kInteger;
      value.integer = cell.integer;
      break;
    case Kind::kCurrency:
      value.kind = ValueKind::kCurrency;
      value.integer = cell.integer;
      break;
    case Kind::kSingle:
    case Kind::kDouble:
      value.kind = ValueKind::kNumber;
      value.number = cell.number;
      break;
    case Kind::kDateTime:
      value.kind = ValueKind::kDateTime;
      value.number = cell.number;
      break;
    case Kind::kBytes:
      value.kind = ValueKind::kBytes;
      value.bytes.assign(cell.text.begin(), cell.text.end());
      break;
    default:
      value.kind = ValueKind::kText;
      value.text = cell.text;
      break;
  }
}

std::optional<std::string> CellText(const Cell& cell) {
  switch (cell.kind) {
    case Kind::kNull:
      return std::string();
    case Kind::kBoolean:
      return cell.integer != 0 ? "True" : "False";
    case Kind::kInteger:
      return std::to_string(cell.integer);
    case Kind::kCurrency:
      return TrimmedCurrency(cell.integer);
    case Kind::kSingle:
      return FormatNumber(cell.number, 7);
    case Kind::kDouble:
      return FormatNumber(cell.number, 15);
    case Kind::kDateTime:
      return jetdb::FormatDateTime(cell.number);
    case Kind::kText:
    case Kind::kNumeric:
    case Kind::kGuid:
      return cell.text;
    case Kind::kBytes:
      break;
  }
  return std::nullopt;
}

std::optional<std::int64_t> CellInteger(const Cell& cell) {
  switch (cell.kind) {
    case Kind::kNull:
      return 0;
    case Kind::kBoolean:
      return cell.integer != 0 ? -1 : 0;
    case Kind::kInteger:
      return cell.integer;
    case Kind::kCurrency: {
      // The nearest whole amount, halves to even, in exact integer arithmetic.
      std::int64_t whole = cell.integer / 10000;
      const std::int64_t rest = cell.integer % 10000;
      if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
      if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
      return whole;
    }
    case Kind::kSingle:
    case Kind::kDouble:
    case Kind::kDateTime:
    case Kind::kNumeric:
      return Round(cell.number);
    case Kind::kText:
      return ParseNumber<std::int64_t>(cell.text);
    default:
      return std::nullopt;
  }
}

std::optional<double> CellNumber(const Cell& cell) {
  switch (cell.kind) {
    case Kind::kNull:
      return 0.0;
    case Kind::kBoolean:
      return cell.integer != 0 ? -1.0 : 0.0;
    case Kind::kInteger:
      return static_cast<double>(cell.integer);
    case Kind::kCurrency:
      return static_cast<double>(cell.integer) / 10000.0;
    case Kind::kSingle:
    case Kind::kDouble:
    case Kind::kDateTime:
    case Kind::kNumeric:
      return cell.number;
    case Kind::kText:
      return ParseNumber<double>(cell.text);
    default:
      return std::nullopt;
  }
}

std::optional<double> CellDateTime(const Cell& cell) {
  if (cell.kind == Kind::kText) return std::nullopt;
  return CellNumber(cell);
}

std::optional<bool> CellBoolean(const Cell& cell) {
  if (cell.kind == Kind::kBoolean) return cell.integer != 0;
  if (cell.kind == Kind::kText) {
    if (cell.text.empty()) return false;
    if (jetdb::SameName(cell.text, "True") || jetdb::SameName(cell.text, "Yes")) return true;
    if (jetdb::SameName(cell.text, "False") || jetdb::SameName(cell.text, "No")) return false;
  }
  const auto number = CellNumber(cell);
  if (!number) return std::nullopt;
  return *number != 0.0;
}

std::optional<std::string> LinkKey(const Cell& cell) {
  switch (cell.kind) {
    case Kind::kNull:
      return std::nullopt;
    case Kind::kText:
    case Kind::kGuid: {
      const std::u16string folded = jetdb::FoldCase(cell.text);
      std::string key(1 + folded.size() * 2, 't');
      std::memcpy(key.data() + 1, folded.data(), folded.size() * 2);
      return key;
    }
    case Kind::kBytes:
      return "b" + cell.text;
    default: {
      double value = *CellNumber(cell);
      if (value == 0) value = 0;  // -0 meets 0
      std::string key(1 + sizeof value, 'n');
      std::memcpy(key.data() + 1, &value, sizeof value);
      return key;
    }
  }
}

SortKey MakeSortKey(const Cell& cell) {
  SortKey key;
  switch (cell.kind) {
    case Kind::kNull:
      break;
    case Kind::kText:
    case Kind::kGuid:
    case Kind::kBytes:
      key.present = true;
      key.text = jetdb::FoldCase(cell.text);
      break;
    default:
      key.present = true;
      key.number = *CellNumber(cell);
      if (std::isnan(key.number)) key.number = -HUGE_VAL;  // keeps the order strict
      break;
  }
  return key;
}

}  // namespace framework::data
