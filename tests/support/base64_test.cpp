#include "support/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using support::Base64Decode;
using support::Base64Encode;

TEST(Base64, TestVectorsOfTheStandard) {
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), plain);
  }
}

TEST(Base64, AllByteValuesRoundTrip) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(255 - i));
  for (std::size_t length = 0; length <= bytes.size(); length += 37) {
    const std::string part = bytes.substr(0, length);
    EXPECT_EQ(Base64Decode(Base64Encode(part)), part);
  }
  EXPECT_EQ(Base64Encode("\xfb\xff"), "+/8=");
}

TEST(Base64, LengthMustBeAPositiveMultipleOfFour) {
  EXPECT_EQ(Base64Decode("Zm9vYg="), "");
  EXPECT_EQ(Base64Decode("Zm9"), "");
  EXPECT_EQ(Base64Decode("Zm9vY"), "");
}

TEST(Base64, DecodingStopsAtTheFirstByteOutsideTheAlphabet) {
  EXPECT_EQ(Base64Decode("Zm9vYmE="), "fooba");  // one "=": two bytes of the last group
  EXPECT_EQ(Base64Decode("Zm9vYg=="), "foob");   // two "=": one byte
  EXPECT_EQ(Base64Decode("Zm9vYmFy====").size(), 6u);
  EXPECT_EQ(Base64Decode("Zm=vYmFy"), "f");     // stopped at the third position: one byte
  EXPECT_EQ(Base64Decode("Z===Zm9v"), "");      // stopped at the second position: nothing
  EXPECT_EQ(Base64Decode("Zm9v Zm9v"), "");     // length 9
  EXPECT_EQ(Base64Decode("Zm9v\nZm9"), "foo");  // stops at the line feed
}

}  // namespace
