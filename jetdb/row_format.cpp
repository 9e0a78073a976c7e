#include "jetdb/row_format.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

#include "jetdb/bytes.h"
#include "jetdb/error.h"
#include "jetdb/values.h"

namespace jetdb {

namespace {

[[noreturn]] void CannotHold(const Column& column, const std::string& why) {
  throw Error("Column '" + column.name + "' cannot hold this value: " + why + ".");
}

std::vector<std::uint8_t> LittleEndian(std::uint64_t value, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return bytes;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

template <typename Number>
bool Parse(const std::string& text, Number& value) {
  const std::string trimmed = Trimmed(text);
  const char* end = trimmed.data() + trimmed.size();
  const auto [stop, error] = std::from_chars(trimmed.data(), end, value);
  return !trimmed.empty() && error == std::errc() && stop == end;
}

// "YYYY-MM-DD", optionally followed by " HH:MM" or " HH:MM:SS".
bool ParseDate(const std::string& text, double& days) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  const std::string trimmed = Trimmed(text);
  const int got = std::sscanf(trimmed.c_str(), "%d-%d-%d %d:%d:%d%c", &year, &month, &day, &hour,
                              &minute, &second, &tail);
  if (got != 3 && got != 5 && got != 6) return false;
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
      minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0) {
    return false;
  }
  days = DaysFromDate(year, month, day, hour, minute, second);
  // A day that the month does not have (31 April) comes back as another date.
  const DateTimeParts parts = SplitDateTime(days);
  return parts.day == day && parts.month == month;
}

double AsNumber(const Column& column, const Value& value) {
  switch (value.kind) {
    case Value::Kind::kBoolean:
      return value.boolean ? -1.0 : 0.0;
    case Value::Kind::kInteger:
      return static_cast<double>(value.integer);
    case Value::Kind::kCurrency:
      return static_cast<double>(value.integer) / 10000.0;
    case Value::Kind::kNumber:
    case Value::Kind::kDateTime:
      return value.number;
    case Value::Kind::kText: {
      double number = 0;
      if (!Parse(value.text, number)) CannotHold(column, "'" + value.text + "' is not a number");
      return number;
    }
    default:
      CannotHold(column, "bytes are not a number");
  }
}

std::int64_t AsInteger(const Column& column, const Value& value) {
  if (value.kind == Value::Kind::kInteger) return value.integer;
  if (value.kind == Value::Kind::kText) {
    std::int64_t number = 0;
    if (Parse(value.text, number)) return number;
  }
  const double number = std::nearbyint(AsNumber(column, value));  // halves to even
  if (!(number >= -9223372036854775808.0 && number < 9223372036854775808.0)) {
    CannotHold(column, "the number is out of range");
  }
  return static_cast<std::int64_t>(number);
}

std::int64_t AsCurrency(const Column& column, const Value& value) {
  switch (value.kind) {
    case Value::Kind::kCurrency:
      return value.integer;
    case Value::Kind::kInteger:
    case Value::Kind::kBoolean: {
      const std::int64_t whole =
          value.kind == Value::Kind::kBoolean ? (value.boolean ? -1 : 0) : value.integer;
      if (whole > std::numeric_limits<std::int64_t>::max() / 10000 ||
          whole < std::numeric_limits<std::int64_t>::min() / 10000) {
        CannotHold(column, "the amount is out of range");
      }
      return whole * 10000;
    }
    default: {
      const double amount = std::nearbyint(AsNumber(column, value) * 10000.0);
      if (!(amount >= -9223372036854775808.0 && amount < 9223372036854775808.0)) {
        CannotHold(column, "the amount is out of range");
      }
      return static_cast<std::int64_t>(amount);
    }
  }
}

bool AsBoolean(const Column& column, const Value& value) {
  if (value.kind == Value::Kind::kBoolean) return value.boolean;
  if (value.kind == Value::Kind::kText) {
    const std::string text = Trimmed(value.text);
    if (SameName(text, "true") || SameName(text, "yes") || SameName(text, "on")) return true;
    if (SameName(text, "false") || SameName(text, "no") || SameName(text, "off")) return false;
  }
  return AsNumber(column, value) != 0.0;
}

}  // namespace

