#include "support/text_rules.h"

#include <limits>

namespace support {

namespace {

constexpr std::array<std::uint8_t, 256> MakeCaseFold() {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = static_cast<std::uint8_t>(c);
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<std::uint8_t>(c + 0x20);
  table[0x8A] = 0x9A;
  table[0x8C] = 0x9C;
  table[0x8E] = 0x9E;
  table[0x9F] = 0xFF;
  for (int c = 0xC0; c <= 0xDE; ++c) {
    if (c != 0xD7) table[c] = static_cast<std::uint8_t>(c + 0x20);
  }
  return table;
}

bool SameByte(char a, char b, bool ignore_case) {
  return ignore_case ? FoldCase(a) == FoldCase(b) : a == b;
}

// pattern stands in text at the 0-based position pos (which leaves room for it).
bool MatchAt(std::string_view pattern, std::string_view text, std::size_t pos, bool ignore_case) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (!SameByte(pattern[i], text[pos + i], ignore_case)) return false;
  }
  return true;
}

// The 0-based position of the first occurrence at or after pos, npos when there is none.
std::size_t FindFrom(std::string_view pattern, std::string_view text, std::size_t pos,
                     bool ignore_case) {
  if (pattern.empty() || pattern.size() > text.size()) return std::string_view::npos;
  for (std::size_t p = pos; p + pattern.size() <= text.size(); ++p) {
    if (MatchAt(pattern, text, p, ignore_case)) return p;
  }
  return std::string_view::npos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text with every byte that selected picks moved by delta.
std::string ShiftBytes(std::string_view text, int delta, bool (*selected)(std::uint8_t)) {
  return DropErrors([&] {
    std::string out(text);
    for (char& c : out) {
      const std::uint8_t b = static_cast<std::uint8_t>(c);
      if (selected(b)) c = static_cast<char>(b + delta);
    }
    return out;
  });
}

std::uint64_t ParseDigits(std::string_view text, unsigned base, bool* negative) {
  *negative = !text.empty() && text.front() == '-';
  if (*negative) text.remove_prefix(1);
  std::uint64_t value = 0;
  for (char c : text) {
    const unsigned digit = static_cast<unsigned>(DigitValue(c));
    value = value * base + (digit < base ? digit : 0);
  }
  return value;
}

}  // namespace

const std::array<std::uint8_t, 256> kCaseFold = MakeCaseFold();

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MatchAt(a, b, 0, true);
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const int difference = FoldCase(a[i]) - FoldCase(b[i]);
    if (difference != 0) return difference;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool StartsText(std::string_view prefix, std::string_view text) {
  return prefix.size() <= text.size() && MatchAt(prefix, text, 0, true);
}

std::size_t FindText(std::string_view pattern, std::string_view text, std::size_t from,
                     std::size_t to, bool ignore_case) {
  if (pattern.empty() || pattern.size() > text.size() || from == 0 || to == 0) return 0;
  const std::size_t last = text.size() - pattern.size() + 1;
  if (from > last) from = last;
  if (to > last) to = last;
  if (from <= to) {
    for (std::size_t p = from; p <= to; ++p) {
      if (MatchAt(pattern, text, p - 1, ignore_case)) return p;
    }
  } else {
    for (std::size_t p = from; p >= to; --p) {
      if (MatchAt(pattern, text, p - 1, ignore_case)) return p;
    }
  }
  return 0;
}

