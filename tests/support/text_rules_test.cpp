#include "support/text_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

using namespace support;

TEST(CaseFolding, TableFoldsExactlyTheListedBytes) {
  int changed = 0;
  for (int c = 0; c < 256; ++c) changed += kCaseFold[c] != c;
  EXPECT_EQ(changed, 26 + 3 + 1 + 30);
  EXPECT_EQ(kCaseFold[0xD7], 0xD7);  // the multiplication sign has no small form
  EXPECT_EQ(kCaseFold[0xDF], 0xDF);
  EXPECT_EQ(kCaseFold[0x9F], 0xFF);
  EXPECT_EQ(kCaseFold[0x8A], 0x9A);
  EXPECT_EQ(kCaseFold['Z'], 'z');
  EXPECT_EQ(kCaseFold['@'], '@');
  EXPECT_EQ(kCaseFold['['], '[');
}

TEST(CaseFolding, AccentedCapitalEqualsItsSmallForm) {
  EXPECT_TRUE(SameText("\xC4RGER", "\xE4rger"));
  EXPECT_TRUE(
      SameText("\xDC"
               "BER",
               "\xFC"
               "ber"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_FALSE(SameText("\xD7", "\xF7"));
  EXPECT_TRUE(StartsText("ED", "EDBEditError"));
  EXPECT_TRUE(StartsText("edb", "EDBEditError"));
  EXPECT_FALSE(StartsText("EDBEditErrors", "EDBEditError"));
}

TEST(CaseFolding, OrderingUsesFoldedBytesThenLength) {
  EXPECT_EQ(CompareText("Modules", "MODULES"), 0);
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);
  EXPECT_GT(CompareText("abc", "AB"), 0);
  // Bytes above 127 compare as unsigned values.
  EXPECT_GT(CompareText("\xE9", "z"), 0);
  EXPECT_EQ(CompareText("", ""), 0);
}

TEST(Search, ForwardsAndBackwardsWithinTheRange) {
  const std::string text = "ab|ab|AB";
  EXPECT_EQ(FindText("ab", text, false), 1u);
  EXPECT_EQ(FindText("ab", text, 2, 8, false), 4u);
  EXPECT_EQ(FindText("ab", text, 2, 8, true), 4u);
  // Backwards: the last occurrence starting at or before the start position.
  EXPECT_EQ(FindText("ab", text, 8, 1, true), 7u);
  EXPECT_EQ(FindText("ab", text, 8, 1, false), 4u);
  EXPECT_EQ(FindText("ab", text, 5, 1, false), 4u);
  EXPECT_EQ(FindText("ab", text, 3, 2, false), 0u);
  // A pattern never runs past the end, whatever the positions say.
  EXPECT_EQ(FindText("AB", text, 100, 100, false), 7u);
  EXPECT_EQ(FindText("ABC", text, 1, 100, true), 0u);
}

TEST(Search, ZeroPositionsAndEmptyPatternFindNothing) {
  EXPECT_EQ(FindText("a", "aaa", 0, 3, false), 0u);
  EXPECT_EQ(FindText("a", "aaa", 1, 0, false), 0u);
  EXPECT_EQ(FindText("", "aaa", 1, 3, false), 0u);
  EXPECT_EQ(FindText("a", "", 1, 1, false), 0u);
}

TEST(ReplaceAll, ContinuesAfterTheInsertedText) {
  EXPECT_EQ(ReplaceAll("a.b.c", ".", "..", false), "a..b..c");
  EXPECT_EQ(ReplaceAll("%LF%x%lf%", "%lf%", "\r\n", true), "\r\nx\r\n");
  EXPECT_EQ(ReplaceAll("%LF%x%lf%", "%lf%", "\r\n", false), "%LF%x\r\n");
  EXPECT_EQ(ReplaceAll("|a|a|b|", "|a|", "|", false), "|a|b|");
  EXPECT_EQ(ReplaceAll("abc", "", "x", false), "abc");
}

TEST(ReplaceAll, SharedDelimitersReplaceAdjacentOccurrences) {
  EXPECT_EQ(ReplaceAll("|a|a|b|", "|a|", "|", false, true), "|b|");
  EXPECT_EQ(ReplaceAll("|A|a|a|", "|a|", "|", true, true), "|");
  EXPECT_EQ(ReplaceAll("|x|ScrShotForm|ScrShotForm|y|", "|ScrShotForm|", "|", true, true), "|x|y|");
  // A replacement that contains the pattern must not be searched again and again.
  EXPECT_EQ(ReplaceAll("aaa", "a", "ba", false, true), "bababa");
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "aa", false, true), "aaaa");
}

TEST(Trimming, RemovesControlBytesAndBlanksFromBothEnds) {
  EXPECT_EQ(Trimmed(std::string("\0\t a b \r\n", 9)), "a b");
  EXPECT_EQ(Trimmed(" \x01 "), "");
  EXPECT_EQ(Trimmed("\xA0x\xA0"), "\xA0x\xA0");  // 160 is no blank here
  EXPECT_EQ(RemoveByte("a|b||c", '|'), "abc");
  EXPECT_EQ(RemoveBytes(std::string("a\0b\tc\r\nd\x1f", 10), ControlCharsButLineEnds()),
            "abc\r\nd");
  EXPECT_EQ(ControlCharsButLineEnds().size(), 30u);
}

