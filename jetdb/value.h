// A value to store in a column: what the caller has (text, a whole number, a floating point
// number, a date, Yes/No, bytes) is converted to the column's type when the row is written,
// the way Jet converts it; a value the column cannot hold is an Error naming the column.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jetdb {

struct Value {
  enum class Kind { kNull, kBoolean, kInteger, kNumber, kCurrency, kDateTime, kText, kBytes };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::int64_t integer = 0;  // kInteger; kCurrency in ten-thousandths
  double number = 0;         // kNumber; kDateTime in days since 30 December 1899
  std::string text;          // UTF-8
  std::vector<std::uint8_t> bytes;

  static Value Null() { return {}; }
  static Value Boolean(bool value) {
    Value v;
    v.kind = Kind::kBoolean;
    v.boolean = value;
    return v;
  }
  static Value Integer(std::int64_t value) {
    Value v;
    v.kind = Kind::kInteger;
    v.integer = value;
    return v;
  }
  static Value Number(double value) {
    Value v;
    v.kind = Kind::kNumber;
    v.number = value;
    return v;
  }
  static Value Currency(std::int64_t ten_thousandths) {
    Value v;
    v.kind = Kind::kCurrency;
    v.integer = ten_thousandths;
    return v;
  }
  static Value DateTime(double days) {
    Value v;
    v.kind = Kind::kDateTime;
    v.number = days;
    return v;
  }
  static Value Text(std::string utf8) {
    Value v;
    v.kind = Kind::kText;
    v.text = std::move(utf8);
    return v;
  }
  static Value Bytes(std::vector<std::uint8_t> data) {
    Value v;
    v.kind = Kind::kBytes;
    v.bytes = std::move(data);
    return v;
  }
  bool IsNull() const { return kind == Kind::kNull; }
};

// Days since 30 December 1899 of a calendar date and time (no range check).
double DaysFromDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace jetdb
