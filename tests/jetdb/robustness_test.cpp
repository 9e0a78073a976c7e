// Damaged databases give the engine's Error: truncated files, pointers past the end, looping
// chains, absurd counts and overlong names. Never a crash, a hang or a read out of bounds
// (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <functional>

#include "jetdb/bytes.h"
#include "jetdb/catalog.h"
#include "jetdb/jetdb.h"
#include "jetdb/long_value.h"
#include "test_files.h"

namespace {

using jetdb::Database;
using jetdb::Error;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPage = 4096;

// Opens the bytes and reads every value of every table in every order.
void ReadEverything(const Bytes& bytes) {
  jetdb_test::ReadEverything(*Database::OpenBytes(bytes, "damaged.mdb"));
}

// The message of the Error that reading the bytes gives ("" when there is none).
std::string ErrorOf(const Bytes& bytes) {
  try {
    ReadEverything(bytes);
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

void Put16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The table definition page of a table of the database.
std::uint32_t DefinitionPage(const Bytes& bytes, const std::string& table) {
  auto database = Database::OpenBytes(bytes, "original.mdb");
  for (const auto& entry : jetdb::UserTables(database->GetPager())) {
    if (entry.name == table) return entry.TableDefPage();
  }
  throw Error("no table " + table);
}

TEST(Damage, TestDatabasesReadWithoutError) {
  for (const char* file : {"northwind.mdb", "compIndexTestV2000.mdb", "test2V2000.mdb"}) {
    EXPECT_EQ(ErrorOf(jetdb_test::ReadAll(jetdb_test::TestData(file))), "") << file;
  }
}

TEST(Damage, TruncatedFilesAreRefused) {
  const Bytes original = jetdb_test::ReadAll(jetdb_test::TestData("overflowTestV2000.mdb"));
  // Cutting the file in any page that is used gives an Error; only unused pages at the end
  // may go.
  std::size_t first_good = 0;
  for (std::size_t size = 0; size <= original.size(); size += kPage / 2) {
    const bool refused = !ErrorOf(Bytes(original.begin(), original.begin() + size)).empty();
    if (first_good == 0 && !refused) first_good = size;
    EXPECT_EQ(refused, first_good == 0) << "cut at " << size;
  }
  EXPECT_GT(first_good, original.size() * 3 / 4);
}

TEST(Damage, PointersPastTheEnd) {
  const Bytes original = jetdb_test::ReadAll(jetdb_test::TestData("testV2000.mdb"));
  const std::size_t definition = DefinitionPage(original, "Table1") * kPage;

  Bytes map = original;
  Put32(map, definition + 55, 0xFFFFFF00);  // the usage map's row pointer
  EXPECT_NE(ErrorOf(map).find("past the end"), std::string::npos) << ErrorOf(map);

  Bytes next = original;
  Put32(next, definition + 4, 0x00FFFFFF);  // the next definition page
  EXPECT_NE(ErrorOf(next).find("past the end"), std::string::npos) << ErrorOf(next);
}

TEST(Damage, LoopingChainsEnd) {
  const Bytes original = jetdb_test::ReadAll(jetdb_test::TestData("indexTestV2000.mdb"));
  const std::uint32_t definition = DefinitionPage(original, "Table1");

  Bytes definitions = original;
  Put32(definitions, definition * kPage + 4, definition);  // continues on itself
  EXPECT_NE(ErrorOf(definitions).find("loop"), std::string::npos) << ErrorOf(definitions);

  // The primary key's only leaf (page 28) names itself as the next leaf.
  Bytes leaves = original;
  ASSERT_EQ(leaves[28 * kPage], 0x04);
  Put32(leaves, 28 * kPage + 16, 28);
  EXPECT_NE(ErrorOf(leaves).find("loop"), std::string::npos) << ErrorOf(leaves);

  // A row moved to itself.
  Bytes moved = jetdb_test::ReadAll(jetdb_test::TestData("testV2000.mdb"));
  const std::uint32_t table = DefinitionPage(moved, "Table1");
  std::uint32_t data_page = 0;
  for (std::uint32_t page = 1; page < moved.size() / kPage && data_page == 0; ++page) {
    const std::size_t start = page * kPage;
    if (moved[start] == 0x01 && jetdb::ReadU32(moved, start + 4) == table) data_page = page;
  }
  ASSERT_NE(data_page, 0u);
  const std::size_t entry = data_page * kPage + 14;
  const std::uint16_t offset = jetdb::ReadU16(moved, entry) & 0x1FFF;
  Put16(moved, entry, offset | 0x4000);
  Put32(moved, data_page * kPage + offset, data_page << 8);
  EXPECT_NE(ErrorOf(moved).find("moved row"), std::string::npos) << ErrorOf(moved);
}

TEST(Damage, AbsurdCountsAndOverlongNames) {
  const Bytes original = jetdb_test::ReadAll(jetdb_test::TestData("testV2000.mdb"));
  const std::size_t definition = DefinitionPage(original, "Table1") * kPage;
  for (std::uint16_t columns : {256, 0xFFFF}) {
    Bytes damaged = original;
    Put16(damaged, definition + 45, columns);
    EXPECT_EQ(ErrorOf(damaged), "Corrupt database: a table has too many columns.");
  }
  Bytes many = original;
  Put16(many, definition + 45, 200);  // fewer than the limit, more than are stored
  EXPECT_NE(ErrorOf(many), "");
  Bytes indexes = original;
  Put32(indexes, definition + 51, 0x7FFFFFFF);
  EXPECT_EQ(ErrorOf(indexes), "Corrupt database: a table has too many indexes.");

  // The first column name follows the physical index counts and the column descriptors.
  auto database = Database::OpenBytes(original, "original.mdb");
  const auto table = jetdb::ReadTableDef(database->GetPager(), definition / kPage);
  Bytes name = original;
  const std::size_t first_name =
      definition + 63 + table.real_index_count * 12 + table.columns.size() * 25;
  ASSERT_EQ(jetdb::ReadU16(name, first_name), 2);  // "A" in UCS-2
  Put16(name, first_name, 300);
  EXPECT_EQ(ErrorOf(name), "Corrupt database: a column name is too long.");
}

// A pager over pages given as bytes, for long value chains made by hand.
struct MemoryPages {
  explicit MemoryPages(Bytes bytes) : pager(jetdb::File::FromMemory(std::move(bytes), "pages")) {}
  jetdb::Pager pager;
};

// Page 1 of a two-page file: a long value page with the given rows (stored from the end).
Bytes LongValuePage(const std::vector<Bytes>& rows) {
  Bytes bytes(2 * kPage);
  const std::size_t page = kPage;
  bytes[page] = 0x01;
  Put16(bytes, page + 12, static_cast<std::uint16_t>(rows.size()));
  std::size_t end = 2 * kPage;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    end -= rows[i].size();
    std::copy(rows[i].begin(), rows[i].end(), bytes.begin() + end);
    Put16(bytes, page + 14 + 2 * i, static_cast<std::uint16_t>(end - page));
  }
  return bytes;
}

Bytes Field(std::uint32_t length_and_type, std::uint32_t pointer, const Bytes& inline_bytes = {}) {
  Bytes field(12 + inline_bytes.size());
  Put32(field, 0, length_and_type);
  Put32(field, 4, pointer);
  std::copy(inline_bytes.begin(), inline_bytes.end(), field.begin() + 12);
  return field;
}

TEST(LongValue, InlineSingleRowAndChain) {
  MemoryPages pages(LongValuePage({{'o', 'n', 'e'},
                                   {0x02, 0x01, 0x00, 0x00, 'a', 'b'},  // then row 2
                                   {0x00, 0x00, 0x00, 0x00, 'c', 'd', 'e'}}));
  EXPECT_EQ(jetdb::ReadLongValue(pages.pager, Field(0x80000002, 0, {'h', 'i'})), (Bytes{'h', 'i'}));
  EXPECT_EQ(jetdb::ReadLongValue(pages.pager, Field(0x40000003, 0x100)), (Bytes{'o', 'n', 'e'}));
  EXPECT_EQ(jetdb::ReadLongValue(pages.pager, Field(5, 0x101)), (Bytes{'a', 'b', 'c', 'd', 'e'}));
  EXPECT_EQ(jetdb::ReadLongValue(pages.pager, Field(4, 0x101)), (Bytes{'a', 'b', 'c', 'd'}));

  EXPECT_THROW(jetdb::ReadLongValue(pages.pager, Field(0x80000003, 0, {'h', 'i'})), Error);
  EXPECT_THROW(jetdb::ReadLongValue(pages.pager, Field(0x40000004, 0x100)), Error);
  EXPECT_THROW(jetdb::ReadLongValue(pages.pager, Field(6, 0x101)), Error);  // chain ends early
  EXPECT_THROW(jetdb::ReadLongValue(pages.pager, Field(3, 0x103)), Error);  // no row 3
  EXPECT_THROW(jetdb::ReadLongValue(pages.pager, Field(3, 0x200)), Error);  // no page 2
  EXPECT_THROW(jetdb::ReadLongValue(pages.pager, Bytes(11)), Error);
}

TEST(LongValue, LoopingChainEnds) {
  // Row 0 continues in itself; the value claims a gigabyte.
  MemoryPages pages(LongValuePage({{0x00, 0x01, 0x00, 0x00, 'x'}}));
  try {
    jetdb::ReadLongValue(pages.pager, Field(0x3FFFFFFF, 0x100));
    FAIL() << "read a looping chain";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Corrupt database: a long value chain loops.");
  }
}

}  // namespace
