#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "reporter/archive/compression.h"
#include "reporter/archive/crc32.h"
#include "reporter/archive/zip.h"

namespace {

using namespace reporter::archive;
namespace fs = std::filesystem;

TEST(Crc32, KnownValuesAndRunningUpdates) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  // The update step does not invert: feeding in pieces equals one call, and equals zlib.
  const std::uint32_t running = AddToCrc32(AddToCrc32(0xFFFFFFFFu, "1234", 4), "56789", 5);
  EXPECT_EQ(~running, 0xCBF43926u);
  std::string text(1000, 'x');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
  EXPECT_EQ(Crc32(text.data(), text.size()),
            crc32(0, reinterpret_cast<const Bytef*>(text.data()), text.size()));
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

TEST(Compression, RoundTripsAndRefusesDamagedOrMismatchedInput) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i % 17) + "\r\n";
  std::vector<std::uint8_t> packed(text.size());
  const std::size_t n = DeflateBuffer(text.data(), packed.data(), text.size(), packed.size());
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, text.size() / 4);
  // Raw stream: no zlib header (0x78 ...), so zlib's own uncompress refuses it.
  std::string back(text.size(), '\0');
  EXPECT_EQ(UncompressBlock(packed.data(), back.data(), n, text.size()), text.size());
  EXPECT_EQ(back, text);

  // The expected length must match exactly, both ways.
  std::string longer(text.size() + 1, '\0');
  EXPECT_EQ(UncompressBlock(packed.data(), longer.data(), n, text.size() + 1), 0u);
  EXPECT_EQ(UncompressBlock(packed.data(), back.data(), n, text.size() - 1), 0u);
  // Every input byte must be consumed; a cut stream does not end.
  std::vector<std::uint8_t> trailing(packed.begin(), packed.begin() + n);
  trailing.push_back(0);
  EXPECT_EQ(UncompressBlock(trailing.data(), back.data(), trailing.size(), text.size()), 0u);
  EXPECT_EQ(UncompressBlock(packed.data(), back.data(), n - 1, text.size()), 0u);
  // Garbage is refused, not raised.
  const auto noise = RandomBytes(64, 1);
  EXPECT_EQ(UncompressBlock(noise.data(), back.data(), noise.size(), text.size()), 0u);

  // Too little room gives 0; incompressible data grows a little but fits the zip allowance.
  const auto random = RandomBytes(100000, 2);
  std::vector<std::uint8_t> small(1000);
  EXPECT_EQ(DeflateBuffer(random.data(), small.data(), random.size(), small.size()), 0u);
  std::vector<std::uint8_t> room(random.size() * 11 / 10 + 12);
  const std::size_t m = DeflateBuffer(random.data(), room.data(), random.size(), room.size());
  EXPECT_GT(m, random.size());
  std::vector<std::uint8_t> again(random.size());
  EXPECT_EQ(UncompressBlock(room.data(), again.data(), m, random.size()), random.size());
  EXPECT_EQ(again, random);
  // An empty buffer compresses to a valid, non-empty stream.
  EXPECT_GT(DeflateBuffer("", room.data(), 0, room.size()), 0u);
}

class ZipArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("pelmora_zip_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& content) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }
  static std::string Checker() { return std::string(PELMORA_ARCHIVE_TESTS) + "/check_zip.py"; }

  fs::path dir_;
};

TEST_F(ZipArchive, ExternalToolsAcceptArchiveAndSeeEveryEntry) {
  std::string report;
  for (int i = 0; i < 500; ++i) report += "Exception " + std::to_string(i) + "\r\n";
  const auto noise = RandomBytes(20000, 3);
  const std::string text = Write("bugreport.txt", report);
  const std::string binary = Write("shot.png", std::string(noise.begin(), noise.end()));
  const std::string empty = Write("empty.log", "");
  const std::string archive = Path("out.zip");
  // Fewer stored names than files: the rest go in under their file names. The same stored
  // name twice is written twice.
  ASSERT_TRUE(CreateZipArchive(archive, {text, binary, empty, text}, {"report.txt", "report.txt"}));
  EXPECT_TRUE(Run("unzip -tq '" + archive + "' >/dev/null"));
  EXPECT_TRUE(Run("python3 '" + Checker() + "' '" + archive + "' report.txt='" + text +
                  "' report.txt='" + binary + "' empty.log='" + empty + "' bugreport.txt='" + text +
                  "'"));
}

