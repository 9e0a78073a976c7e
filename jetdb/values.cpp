#include "jetdb/values.h"

#include <charconv>
#include <cmath>

#include "jetdb/error.h"
#include "jetdb/table.h"

namespace jetdb {

namespace {

constexpr double kFirstDay = -657434.0;  // 1 January 100
constexpr double kLastDay = 2958466.0;   // 1 January 10000
constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1 March of year 0 (proleptic Gregorian) to 30 December 1899.
constexpr std::int64_t kEpochFromMarchZero = 693899;

// The calendar date of a day count from 1 March of year 0.
void CivilFromDays(std::int64_t days, DateTimeParts& parts) {
  const std::int64_t era = days / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_index = (5 * day_of_year + 2) / 153;  // 0 is March
  parts.day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  parts.month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  parts.year = static_cast<int>(year_of_era + era * 400 + (parts.month <= 2 ? 1 : 0));
}

// Windows code page 1252 at 0x80..0x9F; the five holes map to the same C1 code, as Windows
// maps them.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToCp1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

DateTimeParts SplitDateTime(double days) {
  if (!(days >= kFirstDay && days < kLastDay)) {
    throw Error("A Date/Time value is out of range.");
  }
  // The whole part counts days (towards zero); the fraction is always the time after midnight.
  const double whole = std::trunc(days);
  std::int64_t day = static_cast<std::int64_t>(whole);
  std::int64_t seconds = std::llround(std::fabs(days - whole) * kSecondsPerDay);
  if (seconds == kSecondsPerDay) {
    seconds = 0;
    ++day;
  }
  DateTimeParts parts;
  CivilFromDays(day + kEpochFromMarchZero, parts);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

namespace {

// Writes value (not negative) as width decimal digits, with leading zeros.
void PutDigits(char* out, std::uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

}  // namespace

std::string FormatDateTime(double days) {
  const DateTimeParts parts = SplitDateTime(days);  // years 100 to 9999: four digits
  std::string text = "0000-00-00 00:00:00";
  PutDigits(&text[0], parts.year, 4);
  PutDigits(&text[5], parts.month, 2);
  PutDigits(&text[8], parts.day, 2);
  PutDigits(&text[11], parts.hour, 2);
  PutDigits(&text[14], parts.minute, 2);
  PutDigits(&text[17], parts.second, 2);
  return text;
}

std::string FormatCurrency(std::int64_t ten_thousandths) {
  const bool negative = ten_thousandths < 0;
  // Work in unsigned so that the most negative amount has a magnitude too.
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(ten_thousandths) : ten_thousandths;
  char text[32];
  char* end = text;
  if (negative) *end++ = '-';
  end = std::to_chars(end, text + sizeof text, magnitude / 10000).ptr;
  *end++ = '.';
  PutDigits(end, magnitude % 10000, 4);
  return std::string(text, end + 4);
}

std::string EncodeText(std::u16string_view units, int code_page) {
  std::string out;
  out.reserve(units.size());
  switch (code_page) {
    case 65001:
      return Utf16ToUtf8(units);
    case 1252:
      for (char16_t unit : units) out += ToCp1252(unit);
      return out;
    case 28591:
      for (char16_t unit : units) out += unit <= 0xFF ? static_cast<char>(unit) : '?';
      return out;
    case 20127:
      for (char16_t unit : units) out += unit < 0x80 ? static_cast<char>(unit) : '?';
      return out;
    default:
      throw Error("Code page " + std::to_string(code_page) + " is not supported.");
  }
}

}  // namespace jetdb
