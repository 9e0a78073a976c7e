// Error-code texts (Windows), with a message module of the tests' own standing in for the
// network message module.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/text_rules.h"

namespace {

using support::ErrorCodeText;

std::string OwnFile() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string TestMessages() {
  const std::string own = OwnFile();
  return own.substr(0, own.find_last_of("\\/") + 1) + "test_messages.dll";
}

TEST(ErrorCodeText, SystemTextWithoutLineBreaks) {
  char* buffer = nullptr;
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, ERROR_FILE_NOT_FOUND, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  ASSERT_NE(buffer, nullptr);
  std::string expected;
  for (const char* p = buffer; *p != '\0'; ++p) {
    if (*p != '\n') expected.push_back(*p == '\r' ? ' ' : *p);
  }
  LocalFree(buffer);
  EXPECT_EQ(ErrorCodeText(ERROR_FILE_NOT_FOUND), expected);
  EXPECT_EQ(ErrorCodeText(ERROR_FILE_NOT_FOUND).find_first_of("\r\n"), std::string::npos);
}

TEST(ErrorCodeText, StatusCodesAreConvertedFirst) {
  // An access violation status is the system error 998 (invalid access to memory location).
  EXPECT_EQ(ErrorCodeText(0xC0000005u), ErrorCodeText(ERROR_NOACCESS));
  // A status the system cannot convert keeps its own code.
  EXPECT_EQ(ErrorCodeText(0xE0ABCDEFu), "Error $e0abcdef");
}

TEST(ErrorCodeText, NetworkCodesComeFromTheMessageModule) {
  const std::string module = TestMessages();
  ASSERT_NE(GetFileAttributesA(module.c_str()), INVALID_FILE_ATTRIBUTES) << module;
  EXPECT_EQ(ErrorCodeText(2102, module), "The test message for code 2102. It has a second line. ");
  EXPECT_EQ(ErrorCodeText(2999, module), "Error $bb7");
  EXPECT_EQ(ErrorCodeText(2102, module + ".missing"), "Error $836");
}

TEST(ErrorCodeText, WithoutTextThePrefixAndTheDollarForm) {
  EXPECT_EQ(ErrorCodeText(0x3FFFFF00u), "Error $3fffff00");
}

TEST(ErrorCodeText, NamesAreNotPlainInTheProgramFile) {
  std::ifstream in(OwnFile(), std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 10000u);
  EXPECT_EQ(image.find(std::string("RtlNtStatus") + "ToDosError"), std::string::npos);
  EXPECT_EQ(image.find(std::string("netmsg") + ".dll"), std::string::npos);
}

}  // namespace
