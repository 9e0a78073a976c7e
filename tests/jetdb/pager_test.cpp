#include "jetdb/pager.h"

#include <gtest/gtest.h>

#include "jetdb/error.h"
#include "jetdb/jetdb.h"
#include "test_files.h"

namespace {

using jetdb::Error;
using jetdb::File;
using jetdb::Pager;
using jetdb_test::ScratchFile;

// A file of `pages` 4096-byte pages, each filled with its own number, plus `tail` extra bytes.
std::vector<std::uint8_t> NumberedPages(std::size_t pages, std::size_t tail = 0) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t page = 0; page < pages; ++page) {
    bytes.insert(bytes.end(), 4096, static_cast<std::uint8_t>(page + 1));
  }
  bytes.insert(bytes.end(), tail, 0xEE);
  return bytes;
}

TEST(Pager, ReadsWholePagesAndRefusesPagesPastTheEnd) {
  ScratchFile scratch(NumberedPages(3, 100));
  Pager pager(File::OpenRead(scratch.Path()));
  EXPECT_EQ(pager.PageCount(), 3u);  // the partial page at the end is not a page
  for (std::uint32_t page = 0; page < 3; ++page) {
    auto data = pager.Read(page);
    ASSERT_EQ(data->size(), 4096u);
    EXPECT_EQ(data->front(), page + 1);
    EXPECT_EQ(data->back(), page + 1);
  }
  EXPECT_THROW(pager.Read(3), Error);
  EXPECT_THROW(pager.Read(0xFFFFFFFFu), Error);
  try {
    pager.Read(7);
    FAIL();
  } catch (const Error& error) {
    EXPECT_NE(std::string(error.what()).find(scratch.Path()), std::string::npos);
  }
}

TEST(Pager, EvictsTheLeastRecentlyUsedPage) {
  ScratchFile scratch(NumberedPages(4));
  Pager pager(File::OpenRead(scratch.Path()), 4096, 2);
  pager.Read(0);
  pager.Read(1);
  pager.Read(0);  // 1 is now the least recently used
  EXPECT_EQ(pager.FileReads(), 2u);
  pager.Read(2);  // evicts 1
  EXPECT_EQ(pager.CachedPages(), 2u);
  pager.Read(0);
  EXPECT_EQ(pager.FileReads(), 3u) << "page 0 should still be cached";
  pager.Read(1);
  EXPECT_EQ(pager.FileReads(), 4u) << "page 1 should have been evicted";
  EXPECT_EQ(pager.CachedPages(), 2u);
}

TEST(Pager, PageStaysValidForItsHolderAfterEviction) {
  ScratchFile scratch(NumberedPages(3));
  Pager pager(File::OpenRead(scratch.Path()), 4096, 1);
  auto first = pager.Read(0);
  pager.Read(1);
  pager.Read(2);
  EXPECT_EQ(pager.CachedPages(), 1u);
  EXPECT_EQ((*first)[100], 1);
}

// Changes stay in the cache until Flush; Discard forgets them, new pages included; changed
// pages are never evicted, even past the cache's capacity, until written; holders of a page keep
// its old bytes.
TEST(Pager, ChangesReachTheFileOnlyWhenFlushed) {
  ScratchFile scratch(NumberedPages(3));
  Pager pager(File::OpenReadWrite(scratch.Path()), 4096, 1);
  const auto before = pager.Read(1);
  pager.Modify(1, 1)[0] = 0xAA;
  const std::uint32_t added = pager.Append(0);
  pager.Modify(added, 0)[0] = 0xBB;
  pager.Read(0);
  pager.Read(2);
  EXPECT_EQ((*before)[0], 2);
  EXPECT_EQ((*pager.Read(1))[0], 0xAA) << "a changed page was evicted";
  EXPECT_EQ(pager.PageCount(), 4u);
  EXPECT_EQ(jetdb_test::ReadAll(scratch.Path()).size(), 3u * 4096);
  pager.Flush();
  const auto written = jetdb_test::ReadAll(scratch.Path());
  ASSERT_EQ(written.size(), 4u * 4096);
  EXPECT_EQ(written[4096], 0xAA);
  EXPECT_EQ(written[3 * 4096], 0xBB);
  EXPECT_EQ(pager.FileWrites(), 2u);
  pager.Read(0);
  EXPECT_EQ(pager.CachedPages(), 1u) << "written pages stay past the cache's capacity";

  pager.Modify(2, 0)[0] = 0xCC;
  pager.Append(0);
  pager.Discard();
  EXPECT_EQ(pager.PageCount(), 4u);
  EXPECT_EQ((*pager.Read(2))[0], 3);
  pager.Flush();
  EXPECT_EQ(jetdb_test::ReadAll(scratch.Path()), written);
}

TEST(Pager, ReadOnlyFilesRefuseChanges) {
  ScratchFile scratch(NumberedPages(2));
  Pager pager(File::OpenRead(scratch.Path()));
  EXPECT_THROW(pager.Modify(0, 0), Error);
  EXPECT_THROW(pager.Append(0), Error);
  auto database = jetdb::Database::Open(jetdb_test::TestData("emptyJet4.mdb"));
  EXPECT_THROW(database->OpenWriter("MSysObjects"), Error);
}

}  // namespace
