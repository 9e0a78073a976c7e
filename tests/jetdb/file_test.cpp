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

}  // namespace
