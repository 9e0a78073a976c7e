#include "jetdb/index_key.h"

#include <algorithm>
#include <array>

#include "jetdb/bytes.h"
#include "jetdb/error.h"
#include "jetdb/long_value.h"

namespace jetdb {

namespace {

constexpr std::uint8_t kAscendingValue = 0x7F;
constexpr std::uint8_t kAscendingNull = 0x00;
constexpr std::uint8_t kTextEnd = 0x01;
constexpr std::size_t kTypicalEntrySize = 64;

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int size) {
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i) {
    out[at + static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(value >> (8 * (size - 1 - i)));
  }
}

// Floating point bits in an order that sorts as the numbers do.
std::uint64_t OrderedFloatBits(std::uint64_t bits, int size) {
  const std::uint64_t sign = std::uint64_t{1} << (size * 8 - 1);
  const std::uint64_t all = size == 8 ? ~std::uint64_t{0} : (sign << 1) - 1;
  return (bits & sign) ? (~bits & all) : (bits | sign);
}

// General sort order. A character either has a weight on the key's first line (letters
// without regard to case, digits, blanks and some punctuation), with an accent mark on the
// second line when it has one, or it is left off the first line and listed with its position
// on the fourth (hyphen and apostrophe).
struct Weight {
  std::uint8_t primary = 0;  // 0: none
  std::uint8_t second = 0;   // the second byte of a two-byte weight, 0: none
  std::uint8_t accent = 0;   // 0: no mark
  std::uint8_t ignored = 0;  // code of a character listed by position, 0: not one
};

constexpr std::uint8_t kNoAccent = 0x02;
constexpr std::uint8_t kAcute = 0x0E;
constexpr std::uint8_t kGrave = 0x0F;
constexpr std::uint8_t kCircumflex = 0x12;
constexpr std::uint8_t kDiaeresis = 0x13;
constexpr std::uint8_t kTilde = 0x19;
constexpr std::uint8_t kRing = 0x1A;
constexpr std::uint8_t kCedilla = 0x1C;
constexpr std::uint8_t kStroke = 0x21;

std::uint8_t LetterWeight(char c) {
  static constexpr std::uint8_t kLetters[26] = {
      0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59, 0x5B, 0x5C, 0x5E, 0x60,
      0x62, 0x64, 0x66, 0x68, 0x69, 0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
  return kLetters[c - 'a'];
}

Weight WeightOf(char16_t c) {
  if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c = static_cast<char16_t>(c + 32);
  if (c >= 'a' && c <= 'z') return {LetterWeight(static_cast<char>(c)), 0, 0, 0};
  if (c >= '0' && c <= '9') return {static_cast<std::uint8_t>(0x36 + 2 * (c - '0')), 0, 0, 0};
  switch (c) {
    case ' ':
      return {0x07, 0, 0, 0};
    case '&':
      return {0x12, 0, 0, 0};
    case '(':
      return {0x14, 0, 0, 0};
    case ')':
      return {0x16, 0, 0, 0};
    case ',':
      return {0x1A, 0, 0, 0};
    case '.':
      return {0x1C, 0, 0, 0};
    case '/':
      return {0x1E, 0, 0, 0};
    case '_':
      return {0x2B, 0x03, 0, 0};
    case '~':
      return {0x2B, 0x0F, 0, 0};
    case '-':
      return {0, 0, 0, 0x82};
    case '\'':
      return {0, 0, 0, 0x80};
    case 0xE0:
      return {LetterWeight('a'), 0, kGrave, 0};
    case 0xE1:
      return {LetterWeight('a'), 0, kAcute, 0};
    case 0xE2:
      return {LetterWeight('a'), 0, kCircumflex, 0};
    case 0xE3:
      return {LetterWeight('a'), 0, kTilde, 0};
    case 0xE4:
      return {LetterWeight('a'), 0, kDiaeresis, 0};
    case 0xE5:
      return {LetterWeight('a'), 0, kRing, 0};
    case 0xE7:
      return {LetterWeight('c'), 0, kCedilla, 0};
    case 0xE8:
      return {LetterWeight('e'), 0, kGrave, 0};
    case 0xE9:
      return {LetterWeight('e'), 0, kAcute, 0};
    case 0xEA:
      return {LetterWeight('e'), 0, kCircumflex, 0};
    case 0xEB:
      return {LetterWeight('e'), 0, kDiaeresis, 0};
    case 0xEC:
      return {LetterWeight('i'), 0, kGrave, 0};
    case 0xED:
      return {LetterWeight('i'), 0, kAcute, 0};
    case 0xEE:
      return {LetterWeight('i'), 0, kCircumflex, 0};
    case 0xEF:
      return {LetterWeight('i'), 0, kDiaeresis, 0};
    case 0xF1:
      return {LetterWeight('n'), 0, kTilde, 0};
    case 0xF2:
      return {LetterWeight('o'), 0, kGrave, 0};
    case 0xF3:
      return {LetterWeight('o'), 0, kAcute, 0};
    case 0xF4:
      return {LetterWeight('o'), 0, kCircumflex, 0};
    case 0xF5:
      return {LetterWeight('o'), 0, kTilde, 0};
    case 0xF6:
      return {LetterWeight('o'), 0, kDiaeresis, 0};
    case 0xF8:
      return {LetterWeight('o'), 0, kStroke, 0};
    case 0xF9:
      return {LetterWeight('u'), 0, kGrave, 0};
    case 0xFA:
      return {LetterWeight('u'), 0, kAcute, 0};
    case 0xFB:
      return {LetterWeight('u'), 0, kCircumflex, 0};
    case 0xFC:
      return {LetterWeight('u'), 0, kDiaeresis, 0};
    case 0xFD:
      return {LetterWeight('y'), 0, kAcute, 0};
    case 0xFF:
      return {LetterWeight('y'), 0, kDiaeresis, 0};
    default:
      break;
  }
  // Characters Access data has not shown yet: other punctuation and symbols are listed by
  // position with their own code, anything else gets its code unit as a weight after the
  // letters.
  if (c < 0x80) return {0, 0, 0, static_cast<std::uint8_t>(c)};
  return {0, 0, 0, static_cast<std::uint8_t>(0x80 | (c & 0x7F))};
}

// The weights of the Latin-1 characters, worked out once: keys are built on every post.
Weight WeightFor(char16_t c) {
  static const std::array<Weight, 256> kLatin1 = [] {
    std::array<Weight, 256> weights;
    for (std::size_t i = 0; i < weights.size(); ++i)
      weights[i] = WeightOf(static_cast<char16_t>(i));
    return weights;
  }();
  return c < kLatin1.size() ? kLatin1[c] : WeightOf(c);
}

bool IsNull(const Column& column, const Row& row) {
  if (column.type == ColumnType::kBoolean) return !row.Boolean(column).has_value();
  return row.IsNull(column);
}

void AppendValue(Pager& pager, const Column& column, const Row& row,
                 std::vector<std::uint8_t>& out) {
  const auto bytes = row.Bytes(column);
  switch (column.type) {
    case ColumnType::kBoolean:
      out.push_back(*row.Boolean(column) ? 0x00 : 0xFF);
      return;
    case ColumnType::kByte:
      out.push_back(ReadU8(bytes, 0));
      return;
    case ColumnType::kInteger:
      AppendBigEndian(out, ReadU16(bytes, 0) ^ 0x8000u, 2);
      return;
    case ColumnType::kLong:
      AppendBigEndian(out, ReadU32(bytes, 0) ^ 0x80000000u, 4);
      return;
    case ColumnType::kCurrency:
      AppendBigEndian(out, ReadU64(bytes, 0) ^ (std::uint64_t{1} << 63), 8);
      return;
    case ColumnType::kSingle:
      AppendBigEndian(out, OrderedFloatBits(ReadU32(bytes, 0), 4), 4);
      return;
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      AppendBigEndian(out, OrderedFloatBits(ReadU64(bytes, 0), 8), 8);
      return;
    case ColumnType::kText: {
      thread_local std::u16string text;  // kept: allocations are costly under Wine
      DecodeTextUnits(bytes, text);
      return AppendGeneralSortKey(text, out);
    }
    case ColumnType::kMemo:
      return AppendGeneralSortKey(DecodeTextUnits(ReadLongValue(pager, bytes)), out);
    default:
      // Binary and the like: eight bytes at a time, each group followed by how many of its
      // bytes are used (9: full, and more follow).
      for (std::size_t start = 0; start < bytes.size() || start == 0; start += 8) {
        const std::size_t size = std::min<std::size_t>(8, bytes.size() - start);
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start),
                   bytes.begin() + static_cast<std::ptrdiff_t>(start + size));
        out.insert(out.end(), 8 - size, 0);
        const bool more = start + 8 < bytes.size();
        out.push_back(more ? 0x09 : static_cast<std::uint8_t>(size));
        if (!more) break;
      }
      return;
  }
}

}  // namespace

