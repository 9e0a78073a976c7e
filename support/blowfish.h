// The Blowfish block cipher: 64-bit blocks, 16 rounds, the standard initial tables (the
// hexadecimal digits of pi) and the standard key schedule.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace support {

class Blowfish {
 public:
  // Key bytes are taken in order, four to a word, most significant first, cycling through
  // the key; bytes past the 72nd are not used. An empty key leaves the P-array as the
  // initial tables give it (callers refuse empty keys before they get here).
  explicit Blowfish(std::string_view key);

  void Encrypt(std::uint32_t& left, std::uint32_t& right) const;
  // Runs the rounds with the P-array in reverse order.
  void Decrypt(std::uint32_t& left, std::uint32_t& right) const;

  static const std::array<std::uint32_t, 18> kInitialP;
  static const std::array<std::uint32_t, 256> kInitialS0;
  static const std::array<std::uint32_t, 256> kInitialS1;
  static const std::array<std::uint32_t, 256> kInitialS2;
  static const std::array<std::uint32_t, 256> kInitialS3;

 private:
  std::uint32_t Round(std::uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
  }

  std::array<std::uint32_t, 18> p_;
  std::array<std::array<std::uint32_t, 256>, 4> s_;
};

}  // namespace support
