// Base64 decoding, the item-list rules and the text search on arbitrary bytes: nothing may
// crash or read past its input, and the results must keep their own rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/base64.h"
#include "support/cipher.h"
#include "support/text_rules.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void FuzzBase64(std::string_view text) {
  const std::string bytes = support::Base64Decode(text);
  Check(bytes.size() <= text.size() / 4 * 3);
  Check(support::Base64Decode(support::Base64Encode(bytes)) == bytes);
}

void FuzzItems(std::string_view text, std::string_view item, char delimiter) {
  const std::size_t count = support::ItemCount(text, delimiter);
  Check((count == 0) == text.empty());
  // The items put back together give the text (the first ones; later ones cost quadratic time).
  std::string joined;
  for (std::size_t n = 1; n <= count && n <= 64; ++n) {
    if (n > 1) joined.push_back(delimiter);
    joined += support::NthItem(text, n, delimiter);
  }
  if (count <= 64) Check(joined == text);
  Check(support::NthItem(text, count + 1, delimiter).empty());

  const bool contained = support::ContainsItem(text, item, delimiter, true);
  if (contained) Check(!item.empty() && support::FindText(item, text, true) != 0);

  const std::string tidy = support::TidyItems(text, delimiter);
  Check(support::TidyItems(tidy, delimiter) == tidy);
  if (!tidy.empty()) {
    Check(tidy.front() != delimiter && tidy.back() != delimiter);
    Check(static_cast<std::uint8_t>(tidy.front()) > 32 &&
          static_cast<std::uint8_t>(tidy.back()) > 32);
  }
}

void FuzzSearch(std::string_view text, std::string_view pattern, std::size_t from, std::size_t to) {
  const std::size_t found = support::FindText(pattern, text, from, to, true);
  if (found != 0) {
    Check(found + pattern.size() - 1 <= text.size());
    Check(support::SameText(text.substr(found - 1, pattern.size()), pattern));
  }
  const std::string replaced = support::ReplaceAll(text, pattern, "|", true, true);
  if (!pattern.empty() && pattern.size() > 1) Check(replaced.size() <= text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const char delimiter = static_cast<char>(data[0]);
  const std::size_t split = data[1] % (size - 2 + 1);
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::string_view text = rest.substr(split);
  const std::string_view part = rest.substr(0, split);

  FuzzBase64(rest);
  FuzzItems(text, part, delimiter);
  FuzzSearch(text, part.substr(0, 8), data[1], data[0]);
  support::DecodeStoredPassword(text, part, "account");
  return 0;
}