void AppendGeneralSortKey(std::u16string_view text, std::vector<std::uint8_t>& key) {
  // Trailing blanks do not count.
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  // Kept between keys: a post makes a few, and each would allocate these again.
  thread_local std::vector<std::uint8_t> accents;
  thread_local std::vector<std::uint8_t> positions;
  accents.clear();
  positions.clear();
  key.reserve(key.size() + text.size() + 2);
  std::size_t weights = 0;
  auto add = [&](std::uint8_t primary, std::uint8_t accent) {
    key.push_back(primary);
    accents.push_back(accent == 0 ? kNoAccent : accent);
    ++weights;
  };
  for (char16_t c : text) {
    if (c == 0xDF || c == 0xDF - 32) {  // sharp s sorts as "ss"
      add(LetterWeight('s'), 0);
      add(LetterWeight('s'), 0);
      continue;
    }
    const Weight weight = WeightFor(c);
    if (weight.primary != 0) {
      add(weight.primary, weight.accent);
      if (weight.second != 0) key.push_back(weight.second);
      continue;
    }
    // Listed by position: how many weights came before it, four to a step, from 7.
    const std::size_t position = std::min<std::size_t>(weights * 4 + 7, 0x7FFF);
    positions.push_back(static_cast<std::uint8_t>(0x80 | (position >> 8)));
    positions.push_back(static_cast<std::uint8_t>(position));
    positions.push_back(0x06);
    positions.push_back(weight.ignored);
  }
  while (!accents.empty() && accents.back() == kNoAccent) accents.pop_back();
  key.push_back(kTextEnd);
  key.insert(key.end(), accents.begin(), accents.end());
  if (!positions.empty()) {
    key.insert(key.end(), {kTextEnd, kTextEnd, kTextEnd});
    key.insert(key.end(), positions.begin(), positions.end());
  }
  key.push_back(0x00);
}

