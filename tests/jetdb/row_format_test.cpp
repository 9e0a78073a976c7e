// Values converted for their columns: what fits is stored as Jet stores it, what does not
// fit is refused with the column's name.
#include "jetdb/row_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "jetdb/bytes.h"
#include "jetdb/error.h"
#include "jetdb/table.h"
#include "jetdb/values.h"
#include "tests/support/scoped_trace.h"

namespace {

using jetdb::Column;
using jetdb::ColumnType;
using jetdb::ConvertValue;
using jetdb::Value;

Column Of(ColumnType type, std::uint16_t size = 0) {
  Column column;
  column.name = "c";
  column.type = type;
  column.size = size;
  column.compressed_unicode = true;
  return column;
}

double DoubleOf(const jetdb::Field& field) {
  return std::bit_cast<double>(jetdb::ReadU64(field.bytes, 0));
}

TEST(ConvertValue, NumbersFitTheirColumnsOrAreRefused) {
  EXPECT_EQ(ConvertValue(Of(ColumnType::kByte), Value::Integer(255)).bytes,
            std::vector<std::uint8_t>{255});
  EXPECT_THROW(ConvertValue(Of(ColumnType::kByte), Value::Integer(256)), jetdb::Error);
  EXPECT_THROW(ConvertValue(Of(ColumnType::kByte), Value::Integer(-1)), jetdb::Error);
  EXPECT_THROW(ConvertValue(Of(ColumnType::kInteger), Value::Integer(32768)), jetdb::Error);
  EXPECT_THROW(ConvertValue(Of(ColumnType::kLong), Value::Number(2147483648.0)), jetdb::Error);
  // Halves round to even, as Jet rounds them.
  EXPECT_EQ(ConvertValue(Of(ColumnType::kLong), Value::Number(2.5)).bytes,
            (std::vector<std::uint8_t>{2, 0, 0, 0}));
  EXPECT_EQ(ConvertValue(Of(ColumnType::kInteger), Value::Text(" -7 ")).bytes,
            (std::vector<std::uint8_t>{0xF9, 0xFF}));
  EXPECT_THROW(ConvertValue(Of(ColumnType::kLong), Value::Text("7x")), jetdb::Error);
  EXPECT_THROW(ConvertValue(Of(ColumnType::kSingle), Value::Number(1e39)), jetdb::Error);
  // Currency in ten-thousandths, from text without binary rounding loss.
  EXPECT_EQ(
      jetdb::ReadU64(ConvertValue(Of(ColumnType::kCurrency), Value::Text("12.3456")).bytes, 0),
      123456u);
  EXPECT_EQ(ConvertValue(Of(ColumnType::kBoolean), Value::Text("Yes")).yes, true);
  EXPECT_EQ(ConvertValue(Of(ColumnType::kBoolean), Value::Integer(0)).yes, false);
  EXPECT_TRUE(ConvertValue(Of(ColumnType::kLong), Value::Null()).null);
}

TEST(ConvertValue, DatesFromTextAndDaysAndTheirLimits) {
  EXPECT_EQ(DoubleOf(ConvertValue(Of(ColumnType::kDateTime), Value::Text("1899-12-30"))), 0.0);
  EXPECT_EQ(DoubleOf(ConvertValue(Of(ColumnType::kDateTime), Value::Text("1899-12-29 06:00"))),
            -1.25);
  EXPECT_EQ(jetdb::FormatDateTime(DoubleOf(
                ConvertValue(Of(ColumnType::kDateTime), Value::Text("2024-02-29 13:45:07")))),
            "2024-02-29 13:45:07");
  EXPECT_THROW(ConvertValue(Of(ColumnType::kDateTime), Value::Text("2023-02-29")), jetdb::Error);
  EXPECT_THROW(ConvertValue(Of(ColumnType::kDateTime), Value::Text("29.02.2024")), jetdb::Error);
  EXPECT_THROW(ConvertValue(Of(ColumnType::kDateTime), Value::DateTime(3e6)), jetdb::Error);
}

TEST(ConvertValue, TextIsMeasuredInCharactersAndCompressedWhereItShrinks) {
  const Column text = Of(ColumnType::kText, 10);  // five characters
  EXPECT_EQ(ConvertValue(text, Value::Text("abcde")).bytes,
            (std::vector<std::uint8_t>{0xFF, 0xFE, 'a', 'b', 'c', 'd', 'e'}));
  EXPECT_THROW(ConvertValue(text, Value::Text("abcdef")), jetdb::Error);
  // Two characters gain nothing from compression; a character past U+00FF prevents it.
  EXPECT_EQ(ConvertValue(text, Value::Text("ab")).bytes,
            (std::vector<std::uint8_t>{'a', 0, 'b', 0}));
  EXPECT_EQ(ConvertValue(text, Value::Text("a\u0100bc")).bytes.size(), 8u);
  EXPECT_THROW(ConvertValue(text, Value::Text("\xC3")), jetdb::Error);  // cut-off UTF-8
  // Two-byte text must not begin with FF FE, the mark of compressed text: text that starts
  // with U+FEFF switches into two-byte characters after the mark instead.
  const Column wide = Of(ColumnType::kText, 40);
  Column uncompressed = wide;
  uncompressed.compressed_unicode = false;
  for (const char* utf8 : {"\uFEFF", "\uFEFFab", "\uFEFF\u6F22x\u5B57", "\uFEFF\uFEFF"}) {
    PELMORA_TRACE(utf8);
    EXPECT_EQ(jetdb::DecodeText(ConvertValue(wide, Value::Text(utf8)).bytes), utf8);
    EXPECT_EQ(jetdb::DecodeText(ConvertValue(uncompressed, Value::Text(utf8)).bytes), utf8);
  }
  // U+4E00 would read as a switch followed by U+4E..: refused rather than stored wrong.
  EXPECT_THROW(ConvertValue(wide, Value::Text("\uFEFF\u4E00")), jetdb::Error);
  EXPECT_EQ(jetdb::DecodeText(ConvertValue(wide, Value::Text("x\u4E00")).bytes), "x\u4E00");
  EXPECT_THROW(ConvertValue(text, Value::Bytes({1})), jetdb::Error);
  EXPECT_EQ(
      ConvertValue(Of(ColumnType::kGuid), Value::Text("{00010203-0405-0607-0809-0A0B0C0D0E0F}"))
          .bytes,
      (std::vector<std::uint8_t>{3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15}));
}

}  // namespace