std::string ValueText(const Value& value) {
  char text[64];
  switch (value.kind) {
    case Value::Kind::kBoolean:
      return value.boolean ? "True" : "False";
    case Value::Kind::kInteger:
      return std::to_string(value.integer);
    case Value::Kind::kCurrency:
      return FormatCurrency(value.integer);
    case Value::Kind::kNumber:
      std::snprintf(text, sizeof text, "%.15g", value.number);
      return text;
    case Value::Kind::kDateTime:
      return FormatDateTime(value.number);
    default:
      return value.text;
  }
}

namespace {

std::vector<std::uint8_t> ParseGuid(const Column& column, const std::string& text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}; the first three groups are stored little-endian.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string hex;
  for (char c : Trimmed(text)) {
    if (c != '{' && c != '}' && c != '-') hex += c;
  }
  std::vector<std::uint8_t> bytes(16);
  if (hex.size() != 32) CannotHold(column, "'" + text + "' is not a Replication ID");
  for (int i = 0; i < 16; ++i) {
    unsigned value = 0;
    const auto [stop, error] =
        std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, value, 16);
    if (error != std::errc() || stop != hex.data() + 2 * i + 2) {
      CannotHold(column, "'" + text + "' is not a Replication ID");
    }
    bytes[kOrder[i]] = static_cast<std::uint8_t>(value);
  }
  return bytes;
}

}  // namespace

double DaysFromDate(int year, int month, int day, int hour, int minute, int second) {
  // Days from 1 March of year 0 (proleptic Gregorian), then moved to 30 December 1899.
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const std::int64_t days = era * 146097 + day_of_era - 693899;
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before 1899-12-30 the fraction still counts forward from midnight, away from zero:
  // -1.25 is 06:00 on 29 December.
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  // Never more units than bytes: sized once, cut to what was written.
  std::u16string units(utf8.size(), u'\0');
  std::size_t count = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    std::uint32_t code = 0;
    std::size_t length = 0;
    if (lead < 0x80) {
      code = lead;
      length = 1;
    } else if ((lead & 0xE0) == 0xC0) {
      code = lead & 0x1F;
      length = 2;
    } else if ((lead & 0xF0) == 0xE0) {
      code = lead & 0x0F;
      length = 3;
    } else if ((lead & 0xF8) == 0xF0) {
      code = lead & 0x07;
      length = 4;
    } else {
      throw Error("A text value is not valid UTF-8.");
    }
    if (i + length > utf8.size()) throw Error("A text value is not valid UTF-8.");
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) throw Error("A text value is not valid UTF-8.");
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
      throw Error("A text value is not valid UTF-8.");
    }
    if (code >= 0x10000) {
      units[count++] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      units[count++] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      units[count++] = static_cast<char16_t>(code);
    }
    i += length;
  }
  units.resize(count);
  return units;
}