std::string ReplaceAll(std::string_view text, std::string_view old_text, std::string_view new_text,
                       bool ignore_case, bool share_last_byte) {
  return DropErrors([&] {
    if (old_text.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t next = 0;  // first byte of text not yet copied or replaced
    // Whether the last byte of out is inserted text that may begin the next occurrence. The
    // occurrence then also takes at least one byte of text, so the loop always advances.
    bool shared = false;
    for (;;) {
      if (shared && SameByte(out.back(), old_text.front(), ignore_case) &&
          next + old_text.size() - 1 <= text.size() &&
          MatchAt(old_text.substr(1), text, next, ignore_case)) {
        out.pop_back();
        out.append(new_text);
        next += old_text.size() - 1;
        continue;
      }
      const std::size_t found = FindFrom(old_text, text, next, ignore_case);
      if (found == std::string_view::npos) break;
      out.append(text.substr(next, found - next));
      out.append(new_text);
      next = found + old_text.size();
      shared = share_last_byte && old_text.size() >= 2 && !new_text.empty();
    }
    out.append(text.substr(next));
    return out;
  });
}

std::string Trimmed(std::string_view text) {
  auto blank = [](char c) { return static_cast<std::uint8_t>(c) <= 32; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return DropErrors([&] { return std::string(text); });
}

std::string RemoveByte(std::string_view text, char byte) {
  return RemoveBytes(text, std::string_view(&byte, 1));
}

std::string RemoveBytes(std::string_view text, std::string_view set) {
  return DropErrors([&] {
    std::array<bool, 256> removed{};
    for (char c : set) removed[static_cast<std::uint8_t>(c)] = true;
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
      if (!removed[static_cast<std::uint8_t>(c)]) out.push_back(c);
    }
    return out;
  });
}

std::string_view ControlCharsButLineEnds() {
  static constexpr char kChars[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  11, 12, 14, 15, 16,
                                    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
  return std::string_view(kChars, sizeof kChars);
}

std::string UpperText(std::string_view text) {
  return ShiftBytes(text, -32, [](std::uint8_t b) {
    return (b >= 'a' && b <= 'z') || b == 0xE4 || b == 0xF6 || b == 0xFC;
  });
}

std::string LowerText(std::string_view text) {
  return ShiftBytes(text, 32, [](std::uint8_t b) {
    return (b >= 'A' && b <= 'Z') || b == 0xC4 || b == 0xD6 || b == 0xDC;
  });
}

std::size_t ItemCount(std::string_view text, char delimiter) {
  if (text.empty()) return 0;
  std::size_t count = 1;
  for (char c : text) count += c == delimiter;
  return count;
}

std::string NthItem(std::string_view text, std::size_t n, char delimiter) {
  if (n == 0 || text.empty()) return {};
  std::size_t start = 0;
  for (std::size_t i = 1; i < n; ++i) {
    const std::size_t end = text.find(delimiter, start);
    if (end == std::string_view::npos) return {};
    start = end + 1;
  }
  const std::size_t end = text.find(delimiter, start);
  return DropErrors([&] { return std::string(text.substr(start, end - start)); });
}

bool ContainsItem(std::string_view text, std::string_view item, char delimiter, bool ignore_case) {
  for (std::size_t p = FindFrom(item, text, 0, ignore_case); p != std::string_view::npos;
       p = FindFrom(item, text, p + 1, ignore_case)) {
    const std::size_t end = p + item.size();
    if ((p == 0 || text[p - 1] == delimiter) && (end == text.size() || text[end] == delimiter)) {
      return true;
    }
  }
  return false;
}

std::string TidyItems(std::string_view text, char delimiter) {
  return DropErrors([&] {
    auto significant = [delimiter](char c) {
      return static_cast<std::uint8_t>(c) > 32 && c != delimiter;
    };
    std::string out;
    out.reserve(text.size());
    std::size_t gap_start = 0;  // start of the insignificant run before the current byte
    bool gap_has_delimiter = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!significant(text[i])) {
        gap_has_delimiter |= text[i] == delimiter;
        continue;
      }
      if (!out.empty()) {
        if (gap_has_delimiter) {
          out.push_back(delimiter);
        } else {
          out.append(text.substr(gap_start, i - gap_start));
        }
      }
      out.push_back(text[i]);
      gap_start = i + 1;
      gap_has_delimiter = false;
    }
    return out;
  });
}

std::string DecText(std::int64_t value) {
  char digits[24];
  char* p = digits + sizeof digits;
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return DropErrors([&] { return std::string(p, digits + sizeof digits); });
}

std::string HexText(std::uint64_t value) {
  char digits[16];
  char* p = digits + sizeof digits;
  do {
    *--p = "0123456789abcdef"[value & 15];
    value >>= 4;
  } while (value != 0);
  return DropErrors([&] { return std::string(p, digits + sizeof digits); });
}

std::string Padded(std::string_view text, int width, char fill) {
  const std::int64_t wanted = width < 0 ? -static_cast<std::int64_t>(width) : width;
  if (wanted <= static_cast<std::int64_t>(text.size())) {
    return DropErrors([&] { return std::string(text); });
  }
  const std::size_t missing = static_cast<std::size_t>(wanted) - text.size();
  return DropErrors([&] {
    std::string out;
    out.reserve(static_cast<std::size_t>(wanted));
    if (width < 0) {
      out.append(text);
      out.append(missing, fill);
    } else if (IsDigit(fill) && !text.empty() && text.front() == '-') {
      out.push_back('-');
      out.append(missing, fill);
      out.append(text.substr(1));
    } else {
      out.append(missing, fill);
      out.append(text);
    }
    return out;
  });
}

std::string DollarHex(std::uint64_t value, int width, char fill) {
  return DropErrors([&] {
    if (IsDigit(fill)) return "$" + Padded(HexText(value), width, fill);
    int whole = width;
    if (width > 0 && width < std::numeric_limits<int>::max()) whole = width + 1;
    if (width < 0 && width > std::numeric_limits<int>::min()) whole = width - 1;
    return Padded("$" + HexText(value), whole, fill);
  });
}

std::string FormatFileVersion(std::uint64_t version) {
  return DropErrors([&] {
    std::string out;
    for (int shift = 48; shift >= 0; shift -= 16) {
      if (shift != 48) out += '.';
      out += DecText(static_cast<std::int64_t>((version >> shift) & 0xFFFF));
    }
    return out;
  });
}

std::int64_t DecToInt(std::string_view text) {
  bool negative = false;
  const std::uint64_t value = ParseDigits(text, 10, &negative);
  return static_cast<std::int64_t>(negative ? 0 - value : value);
}

std::int64_t HexToInt(std::string_view text) {
  bool negative = false;
  const std::uint64_t value = ParseDigits(text, 16, &negative);
  return static_cast<std::int64_t>(negative ? 0 - value : value);
}

}  // namespace support
