#include "support/cipher.h"

#include "support/base64.h"
#include "support/blowfish.h"
#include "support/text_rules.h"

namespace support {

namespace {

std::uint32_t LoadBigEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void StoreBigEndian(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

std::uint32_t LoadLittleEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[3]) << 24 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

void StoreLittleEndian(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void CounterMode(const Blowfish& cipher, std::uint8_t* data, std::size_t blocks,
                 std::uint32_t counter_low, std::uint32_t counter_high) {
  std::uint8_t counter[8];
  StoreLittleEndian(counter, counter_low);
  StoreLittleEndian(counter + 4, counter_high);
  for (std::size_t b = 0; b < blocks; ++b, data += 8) {
    for (int i = 7; i >= 0 && ++counter[i] == 0; --i) {
    }
    std::uint32_t left = LoadBigEndian(counter);
    std::uint32_t right = LoadBigEndian(counter + 4);
    cipher.Encrypt(left, right);
    std::uint8_t stream[8];
    StoreBigEndian(stream, left);
    StoreBigEndian(stream + 4, right);
    for (int i = 0; i < 8; ++i) data[i] ^= stream[i];
  }
}

std::string Ciphered(std::string_view text, std::string_view key, bool encrypt) {
  return DropErrors([&] {
    std::string out(text);
    CipherBlocks(out.data(), out.size(), encrypt, true, 0, 0, key);
    return out;
  });
}

std::size_t PaddingLength(std::string_view text) {
  if (text.empty()) return 0;
  const std::uint8_t n = static_cast<std::uint8_t>(text.back());
  if (n == 1) return 1;
  if (n < 2 || n > 8 || text.size() < n) return 0;
  for (std::size_t i = text.size() - n; i < text.size(); ++i) {
    if (static_cast<std::uint8_t>(text[i]) != n) return 0;
  }
  return n;
}

}  // namespace

bool CipherBlocks(void* data, std::size_t length, bool encrypt, bool native_order,
                  std::uint32_t counter_low, std::uint32_t counter_high, std::string_view key) {
  if (key.empty() || (data == nullptr && length != 0)) return false;
  const Blowfish cipher(key);
  std::uint8_t* bytes = static_cast<std::uint8_t*>(data);
  const std::size_t blocks = length / 8;
  if (counter_low != 0 || counter_high != 0) {
    CounterMode(cipher, bytes, blocks, counter_low, counter_high);
    return true;
  }
  for (std::size_t b = 0; b < blocks; ++b, bytes += 8) {
    std::uint32_t left = native_order ? LoadLittleEndian(bytes + 4) : LoadBigEndian(bytes);
    std::uint32_t right = native_order ? LoadLittleEndian(bytes) : LoadBigEndian(bytes + 4);
    if (encrypt) {
      cipher.Encrypt(left, right);
    } else {
      cipher.Decrypt(left, right);
    }
    if (native_order) {
      StoreLittleEndian(bytes + 4, left);
      StoreLittleEndian(bytes, right);
    } else {
      StoreBigEndian(bytes, left);
      StoreBigEndian(bytes + 4, right);
    }
  }
  return true;
}

std::string EncryptText(std::string_view text, std::string_view key) {
  return Ciphered(text, key, true);
}

std::string DecryptText(std::string_view text, std::string_view key) {
  return Ciphered(text, key, false);
}

std::string DecryptWithCounter(std::string_view text, std::string_view key,
                               std::uint32_t counter_low, std::uint32_t counter_high) {
  return DropErrors([&] {
    std::string out(text);
    if (!CipherBlocks(out.data(), out.size(), true, false, counter_low, counter_high, key)) {
      return out;
    }
    out.resize(out.size() - PaddingLength(out));
    return out;
  });
}

std::string EncryptWithCounter(std::string_view text, std::string_view key,
                               std::uint32_t counter_low, std::uint32_t counter_high) {
  return DropErrors([&] {
    std::string out(text);
    if (key.empty()) return out;
    const std::size_t padding = 8 - out.size() % 8;
    out.append(padding, static_cast<char>(padding));
    CipherBlocks(out.data(), out.size(), true, false, counter_low, counter_high, key);
    return out;
  });
}

std::string DecodeStoredPassword(std::string_view stored, std::string_view server,
                                 std::string_view account) {
  return DropErrors([&] {
    const std::string outer =
        DecryptWithCounter(Base64Decode(stored), server, kPasswordServerCounter, 0);
    return DecryptWithCounter(outer, account, kPasswordAccountCounter, 0);
  });
}

std::string EncodeStoredPassword(std::string_view plain, std::string_view server,
                                 std::string_view account) {
  return DropErrors([&] {
    const std::string inner = EncryptWithCounter(plain, account, kPasswordAccountCounter, 0);
    return Base64Encode(EncryptWithCounter(inner, server, kPasswordServerCounter, 0));
  });
}

}  // namespace support
