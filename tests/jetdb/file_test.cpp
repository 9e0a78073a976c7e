#include "jetdb/file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jetdb/error.h"
#include "test_files.h"

namespace {

using jetdb::Error;
using jetdb::File;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;

std::vector<std::uint8_t> Counting(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  return bytes;
}

TEST(File, MissingFileAndFolderGiveTheNotFoundMessage) {
  ScratchFile scratch({1, 2, 3});
  const std::string missing = scratch.Path() + ".nothere";
  try {
    File::OpenRead(missing);
    FAIL() << "opened a missing file";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), ("Could not find file '" + missing + "'.").c_str());
  }
  const std::string under_missing_folder = scratch.Path() + "x/inner.mdb";
  EXPECT_THROW(File::OpenRead(under_missing_folder), Error);
  const std::string folder = std::filesystem::path(scratch.Path()).parent_path().string();
  EXPECT_THROW(File::OpenRead(folder), Error);
}

TEST(File, ReadsAtOffsetsAndStopsShortAtTheEnd) {
  const auto bytes = Counting(10000);
  ScratchFile scratch(bytes);
  File file = File::OpenRead(scratch.Path());
  EXPECT_EQ(file.Size(), 10000u);

  std::vector<std::uint8_t> buffer(4096);
  ASSERT_EQ(file.ReadAt(4096, buffer.data(), buffer.size()), 4096u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin() + 4096));

  // Reads near and past the end return what is there, not an error.
  EXPECT_EQ(file.ReadAt(8192, buffer.data(), buffer.size()), 10000u - 8192u);
  EXPECT_EQ(buffer[0], bytes[8192]);
  EXPECT_EQ(file.ReadAt(20000, buffer.data(), buffer.size()), 0u);
}

TEST(File, OpensReadOnlyFilesAndNeverChangesThem) {
  const auto bytes = Counting(5000);
  ScratchFile scratch(bytes);
  const auto before = std::filesystem::last_write_time(scratch.Path());
  std::filesystem::permissions(scratch.Path(), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::group_read |
                                                   std::filesystem::perms::others_read);
  {
    File file = File::OpenRead(scratch.Path());
    std::vector<std::uint8_t> buffer(5000);
    EXPECT_EQ(file.ReadAt(0, buffer.data(), buffer.size()), 5000u);
    EXPECT_EQ(buffer, bytes);
  }
  EXPECT_EQ(ReadAll(scratch.Path()), bytes);
  EXPECT_EQ(std::filesystem::last_write_time(scratch.Path()), before);
}

// Pages written while the file grows: every byte must reach the file at once, where readers
// with handles of their own see it, and read back the same through the writing handle,
// whether it lies in the part of the file that existed at opening, in a part the file grew
// into later, or across the boundary between two such parts.
TEST(File, WritesReachTheFileAtOnceWhileItGrows) {
  constexpr std::size_t kPage = 4096;
  auto expected = Counting(3 * 65536 + 5 * kPage);  // an odd tail past whole 64 KB parts
  ScratchFile scratch(expected);
  File file = File::OpenReadWrite(scratch.Path());
  const auto page_of = [](std::size_t number) {
    return std::vector<std::uint8_t>(kPage, static_cast<std::uint8_t>(number * 13 + 1));
  };
  const auto write = [&](std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    file.WriteAt(offset, bytes.data(), bytes.size());
    if (offset + bytes.size() > expected.size()) expected.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), expected.begin() + static_cast<std::ptrdiff_t>(offset));
  };
  for (std::size_t round = 0; round < 80; ++round) {
    write(expected.size(), page_of(round));                                        // grow by a page
    write((round * 7 % (expected.size() / kPage)) * kPage, page_of(round + 100));  // rewrite one
    if (round % 16 == 0) {
      // Two pages across the boundary of two 64 KB parts, in one write.
      auto two = page_of(round + 200);
      two.resize(2 * kPage, 0x5a);
      write(65536 - kPage, two);
    }
    ASSERT_EQ(ReadAll(scratch.Path()), expected) << "after round " << round;
  }
  EXPECT_EQ(file.Size(), expected.size());
  std::vector<std::uint8_t> back(expected.size());
  ASSERT_EQ(file.ReadAt(0, back.data(), back.size()), back.size());
  EXPECT_EQ(back, expected);
  std::vector<std::uint8_t> across(3 * kPage);
  ASSERT_EQ(file.ReadAt(2 * 65536 - kPage, across.data(), across.size()), across.size());
  EXPECT_TRUE(std::equal(across.begin(), across.end(), expected.begin() + 2 * 65536 - kPage));
}

}  // namespace
