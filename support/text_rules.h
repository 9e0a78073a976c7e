// The text rules the crash reporter shares: case folding, comparison and search without
// regard to case, trimming, delimited item lists, number forms and integer parsing, and (on
// Windows) the texts of system error codes. Texts are 8-bit, in the process's code page.
//
// No function here lets an exception escape: when memory runs out a function that builds a
// text gives the empty text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace support {

// Runs fn and gives its result; any exception it raises is dropped and gives fallback.
template <class Fn, class Result = decltype(std::declval<Fn&>()())>
Result DropErrors(Fn&& fn, Result fallback = Result()) noexcept {
  try {
    return fn();
  } catch (...) {
    return fallback;
  }
}

// ---- Case folding and digit values ---------------------------------------------------------

// Maps every byte to its folded form: A-Z to a-z, 0x8A/0x8C/0x8E to 0x9A/0x9C/0x9E, 0x9F to
// 0xFF, and 0xC0-0xDE (except 0xD7, the multiplication sign) to the byte 0x20 higher.
extern const std::array<std::uint8_t, 256> kCaseFold;

inline std::uint8_t FoldCase(char c) { return kCaseFold[static_cast<std::uint8_t>(c)]; }

// "0"-"9" give 0-9, "A"-"F" and "a"-"f" give 10-15, every other byte 0.
int DigitValue(char c);

// ---- Comparison and search ------------------------------------------------------------------

// Same length and equal folded bytes.
bool SameText(std::string_view a, std::string_view b);

// Negative, zero or positive: the first differing folded bytes decide, otherwise the lengths.
int CompareText(std::string_view a, std::string_view b);

// text begins with prefix, without regard to case.
bool StartsText(std::string_view prefix, std::string_view text);

// The 1-based position of the first occurrence of pattern that starts between the positions
// from and to (both 1-based, inclusive): searching forwards when from <= to, backwards from
// the later position when from > to. Positions past the last possible start are taken as that
// start. 0 when there is none, when from or to is 0, or when the pattern is empty.
std::size_t FindText(std::string_view pattern, std::string_view text, std::size_t from,
                     std::size_t to, bool ignore_case);

// The first occurrence anywhere in text (1-based), 0 when there is none.
inline std::size_t FindText(std::string_view pattern, std::string_view text, bool ignore_case) {
  return FindText(pattern, text, 1, text.size(), ignore_case);
}

// Replaces every occurrence of old_text by new_text. Normally the search goes on right after
// the inserted text. With share_last_byte the next occurrence may begin with the last byte of
// the inserted text, so that "|a|" replaced by "|" clears "|a|a|b|" to "|b|": adjacent items
// that share a delimiter are all replaced. An empty old_text changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view old_text, std::string_view new_text,
                       bool ignore_case, bool share_last_byte = false);

// ---- Trimming and filtering -----------------------------------------------------------------

// Every byte from 0 to 32 removed from both ends.
std::string Trimmed(std::string_view text);

// Every occurrence of the byte removed.
std::string RemoveByte(std::string_view text, char byte);

// Every byte that occurs in set removed.
std::string RemoveBytes(std::string_view text, std::string_view set);

// The control characters other than carriage return and line feed (bytes 0-31 without 13, 10).
std::string_view ControlCharsButLineEnds();

// ---- Explicit case conversion ---------------------------------------------------------------

// "a"-"z" and the bytes 0xE4, 0xF6, 0xFC lowered by 32.
std::string UpperText(std::string_view text);
// "A"-"Z" and the bytes 0xC4, 0xD6, 0xDC raised by 32.
std::string LowerText(std::string_view text);

// ---- Delimited item lists -------------------------------------------------------------------

// 0 for an empty text, otherwise 1 plus the number of delimiters.
std::size_t ItemCount(std::string_view text, char delimiter);

// The n-th item (1-based): the text between the (n-1)-th and the n-th delimiter, the last item
// running to the end; empty for n = 0 or n beyond the count.
std::string NthItem(std::string_view text, std::size_t n, char delimiter);

// True when item is one of the items of text (whole item); false for an empty item.
bool ContainsItem(std::string_view text, std::string_view item, char delimiter, bool ignore_case);

// The list cut to span from its first to its last significant byte (33-255, not the
// delimiter); every delimiter loses the insignificant bytes around it, so that runs of
// delimiters collapse into one and empty items disappear. Blanks inside an item stay.
std::string TidyItems(std::string_view text, char delimiter);

// ---- Numbers --------------------------------------------------------------------------------

// Decimal: "-" for negatives, no leading zeros ("0" for zero). Covers 32-bit values too.
std::string DecText(std::int64_t value);

// Lowercase hexadecimal without leading zeros ("0" for zero). A 32-bit signed value must be
// passed as std::uint32_t to get its 8-digit two's-complement form.
std::string HexText(std::uint64_t value);

// Pads with fill on the left up to width characters (width > 0) or on the right up to -width
// characters (width < 0). With a digit as fill, a leading "-" stays in front of the fill.
std::string Padded(std::string_view text, int width, char fill);

// "$" and the hexadecimal digits. With a digit as fill the digits are padded to width and "$"
// put in front ("$000001a4" for 420, 8, '0'); with another fill "$" is put in front and the
// whole padded to width plus one.
std::string DollarHex(std::uint64_t value, int width = 1, char fill = '0');

// A file version's four 16-bit parts, most significant first, in decimal and joined by "."
// ("1.2.3.4").
std::string FormatFileVersion(std::uint64_t version);

// Integer from text: a leading "-" negates, every further byte contributes its digit value;
// bytes that are no digits of the base count as 0. Overflow wraps around.
std::int64_t DecToInt(std::string_view text);
std::int64_t HexToInt(std::string_view text);

// ---- System error codes (Windows only) ------------------------------------------------------

#ifdef _WIN32
// The system's message text for an error code, carriage returns turned into blanks and line
// feeds removed. Codes 2100-2999 come from the network message module, codes above 0x3FFFFFFF
// are converted to a system error code first. Without a text: "Error" and the "$" form.
std::string ErrorCodeText(std::uint32_t code);

// The same with the network message module given by file name (for tests).
std::string ErrorCodeText(std::uint32_t code, const std::string& network_module);
#endif

}  // namespace support