TEST(CaseConversion, OnlyTheListedBytesChange) {
  EXPECT_EQ(UpperText("c:\\\xE4\xF6\xFC\xE9z"), "C:\\\xC4\xD6\xDC\xE9Z");
  EXPECT_EQ(LowerText("C:\\\xC4\xD6\xDC\xC9Z"), "c:\\\xE4\xF6\xFC\xC9z");
}

TEST(ItemLists, CountAndNthItem) {
  EXPECT_EQ(ItemCount("", '|'), 0u);
  EXPECT_EQ(ItemCount("a", '|'), 1u);
  EXPECT_EQ(ItemCount("a||b", '|'), 3u);
  EXPECT_EQ(NthItem("a||b", 1, '|'), "a");
  EXPECT_EQ(NthItem("a||b", 2, '|'), "");
  EXPECT_EQ(NthItem("a||b", 3, '|'), "b");
  EXPECT_EQ(NthItem("a||b", 4, '|'), "");
  EXPECT_EQ(NthItem("a||b", 0, '|'), "");
  EXPECT_EQ(NthItem("file>send>zip", 2, '>'), "send");
  EXPECT_EQ(NthItem("a|", 2, '|'), "");
}

TEST(ItemLists, ContainsWholeItemsOnly) {
  EXPECT_FALSE(ContainsItem("modules|processes", "mod", '|', false));
  EXPECT_FALSE(ContainsItem("modules|processes", "esses", '|', false));
  EXPECT_TRUE(ContainsItem("modules|processes", "processes", '|', false));
  EXPECT_TRUE(ContainsItem("modules|processes", "MODULES", '|', true));
  EXPECT_FALSE(ContainsItem("modules|processes", "MODULES", '|', false));
  // A later occurrence counts when the first one is only part of an item.
  EXPECT_TRUE(ContainsItem("hardwarex|hardware", "hardware", '|', false));
  EXPECT_FALSE(ContainsItem("a||b", "", '|', false));
  EXPECT_FALSE(ContainsItem("", "", '|', false));
}

TEST(ItemLists, TidyCollapsesDelimiterRunsAndKeepsInnerBlanks) {
  EXPECT_EQ(TidyItems("a||b", '|'), "a|b");
  EXPECT_EQ(TidyItems(" |a | | b c\t|| ", '|'), "a|b c");
  EXPECT_EQ(TidyItems("|||", '|'), "");
  EXPECT_EQ(TidyItems("  x  ", '|'), "x");
  EXPECT_EQ(TidyItems("Send Assistant||ContactForm|", '|'), "Send Assistant|ContactForm");
}

TEST(Numbers, DecimalAndHexadecimalForms) {
  EXPECT_EQ(DecText(0), "0");
  EXPECT_EQ(DecText(-5), "-5");
  EXPECT_EQ(DecText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(DecText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(HexText(0), "0");
  EXPECT_EQ(HexText(0xABCDEF), "abcdef");
  EXPECT_EQ(HexText(static_cast<std::uint32_t>(-1)), "ffffffff");
  // 64-bit: the high part, then the low part padded to 8 digits.
  EXPECT_EQ(HexText(0x100000001ull), "100000001");
}

TEST(Numbers, PaddingKeepsTheSignInFrontOfDigitFill) {
  EXPECT_EQ(Padded(DecText(-5), 3, '0'), "-05");
  EXPECT_EQ(Padded(DecText(-5), 3, ' '), " -5");
  EXPECT_EQ(Padded("ab", -4, '.'), "ab..");
  EXPECT_EQ(Padded("abcdef", 3, '0'), "abcdef");
  EXPECT_EQ(Padded("-", 3, '0'), "-00");
}

TEST(Numbers, DollarForm) {
  EXPECT_EQ(DollarHex(420, 8, '0'), "$000001a4");
  EXPECT_EQ(DollarHex(420, 1, '0'), "$1a4");
  EXPECT_EQ(DollarHex(420), "$1a4");
  EXPECT_EQ(DollarHex(420, 6, ' '), "   $1a4");  // width plus one for the "$"
  EXPECT_EQ(DollarHex(420, -6, ' '), "$1a4   ");
}

TEST(Numbers, FileVersionPartsFromTheTopDown) {
  EXPECT_EQ(FormatFileVersion(0x0001000200030004ull), "1.2.3.4");
  EXPECT_EQ(FormatFileVersion(0xFFFF00000000ABCDull), "65535.0.0.43981");
  EXPECT_EQ(FormatFileVersion(0), "0.0.0.0");
}

TEST(Numbers, Parsing) {
  EXPECT_EQ(DecToInt("1234"), 1234);
  EXPECT_EQ(DecToInt("-42"), -42);
  EXPECT_EQ(DecToInt("1x2"), 102);  // a byte that is no digit counts as 0
  EXPECT_EQ(DecToInt("1a"), 10);    // hexadecimal digits are no decimal digits
  EXPECT_EQ(DecToInt(""), 0);
  EXPECT_EQ(DecToInt("-"), 0);
  EXPECT_EQ(HexToInt("1a4"), 420);
  EXPECT_EQ(HexToInt("-FF"), -255);
  EXPECT_EQ(HexToInt("ffffffffffffffff"), -1);
  EXPECT_EQ(DecToInt("99999999999999999999"), 7766279631452241919);  // wraps around
  EXPECT_EQ(DigitValue('f'), 15);
  EXPECT_EQ(DigitValue('g'), 0);
}

}  // namespace