TEST_F(ZipArchive, ExactLayoutOfHeadersAndDirectory) {
  const std::string file = Write("a.txt", "hello hello hello");
  const std::string archive = Path("layout.zip");
  ASSERT_TRUE(CreateZipArchive(archive, {file}, {}));
  std::ifstream in(archive, std::ios::binary);
  const std::string z((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u16 = [&](std::size_t at) {
    return static_cast<unsigned>(static_cast<std::uint8_t>(z[at]) |
                                 static_cast<std::uint8_t>(z[at + 1]) << 8);
  };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  ASSERT_GT(z.size(), 30u + 5 + 46 + 5 + 22);
  EXPECT_EQ(u32(0), 0x04034B50u);
  EXPECT_EQ(u16(4), 20u);
  EXPECT_EQ(u16(6), 0x0800u);
  EXPECT_EQ(u16(8), 8u);
  EXPECT_EQ(u32(14), Crc32("hello hello hello", 17));
  const unsigned compressed = u32(18);
  EXPECT_EQ(u32(22), 17u);
  EXPECT_EQ(u16(26), 5u);
  EXPECT_EQ(u16(28), 0u);
  EXPECT_EQ(z.substr(30, 5), "a.txt");
  const std::size_t central = 30 + 5 + compressed;
  EXPECT_EQ(u32(central), 0x02014B50u);
  EXPECT_EQ(u16(central + 4), 20u);
  EXPECT_EQ(z.substr(central + 6, 24), z.substr(4, 24));
  for (std::size_t at = central + 30; at < central + 38; at += 2) EXPECT_EQ(u16(at), 0u);
  EXPECT_EQ(u32(central + 42), 0u);
  const std::size_t end = central + 46 + 5;
  ASSERT_EQ(z.size(), end + 22);
  EXPECT_EQ(u32(end), 0x06054B50u);
  EXPECT_EQ(u16(end + 8), 1u);
  EXPECT_EQ(u16(end + 10), 1u);
  EXPECT_EQ(u32(end + 12), 51u);
  EXPECT_EQ(u32(end + 16), central);
}

TEST_F(ZipArchive, NonAsciiNamesAreStoredAsUtf8) {
  const std::string file = Write("data.bin", "content");
  const std::string archive = Path("names.zip");
  // 8-bit names in the program's code page (1252): u-umlaut, sharp s, euro sign.
  ASSERT_TRUE(CreateZipArchive(archive, {file},
                               {"Gr\xFC\xDF"
                                "e \x80.txt"}));
  EXPECT_TRUE(Run("python3 '" + Checker() + "' '" + archive + "' 'Grüße €.txt'='" + file + "'"));
}

TEST_F(ZipArchive, MissingFilesAreLeftOutAndNoFileMeansNoArchive) {
  const std::string file = Write("kept.txt", "kept");
  const std::string archive = Path("partial.zip");
  ASSERT_TRUE(CreateZipArchive(archive, {Path("missing1"), file, Path("missing2")}, {}));
  EXPECT_TRUE(Run("python3 '" + Checker() + "' '" + archive + "' kept.txt='" + file + "'"));

  // An existing archive is replaced, and removed again when nothing could be added.
  EXPECT_FALSE(CreateZipArchive(archive, {Path("missing1"), Path("missing2")}, {}));
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_FALSE(CreateZipArchive(archive, {}, {}));
  EXPECT_FALSE(fs::exists(archive));
  // A folder is no file; an archive that cannot be created fails.
  EXPECT_FALSE(CreateZipArchive(archive, {dir_.string()}, {}));
  EXPECT_FALSE(CreateZipArchive(Path("no/such/folder.zip"), {file}, {}));
}

}  // namespace
