#include "support/cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "support/base64.h"
#include "support/blowfish.h"
#include "tests/support/pi_words.h"

namespace {

using namespace support;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    out.push_back("0123456789abcdef"[static_cast<std::uint8_t>(c) >> 4]);
    out.push_back("0123456789abcdef"[static_cast<std::uint8_t>(c) & 15]);
  }
  return out;
}

std::string Standard(std::string data, const std::string& key, bool encrypt = true) {
  EXPECT_TRUE(CipherBlocks(data.data(), data.size(), encrypt, false, 0, 0, key));
  return data;
}

std::string Reversed(std::string s) {
  std::reverse(s.begin(), s.end());
  return s;
}

TEST(Blowfish, InitialTablesAreTheDigitsOfPi) {
  const auto pi = testing_support::PiFractionWords(18 + 4 * 256);
  const std::array<const std::array<std::uint32_t, 256>*, 4> boxes = {
      &Blowfish::kInitialS0, &Blowfish::kInitialS1, &Blowfish::kInitialS2, &Blowfish::kInitialS3};
  for (std::size_t i = 0; i < 18; ++i) ASSERT_EQ(Blowfish::kInitialP[i], pi[i]) << i;
  for (std::size_t b = 0; b < 4; ++b) {
    for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ((*boxes[b])[i], pi[18 + 256 * b + i]) << b << i;
  }
}

TEST(Blowfish, KnownAnswerForZeroKeyAndBlock) {
  EXPECT_EQ(Hex(Standard(std::string(8, '\0'), std::string(8, '\0'))), "4ef997456198dd78");
}

TEST(Blowfish, EmptyKeyIsRefused) {
  std::string data(8, 'x');
  EXPECT_FALSE(CipherBlocks(data.data(), data.size(), true, false, 0, 0, ""));
  EXPECT_FALSE(CipherBlocks(data.data(), data.size(), true, false, 1, 0, ""));
  EXPECT_EQ(data, std::string(8, 'x'));
  EXPECT_EQ(EncryptText("12345678", ""), "12345678");
  EXPECT_EQ(DecryptWithCounter(Bytes({1, 2, 3, 4, 5, 6, 7, 1}), "", 1, 0).size(), 8u);
}

TEST(BlockModes, RoundTripsAndDifferBetweenByteOrders) {
  const std::string plain = "sixteen byte txt";
  const std::string key = "a key";
  const std::string native = EncryptText(plain, key);
  const std::string standard = Standard(plain, key);
  EXPECT_NE(native, plain);
  EXPECT_NE(native, standard);
  EXPECT_EQ(DecryptText(native, key), plain);
  EXPECT_EQ(Standard(standard, key, false), plain);
  EXPECT_NE(DecryptText(native, "another key"), plain);
}

TEST(BlockModes, NativeOrderIsStandardOrderOnTheReversedBlock) {
  const std::string block = Bytes({0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef});
  EXPECT_EQ(EncryptText(block, "key"), Reversed(Standard(Reversed(block), "key")));
}

TEST(BlockModes, PartialTrailingBlockStaysUnchanged) {
  const std::string plain = "0123456789ab";  // 12 bytes
  const std::string cipher = EncryptText(plain, "k");
  EXPECT_NE(cipher.substr(0, 8), plain.substr(0, 8));
  EXPECT_EQ(cipher.substr(8), "89ab");
  EXPECT_EQ(EncryptText("short", "k"), "short");
}

TEST(CounterMode, KeystreamIsTheEncipheredBigEndianCounter) {
  // Counter bytes 00 00 00 00 | 00 00 00 ff: the first increment carries into byte 6.
  const std::uint32_t low = 0;
  const std::uint32_t high = 0xFF000000;
  std::string zeros(16, '\0');
  ASSERT_TRUE(CipherBlocks(zeros.data(), zeros.size(), false, false, low, high, "ctr"));
  const std::string counters = Bytes({0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 1});
  EXPECT_EQ(Hex(zeros), Hex(Standard(counters, "ctr")));
}

TEST(CounterMode, TwelveBytesChangeOnlyTheWholeBlock) {
  const std::string plain = "twelve bytes";
  std::string data = plain;
  ASSERT_TRUE(CipherBlocks(data.data(), data.size(), true, false, 7, 0, "key"));
  EXPECT_NE(data.substr(0, 8), plain.substr(0, 8));
  EXPECT_EQ(data.substr(8), plain.substr(8));
  // The same operation undoes itself, whatever the encrypt flag says.
  ASSERT_TRUE(CipherBlocks(data.data(), data.size(), false, true, 7, 0, "key"));
  EXPECT_EQ(data, plain);
}

TEST(CounterMode, PaddingRemoval) {
  const std::string key = "pad";
  auto decrypted = [&](const std::string& plain) {
    std::string data = plain;
    CipherBlocks(data.data(), data.size(), true, false, 3, 0, key);
    return DecryptWithCounter(data, key, 3, 0);
  };
  EXPECT_EQ(decrypted(Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 1})), "abcdefg");
  EXPECT_EQ(decrypted(Bytes({'a', 'b', 'c', 'd', 'e', 3, 3, 3})), "abcde");
  EXPECT_EQ(decrypted(Bytes({8, 8, 8, 8, 8, 8, 8, 8})), "");
  // Not a valid padding: kept.
  EXPECT_EQ(decrypted(Bytes({'a', 'b', 'c', 'd', 'e', 2, 3, 3})).size(), 8u);
  EXPECT_EQ(decrypted(Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 0})).size(), 8u);
  EXPECT_EQ(decrypted(Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 9})).size(), 8u);
  // A padding byte larger than the text must not reach before its start.
  EXPECT_EQ(DecryptWithCounter(Bytes({5, 5, 5}), key, 3, 0), Bytes({5, 5, 5}));
}

TEST(CounterMode, EncryptWithCounterIsTheInverse) {
  for (std::size_t length = 0; length <= 17; ++length) {
    const std::string plain(length, static_cast<char>('a' + length));
    const std::string cipher = EncryptWithCounter(plain, "key", 11, 0);
    EXPECT_EQ(cipher.size() % 8, 0u);
    EXPECT_GT(cipher.size(), plain.size());
    EXPECT_EQ(DecryptWithCounter(cipher, "key", 11, 0), plain) << length;
  }
}

TEST(StoredPassword, RoundTripsThroughBothKeys) {
  const std::string stored = EncodeStoredPassword("s3cret!", "smtp.example.net", "reporter");
  EXPECT_EQ(
      stored.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
      std::string::npos);
  EXPECT_EQ(DecodeStoredPassword(stored, "smtp.example.net", "reporter"), "s3cret!");
  EXPECT_NE(DecodeStoredPassword(stored, "smtp.example.net", "someone"), "s3cret!");
  // A missing account or server leaves its step out on both sides.
  EXPECT_EQ(DecodeStoredPassword(EncodeStoredPassword("pw", "host", ""), "host", ""), "pw");
  EXPECT_EQ(DecodeStoredPassword(EncodeStoredPassword("pw", "", ""), "", ""), "pw");
  EXPECT_EQ(DecodeStoredPassword("not base64", "host", "user"), "");
}

}  // namespace
