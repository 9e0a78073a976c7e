#include "support/blowfish.h"

#include <cstddef>
#include <utility>

namespace support {

Blowfish::Blowfish(std::string_view key)
    : p_(kInitialP), s_{kInitialS0, kInitialS1, kInitialS2, kInitialS3} {
  if (!key.empty()) {
    std::size_t next = 0;
    for (std::uint32_t& word : p_) {
      std::uint32_t data = 0;
      for (int i = 0; i < 4; ++i) {
        data = (data << 8) | static_cast<std::uint8_t>(key[next]);
        next = (next + 1) % key.size();
      }
      word ^= data;
    }
  }
  // Every table entry in turn becomes the encryption of the previous pair, starting from zero.
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < p_.size(); i += 2) {
    Encrypt(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (std::size_t i = 0; i < box.size(); i += 2) {
      Encrypt(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

void Blowfish::Encrypt(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= Round(l);
    r ^= p_[i + 1];
    l ^= Round(r);
  }
  l ^= p_[16];
  r ^= p_[17];
  left = r;
  right = l;
}

void Blowfish::Decrypt(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= p_[i];
    r ^= Round(l);
    r ^= p_[i - 1];
    l ^= Round(r);
  }
  l ^= p_[1];
  r ^= p_[0];
  left = r;
  right = l;
}

}  // namespace support
