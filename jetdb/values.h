// Conversions of stored values to the forms callers want: calendar dates, Currency text and
// 8-bit code pages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace jetdb {

// A Date/Time value split into calendar date and time of day, rounded to the second.
struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Days since 30 December 1899 00:00; the fraction is the time of day, also for dates before
// 1899, where -1.25 is 29 December 1899 06:00. Values outside the years 100 to 9999 (what
// Jet accepts) are an Error.
DateTimeParts SplitDateTime(double days);

// "YYYY-MM-DD HH:MM:SS".
std::string FormatDateTime(double days);

// A Currency amount given in ten-thousandths, with four decimals: "-12.3400".
std::string FormatCurrency(std::int64_t ten_thousandths);

// Text in an 8-bit Windows code page (1252 Western, 28591 Latin-1, 20127 US-ASCII) or, for
// 65001, UTF-8. Characters the code page lacks become '?', as Windows does. Any other code
// page is an Error.
std::string EncodeText(std::u16string_view units, int code_page);

}  // namespace jetdb