namespace {

std::vector<std::uint8_t> EncodeSwitchingText(std::u16string_view units) {
  // A zero byte switches between one- and two-byte characters, so a character of value 0,
  // or a two-byte one whose first byte is 0, cannot be written this way.
  std::vector<std::uint8_t> bytes{0xFF, 0xFE};
  bool one_byte = true;
  for (char16_t unit : units) {
    const bool fits_one_byte = unit != 0 && unit <= 0xFF;
    if (fits_one_byte != one_byte) {
      bytes.push_back(0);
      one_byte = fits_one_byte;
    }
    if (one_byte) {
      bytes.push_back(static_cast<std::uint8_t>(unit));
    } else if ((unit & 0xFF) == 0) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(unit));
      throw Error(std::string("A text that begins with U+FEFF cannot hold the character U+") +
                  code + ".");
    } else {
      bytes.push_back(static_cast<std::uint8_t>(unit));
      bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
  }
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> EncodeTextBytes(std::u16string_view units, bool compress) {
  std::vector<std::uint8_t> bytes;
  bool one_byte = compress && units.size() > 2;
  for (char16_t unit : units) {
    if (unit == 0 || unit > 0xFF) one_byte = false;
  }
  if (one_byte) {
    bytes.reserve(units.size() + 2);
    bytes.push_back(0xFF);
    bytes.push_back(0xFE);
    for (char16_t unit : units) bytes.push_back(static_cast<std::uint8_t>(unit));
    return bytes;
  }
  // Two-byte text that begins with U+FEFF would start FF FE, the mark of compressed text,
  // and read back as something else. Such text goes compressed, switching to two-byte
  // characters where it must; a character that neither way can hold is refused.
  if (!units.empty() && units[0] == 0xFEFF) return EncodeSwitchingText(units);
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

Field ConvertValue(const Column& column, const Value& value) {
  Field field;
  if (value.IsNull()) return field;
  field.null = false;
  switch (column.type) {
    case ColumnType::kBoolean:
      field.yes = AsBoolean(column, value);
      break;
    case ColumnType::kByte:
    case ColumnType::kInteger:
    case ColumnType::kLong: {
      const std::int64_t number = AsInteger(column, value);
      const auto [low, high, size] =
          column.type == ColumnType::kByte ? std::tuple<std::int64_t, std::int64_t, int>{0, 255, 1}
          : column.type == ColumnType::kInteger
              ? std::tuple<std::int64_t, std::int64_t, int>{-32768, 32767, 2}
              : std::tuple<std::int64_t, std::int64_t, int>{
                    std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max(), 4};
      if (number < low || number > high) {
        CannotHold(column, std::to_string(number) + " is out of its range");
      }
      field.bytes = LittleEndian(static_cast<std::uint64_t>(number), size);
      break;
    }
    case ColumnType::kCurrency:
      field.bytes = LittleEndian(static_cast<std::uint64_t>(AsCurrency(column, value)), 8);
      break;
    case ColumnType::kSingle: {
      const double number = AsNumber(column, value);
      if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<float>::max()) {
        CannotHold(column, "the number is too large for a Single");
      }
      field.bytes = LittleEndian(std::bit_cast<std::uint32_t>(static_cast<float>(number)), 4);
      break;
    }
    case ColumnType::kDouble:
      field.bytes = LittleEndian(std::bit_cast<std::uint64_t>(AsNumber(column, value)), 8);
      break;
    case ColumnType::kDateTime: {
      double days = 0;
      if (value.kind == Value::Kind::kText) {
        if (!ParseDate(value.text, days)) CannotHold(column, "'" + value.text + "' is not a date");
      } else {
        days = AsNumber(column, value);
      }
      SplitDateTime(days);  // an Error outside the years 100 to 9999
      field.bytes = LittleEndian(std::bit_cast<std::uint64_t>(days), 8);
      break;
    }
    case ColumnType::kText: {
      if (value.kind == Value::Kind::kBytes) CannotHold(column, "bytes are not text");
      // Text goes over as it is, without a copy; other values are written as text first.
      const std::u16string units = value.kind == Value::Kind::kText ? Utf8ToUtf16(value.text)
                                                                    : Utf8ToUtf16(ValueText(value));
      if (units.size() * 2 > column.size) {
        CannotHold(column,
                   "the text is longer than " + std::to_string(column.size / 2) + " characters");
      }
      field.bytes = EncodeTextBytes(units, column.compressed_unicode);
      break;
    }
    case ColumnType::kBinary:
      if (value.kind != Value::Kind::kBytes) CannotHold(column, "it takes bytes");
      if (value.bytes.size() > column.size) CannotHold(column, "too many bytes");
      field.bytes = value.bytes;
      break;
    case ColumnType::kGuid:
      if (value.kind == Value::Kind::kBytes && value.bytes.size() == 16) {
        field.bytes = value.bytes;
      } else {
        field.bytes = ParseGuid(column, ValueText(value));
      }
      break;
    default:
      CannotHold(column, "columns of this type cannot be written");
  }
  return field;
}

namespace {
constexpr std::size_t kMaxStoredColumns = 1024;
}  // namespace

std::vector<std::uint8_t> EncodeRow(const TableDef& table, const std::vector<Field>& fields) {
  // Column numbers count deleted columns: the row holds as many as the highest number.
  std::uint16_t stored = 0;
  std::size_t fixed_size = 0;
  std::size_t var_count = 0;
  for (const Column& column : table.columns) {
    stored = std::max<std::uint16_t>(stored, static_cast<std::uint16_t>(column.number + 1));
    if (column.type == ColumnType::kBoolean) continue;
    if (column.Fixed()) {
      fixed_size = std::max<std::size_t>(fixed_size, column.fixed_offset + column.size);
    } else {
      var_count = std::max<std::size_t>(var_count, column.var_index + 1u);
    }
  }
  stored = std::max(stored, table.max_columns);
  const std::size_t mask_size = (stored + 7u) / 8u;
  // Sized once: the fixed part, the variable data, its offsets and count, the null mask.
  std::size_t var_size = 0;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (!table.columns[i].Fixed()) var_size += fields[i].bytes.size();
  }
  std::vector<std::uint8_t> row;
  row.reserve(2 + fixed_size + var_size + (var_count + 2) * 2 + mask_size);
  row.resize(2 + fixed_size);
  WriteU16(row, 0, stored);
  // Access stores at most 255 columns a table, deleted ones included until it compacts:
  // the row's parts fit the stack.
  if (stored > kMaxStoredColumns || var_count > kMaxStoredColumns) {
    throw Error("The record has " + std::to_string(stored) + " columns; at most " +
                std::to_string(kMaxStoredColumns) + " can be written.");
  }
  std::array<std::uint8_t, kMaxStoredColumns / 8> mask{};
  std::array<const Field*, kMaxStoredColumns> var_fields{};
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const Column& column = table.columns[i];
    const Field& field = fields[i];
    const bool bit = column.type == ColumnType::kBoolean ? (!field.null && field.yes) : !field.null;
    if (bit) mask[column.number / 8] |= static_cast<std::uint8_t>(1u << (column.number % 8));
    if (field.null || column.type == ColumnType::kBoolean) continue;
    if (column.Fixed()) {
      std::copy_n(field.bytes.begin(), std::min<std::size_t>(field.bytes.size(), column.size),
                  row.begin() + 2 + column.fixed_offset);
    } else {
      var_fields[column.var_index] = &field;
    }
  }
  if (var_count > 0) {
    std::array<std::uint16_t, kMaxStoredColumns + 1> offsets;
    for (std::size_t i = 0; i < var_count; ++i) {
      offsets[i] = static_cast<std::uint16_t>(std::min<std::size_t>(row.size(), 0xFFFF));
      if (var_fields[i] != nullptr) {
        row.insert(row.end(), var_fields[i]->bytes.begin(), var_fields[i]->bytes.end());
      }
    }
    offsets[var_count] = static_cast<std::uint16_t>(std::min<std::size_t>(row.size(), 0xFFFF));
    // The offsets are stored backwards: the end of the data first, the first column last.
    for (std::size_t i = var_count + 1; i-- > 0;) {
      row.push_back(static_cast<std::uint8_t>(offsets[i]));
      row.push_back(static_cast<std::uint8_t>(offsets[i] >> 8));
    }
    row.push_back(static_cast<std::uint8_t>(var_count));
    row.push_back(static_cast<std::uint8_t>(var_count >> 8));
  }
  row.insert(row.end(), mask.begin(), mask.begin() + mask_size);
  if (row.size() > kMaxRowSize) {
    throw Error("The record is too large: " + std::to_string(row.size()) + " bytes, at most " +
                std::to_string(kMaxRowSize) + " fit a page.");
  }
  return row;
}

}  // namespace jetdb
