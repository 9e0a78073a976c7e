#include "support/base64.h"

#include <array>
#include <cstdint>

#include "support/text_rules.h"

namespace support {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& entry : table) entry = kNotInAlphabet;
  for (int i = 0; i < 64; ++i)
    table[static_cast<std::uint8_t>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  return table;
}

constexpr std::array<std::uint8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  return DropErrors([&] {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
      const std::size_t left = bytes.size() - i;
      std::uint32_t group = static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i])) << 16;
      if (left > 1)
        group |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + 1])) << 8;
      if (left > 2) group |= static_cast<std::uint8_t>(bytes[i + 2]);
      out.push_back(kAlphabet[group >> 18]);
      out.push_back(kAlphabet[(group >> 12) & 63]);
      out.push_back(left > 1 ? kAlphabet[(group >> 6) & 63] : '=');
      out.push_back(left > 2 ? kAlphabet[group & 63] : '=');
    }
    return out;
  });
}

std::string Base64Decode(std::string_view text) {
  return DropErrors([&] {
    std::string out;
    if (text.empty() || text.size() % 4 != 0) return out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
      std::uint32_t group = 0;
      for (int k = 0; k < 4; ++k) {
        const std::uint8_t value = kDecode[static_cast<std::uint8_t>(text[i + k])];
        if (value == kNotInAlphabet) {
          // Two sextets make one byte, three make two.
          if (k >= 2) out.push_back(static_cast<char>(group >> (6 * k - 8)));
          if (k == 3) out.push_back(static_cast<char>(group >> 2));
          return out;
        }
        group = group << 6 | value;
      }
      out.push_back(static_cast<char>(group >> 16));
      out.push_back(static_cast<char>(group >> 8));
      out.push_back(static_cast<char>(group));
    }
    return out;
  });
}

}  // namespace support
