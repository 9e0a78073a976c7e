#include "jetdb/header.h"

#include <gtest/gtest.h>

#include <random>

#include "jetdb/database.h"
#include "jetdb/error.h"
#include "test_files.h"
#include "tests/support/scoped_trace.h"

namespace {

using jetdb::Database;
using jetdb::Error;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;

void ExpectOpenError(const std::string& path, const std::string& message) {
  try {
    Database::Open(path);
    ADD_FAILURE() << "opened " << path;
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), message);
  }
}

void ExpectUnrecognized(const std::vector<std::uint8_t>& bytes) {
  ScratchFile scratch(bytes);
  ExpectOpenError(scratch.Path(), "Unrecognized database format '" + scratch.Path() + "'.");
}

TEST(Rc4, MatchesPublishedVectorsAndUndoesItself) {
  const std::string key = "Key";
  std::vector<std::uint8_t> data = {'P', 'l', 'a', 'i', 'n', 't', 'e', 'x', 't'};
  const auto plain = data;
  jetdb::Rc4({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()}, data);
  EXPECT_EQ(data,
            (std::vector<std::uint8_t>{0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}));
  jetdb::Rc4({reinterpret_cast<const std::uint8_t*>(key.data()), key.size()}, data);
  EXPECT_EQ(data, plain);

  const std::string wiki = "Wiki";
  std::vector<std::uint8_t> page = {'p', 'e', 'd', 'i', 'a'};
  jetdb::Rc4({reinterpret_cast<const std::uint8_t*>(wiki.data()), wiki.size()}, page);
  EXPECT_EQ(page, (std::vector<std::uint8_t>{0x10, 0x21, 0xBF, 0x04, 0x20}));
}

TEST(Header, EveryAccessMadeJet4FileOpens) {
  for (const char* name : jetdb_test::kAccessDatabases) {
    PELMORA_TRACE(name);
    const std::string path = TestData(name);
    auto database = Database::Open(path);
    const auto& header = database->GetHeader();
    EXPECT_EQ(header.version, jetdb::FormatVersion::kJet4);
    EXPECT_EQ(header.code_page, 1252);
    EXPECT_EQ(header.sort_order, 0x409u);
    EXPECT_FALSE(header.Encrypted());
    // Access 2000 appeared in 1999: creation dates are after that and before 2100.
    EXPECT_GT(header.creation_date, 36161.0);
    EXPECT_LT(header.creation_date, 73051.0);
    EXPECT_EQ(database->GetPager().PageCount() * std::uint64_t{4096}, ReadAll(path).size());
  }
}

TEST(Header, OpeningLeavesTheFileUnchanged) {
  const auto original = ReadAll(TestData("empty.mdb"));
  ScratchFile scratch(original);
  {
    auto database = Database::Open(scratch.Path());
    for (std::uint32_t page = 0; page < database->GetPager().PageCount(); ++page) {
      database->GetPager().Read(page);
    }
  }
  EXPECT_EQ(ReadAll(scratch.Path()), original);
}

TEST(Header, MissingFileGivesTheExactMessage) {
  const std::string path = TestData("no such database.mdb");
  ExpectOpenError(path, "Could not find file '" + path + "'.");
}

TEST(Header, NonDatabasesAreUnrecognized) {
  const auto good = ReadAll(TestData("empty.mdb"));
  ExpectUnrecognized({});                                   // empty file
  ExpectUnrecognized({good.begin(), good.begin() + 2000});  // truncated in page 0
  ExpectUnrecognized({good.begin(), good.begin() + 4095});  // one byte short

  std::mt19937 random(12345);
  std::vector<std::uint8_t> noise(3 * 4096);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
  ExpectUnrecognized(noise);

  auto wrong_id = good;
  wrong_id[4 + 9] = 'A';  // "Standard Jet DB" -> "Standard AetDB"-like damage
  ExpectUnrecognized(wrong_id);

  auto wrong_signature = good;
  wrong_signature[1] = 0x02;
  ExpectUnrecognized(wrong_signature);
}

TEST(Header, OnlyVersionByteOneIsAccepted) {
  const auto good = ReadAll(TestData("empty.mdb"));
  for (std::uint8_t version : {0, 2, 3, 5, 0xFF}) {
    PELMORA_TRACE(static_cast<int>(version));
    auto changed = good;
    changed[0x14] = version;
    ExpectUnrecognized(changed);
  }
  auto ace = good;
  const char ace_id[] = "Standard ACE DB";
  std::copy(ace_id, ace_id + sizeof ace_id, ace.begin() + 4);
  ace[0x14] = 2;
  ExpectUnrecognized(ace);
}

TEST(Header, SettingsAreReadFromTheUnmaskedRegion) {
  const auto good = ReadAll(TestData("empty.mdb"));
  auto page = jetdb::UnmaskHeaderPage({good.data(), 4096});
  // Unmasking twice gives the bytes on disk back.
  auto remasked = jetdb::UnmaskHeaderPage(page);
  EXPECT_TRUE(std::equal(remasked.begin(), remasked.end(), good.begin()));

  page[0x3C] = 0xE9;  // code page 1257
  page[0x3D] = 0x04;
  auto masked = jetdb::UnmaskHeaderPage(page);
  auto changed = good;
  std::copy(masked.begin(), masked.end(), changed.begin());
  ScratchFile scratch(changed);
  EXPECT_EQ(Database::Open(scratch.Path())->GetHeader().code_page, 1257);

  // Bytes after the masked region are not unmasked.
  const std::size_t after = jetdb::kMaskedHeaderOffset + jetdb::kMaskedHeaderSize;
  EXPECT_EQ(page[after], good[after]);
}

TEST(Header, EncryptedDatabaseIsRefused) {
  const auto good = ReadAll(TestData("empty.mdb"));
  auto page = jetdb::UnmaskHeaderPage({good.data(), 4096});
  page[0x3E] = 0x12;
  page[0x41] = 0x34;
  auto masked = jetdb::UnmaskHeaderPage(page);
  auto changed = good;
  std::copy(masked.begin(), masked.end(), changed.begin());
  ScratchFile scratch(changed);
  try {
    Database::Open(scratch.Path());
    FAIL() << "opened an encrypted database";
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find("encrypted"), std::string::npos);
  }
}

}  // namespace
