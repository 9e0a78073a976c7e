// Our Blowfish against OpenSSL's on many keys and blocks (host only).
#include <gtest/gtest.h>
#include <openssl/blowfish.h>

#include <cstdint>
#include <random>
#include <string>

#include "support/blowfish.h"
#include "support/cipher.h"

namespace {

TEST(BlowfishAgainstOpenSsl, SameBlocksForManyKeys) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 300; ++round) {
    // Lengths past 72 bytes check that both stop using key bytes at the same place.
    std::string key(1 + random() % 80, '\0');
    for (char& c : key) c = static_cast<char>(random());
    BF_KEY theirs;
    BF_set_key(&theirs, static_cast<int>(key.size()),
               reinterpret_cast<const unsigned char*>(key.data()));
    const support::Blowfish ours(key);
    for (int block = 0; block < 20; ++block) {
      BF_LONG data[2] = {static_cast<BF_LONG>(random()), static_cast<BF_LONG>(random())};
      std::uint32_t left = data[0];
      std::uint32_t right = data[1];
      BF_encrypt(data, &theirs);
      ours.Encrypt(left, right);
      ASSERT_EQ(left, data[0]) << round;
      ASSERT_EQ(right, data[1]) << round;
      BF_decrypt(data, &theirs);
      ours.Decrypt(left, right);
      ASSERT_EQ(left, data[0]);
      ASSERT_EQ(right, data[1]);
    }
  }
}

TEST(BlowfishAgainstOpenSsl, StandardModeMatchesEcb) {
  std::mt19937 random(7);
  const std::string key = "standard block mode";
  BF_KEY theirs;
  BF_set_key(&theirs, static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(key.data()));
  std::string ours(8 * 64, '\0');
  for (char& c : ours) c = static_cast<char>(random());
  std::string expected = ours;
  for (std::size_t i = 0; i < expected.size(); i += 8) {
    auto* block = reinterpret_cast<unsigned char*>(&expected[i]);
    BF_ecb_encrypt(block, block, &theirs, BF_ENCRYPT);
  }
  ASSERT_TRUE(support::CipherBlocks(ours.data(), ours.size(), true, false, 0, 0, key));
  EXPECT_EQ(ours, expected);
}

TEST(BlowfishAgainstOpenSsl, ZeroKeyAndBlock) {
  const unsigned char zero_key[8] = {};
  BF_KEY theirs;
  BF_set_key(&theirs, 8, zero_key);
  BF_LONG data[2] = {0, 0};
  BF_encrypt(data, &theirs);
  EXPECT_EQ(data[0], 0x4ef99745u);
  EXPECT_EQ(data[1], 0x6198dd78u);
}

}  // namespace
