// The zip writer under Windows: local times, the system's attribute bits and code-page names.
// The archive is read back here and also left at PELMORA_BUILD\wine_attachments.zip, so that
// unzip -t and check_zip.py can check it on the host afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "reporter/archive/compression.h"
#include "reporter/archive/crc32.h"
#include "reporter/archive/zip.h"

namespace {

using namespace reporter::archive;

std::string TempFolder() {
  char buffer[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, buffer);
  std::string folder = std::string(buffer) + "pelmora_zip_test\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

unsigned U16(const std::string& z, std::size_t at) {
  return static_cast<std::uint8_t>(z[at]) | static_cast<std::uint8_t>(z[at + 1]) << 8;
}
unsigned U32(const std::string& z, std::size_t at) { return U16(z, at) | U16(z, at + 2) << 16; }

TEST(ZipArchiveWin, ReadsBackWithTimesAttributesAndUtf8Names) {
  const std::string folder = TempFolder();
  // A file name in the 8-bit code page (1252 under the tests' locale): "Grüße.txt".
  const std::string name =
      "Gr\xFC\xDF"
      "e.txt";
  const std::string path = folder + name;
  std::string content;
  for (int i = 0; i < 300; ++i) content += "row " + std::to_string(i) + "\r\n";
  std::ofstream(path, std::ios::binary) << content;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);

  const std::string archive = folder + "out.zip";
  ASSERT_TRUE(CreateZipArchive(archive, {folder + "missing.txt", path}, {}));
  const std::string z = ReadAll(archive);
  ASSERT_GT(z.size(), 30u + 22);
  EXPECT_EQ(U16(z, 6), 0x0800u);
  EXPECT_EQ(U16(z, 8), 8u);
  const unsigned name_length = U16(z, 26);
  EXPECT_EQ(z.substr(30, name_length),
            "Gr\xC3\xBC\xC3\x9F"
            "e.txt");
  const unsigned compressed = U32(z, 18);
  std::string back(U32(z, 22), '\0');
  ASSERT_EQ(UncompressBlock(z.data() + 30 + name_length, back.data(), compressed, back.size()),
            content.size());
  EXPECT_EQ(back, content);
  EXPECT_EQ(U32(z, 14), Crc32(content.data(), content.size()));

  // DOS time and date: the file's last write in local time.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
  FILETIME local{};
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  EXPECT_EQ(U16(z, 10), time);
  EXPECT_EQ(U16(z, 12), date);
  const std::size_t central = 30 + name_length + compressed;
  EXPECT_EQ(U32(z, central + 38), data.dwFileAttributes);

  if (const char* build = std::getenv("PELMORA_BUILD")) {
    CopyFileA(archive.c_str(), (std::string("Z:") + build + "\\wine_attachments.zip").c_str(),
              FALSE);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
  DeleteFileA(archive.c_str());
  EXPECT_FALSE(CreateZipArchive(archive, {path}, {}));
  EXPECT_EQ(GetFileAttributesA(archive.c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