std::vector<std::uint8_t> GeneralSortKey(std::u16string_view text) {
  std::vector<std::uint8_t> key;
  AppendGeneralSortKey(text, key);
  return key;
}

bool KeyAllNull(const TableDef& table, const IndexDef& index, const Row& row) {
  for (const IndexColumn& key : index.columns) {
    if (!IsNull(*table.ByNumber(key.column_number), row)) return false;
  }
  return true;
}

bool KeyHasNull(const TableDef& table, const IndexDef& index, const Row& row) {
  for (const IndexColumn& key : index.columns) {
    if (IsNull(*table.ByNumber(key.column_number), row)) return true;
  }
  return false;
}

std::vector<std::uint8_t> IndexKey(Pager& pager, const TableDef& table, const IndexDef& index,
                                   const Row& row) {
  std::vector<std::uint8_t> key;
  IndexKey(pager, table, index, row, key);
  return key;
}

void IndexKey(Pager& pager, const TableDef& table, const IndexDef& index, const Row& row,
              std::vector<std::uint8_t>& key) {
  key.clear();
  // Room for most keys and the row pointer an entry adds, so that the key is not moved as it
  // grows.
  key.reserve(kTypicalEntrySize);
  for (const IndexColumn& part : index.columns) {
    const Column* column = table.ByNumber(part.column_number);
    if (column == nullptr) Corrupt("an index names a missing column");
    const std::size_t start = key.size();
    if (IsNull(*column, row)) {
      key.push_back(kAscendingNull);
    } else {
      key.push_back(kAscendingValue);
      AppendValue(pager, *column, row, key);
    }
    // Descending: every byte of this column inverted, the flag included.
    if (!part.ascending) {
      for (std::size_t i = start; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(~key[i]);
    }
  }
}

}  // namespace jetdb
