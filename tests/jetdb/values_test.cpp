// Value conversions: dates, Currency, Decimal, Replication IDs and code pages.
#include "jetdb/values.h"

#include <gtest/gtest.h>

#include <limits>

#include "jetdb/error.h"
#include "jetdb/table.h"

namespace {

using jetdb::Error;
using jetdb::FormatDateTime;

TEST(DateTime, DaysSince1899AndTheTimeOfDay) {
  EXPECT_EQ(FormatDateTime(0), "1899-12-30 00:00:00");
  EXPECT_EQ(FormatDateTime(27293), "1974-09-21 00:00:00");
  EXPECT_EQ(FormatDateTime(61), "1900-03-01 00:00:00");  // no 29 February 1900
  EXPECT_EQ(FormatDateTime(36585.5), "2000-02-29 12:00:00");
  EXPECT_EQ(FormatDateTime(2958465.99998), "9999-12-31 23:59:58");
  EXPECT_EQ(FormatDateTime(-657434), "0100-01-01 00:00:00");
  // Before 1899 the fraction still counts forward from midnight.
  EXPECT_EQ(FormatDateTime(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(FormatDateTime(-0.5), "1899-12-30 12:00:00");
  // Rounding to the second may reach the next day.
  EXPECT_EQ(FormatDateTime(1.9999999), "1900-01-01 00:00:00");
  EXPECT_EQ(FormatDateTime(38000 + 1.0 / 86400 * 0.6), "2004-01-14 00:00:01");
  const auto parts = jetdb::SplitDateTime(38718.75);
  EXPECT_EQ(parts.year, 2006);
  EXPECT_EQ(parts.month, 1);
  EXPECT_EQ(parts.day, 1);
  EXPECT_EQ(parts.hour, 18);
  for (double bad : {-657435.0, 2958466.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), 1e300}) {
    EXPECT_THROW(FormatDateTime(bad), Error) << bad;
  }
}

TEST(Currency, FourDecimalsAndBothSigns) {
  EXPECT_EQ(jetdb::FormatCurrency(35000), "3.5000");
  EXPECT_EQ(jetdb::FormatCurrency(0), "0.0000");
  EXPECT_EQ(jetdb::FormatCurrency(-1), "-0.0001");
  EXPECT_EQ(jetdb::FormatCurrency(-123456789), "-12345.6789");
  EXPECT_EQ(jetdb::FormatCurrency(std::numeric_limits<std::int64_t>::min()),
            "-922337203685477.5808");
}

TEST(Decimal, DigitsScaleAndSign) {
  jetdb::Decimal value;
  EXPECT_EQ(value.ToString(), "0");
  value.words = {0, 0, 0, 1250};
  value.scale = 2;
  EXPECT_EQ(value.ToString(), "12.50");
  EXPECT_DOUBLE_EQ(value.ToDouble(), 12.5);
  value.negative = true;
  value.scale = 5;
  EXPECT_EQ(value.ToString(), "-0.01250");
  EXPECT_DOUBLE_EQ(value.ToDouble(), -0.0125);
  value.words = {0, 0, 0, 0};
  EXPECT_EQ(value.ToString(), "0.00000");  // no "-0"
  // 10^28 needs all four words: 0x204FCE5E 3E250261 10000000.
  value = {};
  value.words = {0, 0x204FCE5E, 0x3E250261, 0x10000000};
  EXPECT_EQ(value.ToString(), "10000000000000000000000000000");
  value.words = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_EQ(value.ToString(), "340282366920938463463374607431768211455");
}

TEST(Guid, GroupsInJetsByteOrder) {
  const std::uint8_t bytes[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                  0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(jetdb::FormatGuid(bytes), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
  EXPECT_THROW(jetdb::FormatGuid(std::span(bytes).first(15)), Error);
}

TEST(CodePage, WesternLatinAsciiAndUtf8) {
  const std::u16string text = u"\u20ACa\u00E9\u0160\u2122\u0416\u0081";
  EXPECT_EQ(jetdb::EncodeText(text, 1252),
            "\x80"
            "a\xE9\x8A\x99?\x81");
  EXPECT_EQ(jetdb::EncodeText(text, 28591), "?a\xE9???\x81");
  EXPECT_EQ(jetdb::EncodeText(text, 20127), "?a?????");
  EXPECT_EQ(jetdb::EncodeText(u"\u00E9", 65001), "\xC3\xA9");
  EXPECT_EQ(jetdb::EncodeText(u"", 1252), "");
  EXPECT_THROW(jetdb::EncodeText(u"x", 1251), Error);
}

TEST(Names, CaseIsIgnoredForAsciiAndLatinLetters) {
  EXPECT_TRUE(jetdb::SameName("GageSN", "gagesn"));
  EXPECT_TRUE(jetdb::SameName("Tracibility", "tracibility"));
  EXPECT_TRUE(jetdb::SameName("\xC3\x84rger", "\xC3\xA4RGER"));  // Ä and ä
  EXPECT_FALSE(jetdb::SameName("gage_id", "gageid"));
  EXPECT_FALSE(jetdb::SameName("a", "a "));
  EXPECT_FALSE(jetdb::SameName("\xC3\x97", "\xC3\xB7"));  // × and ÷ are not letters
}

}  // namespace
