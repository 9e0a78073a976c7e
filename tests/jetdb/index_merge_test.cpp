// Index pages merged as rows go: after deleting most rows the indexes shrink to few pages,
// the pages they gave up are free (and used again by later inserts), and every index still
// lists exactly the live rows in order, before and after the file is reopened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "index_pages.h"
#include "jetdb/bytes.h"
#include "jetdb/create.h"
#include "jetdb/index.h"
#include "jetdb/jetdb.h"
#include "jetdb/storage.h"
#include "jetdb/usage_map.h"
#include "jetdb/verify.h"
#include "test_files.h"
#include "tests/support/scoped_trace.h"

namespace {

using jetdb::Access;
using jetdb::ColumnType;
using jetdb::Database;
using jetdb::Value;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;
using Pages = std::set<std::uint32_t>;

// Every page of the index with root.
Pages IndexPageSet(jetdb::Pager& pager, std::uint32_t root) {
  const std::vector<std::uint32_t> pages = jetdb_test::IndexPages(pager, root);
  return {pages.begin(), pages.end()};
}

Pages AllIndexPages(Database& database, const std::string& table) {
  const auto writer = database.OpenWriter(table);
  Pages pages;
  for (const auto& index : writer.Definition().indexes) {
    const auto some = jetdb_test::IndexPages(database.GetPager(), index.first_page);
    pages.insert(some.begin(), some.end());
  }
  return pages;
}

// Levels of the index with root, the root's included.
int Depth(jetdb::Pager& pager, std::uint32_t root) {
  int depth = 1;
  for (std::uint32_t page = root; (*pager.Read(page))[0] == jetdb::kIndexNodePage; ++depth) {
    page = jetdb_test::EntryPointer(jetdb::ReadIndexEntries(*pager.Read(page), page).front());
  }
  return depth;
}

void ExpectConsistent(Database& database, const std::string& table, const std::string& when) {
  const auto writer = database.OpenWriter(table);
  for (const auto& problem : jetdb::VerifyTable(database.GetPager(), writer.Definition())) {
    ADD_FAILURE() << table << ", " << when << ": " << problem;
  }
}

// Pages the index gave up and the free-page map does not list.
Pages NotFreed(Database& database, const Pages& before, const Pages& after) {
  // Access's free-page map may mark pages past the end of the file.
  const auto listed = jetdb::ReadUsageMapUnchecked(database.GetPager(), jetdb::kFreePageMap);
  const Pages free_pages(listed.begin(), listed.end());
  Pages lost;
  for (const std::uint32_t page : before) {
    if (!after.count(page) && !free_pages.count(page)) lost.insert(page);
  }
  return lost;
}

// Keys in the order of number, sharing no more than their first digits.
std::string Name(int number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07d", number);
  std::string name = digits;
  for (int i = 0; i < 90; ++i) name += static_cast<char>('a' + (number * 31 + i * 7) % 26);
  return name;
}

enum class Order { kAscending, kDescending, kRandom };

// A table whose three indexes grow three levels deep: an auto-number key, a long text key
// and a compound key of a descending number and the text. Most rows are deleted (in key
// order, in reverse, or at random), the rest and the rows inserted afterwards must read back
// in each index's order.
void DeleteMostThenInsert(Order order) {
  ScratchFile file(ReadAll(TestData("emptyJet4.mdb")));
  auto database = Database::Open(file.Path(), Access::kReadWrite);
  jetdb::CreateTable(*database, "Items",
                     {{"ID", ColumnType::kLong, 0, true},
                      {"Name", ColumnType::kText, 120},
                      {"Lot", ColumnType::kLong}},
                     {{"PrimaryKey", {{0, true}}, true},
                      {"Name", {{1, true}}},
                      {"LotName", {{2, false}, {1, true}}}});
  auto items = database->OpenWriter("Items");
  auto& pager = database->GetPager();
  std::mt19937 random(static_cast<unsigned>(order) + 5);
  struct Item {
    std::string name;
    int lot;
  };
  std::map<std::int64_t, std::pair<std::uint32_t, Item>> live;  // ID -> row pointer, values
  auto insert = [&](int number) {
    const Item item{Name(number), number % 7};
    const auto pointer =
        items.Insert({{"Name", Value::Text(item.name)}, {"Lot", Value::Integer(item.lot)}});
    live[database->LastIdentity()] = {pointer, item};
  };
  std::vector<int> numbers(4000);
  for (int i = 0; i < 4000; ++i) numbers[static_cast<std::size_t>(i)] = i * 7919 % 4001;
  for (const int number : numbers) insert(number);
  for (const auto& index : items.Definition().indexes) {
    // Long keys: three levels (the numbers of the primary key fit fewer pages).
    ASSERT_GE(Depth(pager, index.first_page), index.name == "PrimaryKey" ? 2 : 3) << index.name;
  }
  const Pages full = AllIndexPages(*database, "Items");
  const std::uint32_t file_pages = pager.PageCount();

  // Keep one row in 25.
  std::vector<std::int64_t> victims;
  for (const auto& [id, row] : live) {
    if (id % 25 != 0) victims.push_back(id);
  }
  if (order == Order::kDescending) std::reverse(victims.begin(), victims.end());
  if (order == Order::kRandom) std::shuffle(victims.begin(), victims.end(), random);
  for (std::size_t i = 0; i < victims.size(); ++i) {
    items.Delete(live.at(victims[i]).first);
    live.erase(victims[i]);
    if (i % 700 == 0) ExpectConsistent(*database, "Items", "delete " + std::to_string(i));
  }
  ExpectConsistent(*database, "Items", "after the deletes");
  const Pages sparse = AllIndexPages(*database, "Items");
  // 160 rows of three indexes fit a dozen pages; each left at least a quarter full.
  EXPECT_LT(sparse.size(), 40u);
  EXPECT_LT(sparse.size() * 10, full.size());
  EXPECT_EQ(NotFreed(*database, full, sparse), Pages{});
  // The intermediate pages merged too: below each root one is left.
  for (const auto& index : items.Definition().indexes) {
    const Pages pages = IndexPageSet(pager, index.first_page);
    EXPECT_LE(std::count_if(pages.begin(), pages.end(),
                            [&](std::uint32_t page) {
                              return (*pager.Read(page))[0] == jetdb::kIndexNodePage;
                            }),
              2)
        << index.name;
  }

  // Pages freed are taken again before the file grows.
  for (int number = 5000; number < 7000; ++number) insert(number);
  ExpectConsistent(*database, "Items", "after inserting again");
  EXPECT_LE(pager.PageCount(), file_pages);

  database.reset();
  auto reopened = Database::Open(file.Path());
  const auto table = reopened->OpenTable("Items");
  std::vector<std::string> by_name;
  std::vector<std::pair<int, std::string>> by_lot;
  for (const auto& [id, row] : live) {
    by_name.push_back(row.second.name);
    by_lot.emplace_back(-row.second.lot, row.second.name);
  }
  std::sort(by_name.begin(), by_name.end());
  std::sort(by_lot.begin(), by_lot.end());
  std::vector<std::int64_t> ids;
  for (auto rows = table.RowsInIndex("PrimaryKey"); rows.Next();) {
    ids.push_back(rows.Integer(table.GetColumn("ID")));
  }
  std::vector<std::int64_t> expected_ids;
  for (const auto& [id, row] : live) expected_ids.push_back(id);
  EXPECT_EQ(ids, expected_ids);
  std::vector<std::string> names;
  for (auto rows = table.RowsInIndex("Name"); rows.Next();) {
    names.push_back(rows.Text(table.GetColumn("Name")));
  }
  EXPECT_EQ(names, by_name);
  std::vector<std::pair<int, std::string>> lots;
  for (auto rows = table.RowsInIndex("LotName"); rows.Next();) {
    lots.emplace_back(-static_cast<int>(rows.Integer(table.GetColumn("Lot"))),
                      rows.Text(table.GetColumn("Name")));
  }
  EXPECT_EQ(lots, by_lot);
}

TEST(IndexMerge, DeletingMostRowsInKeyOrderShrinksEveryIndex) {
  DeleteMostThenInsert(Order::kAscending);
}

TEST(IndexMerge, DeletingMostRowsInReverseOrderShrinksEveryIndex) {
  DeleteMostThenInsert(Order::kDescending);
}

TEST(IndexMerge, DeletingMostRowsAtRandomShrinksEveryIndex) {
  DeleteMostThenInsert(Order::kRandom);
}

// Emptying a table one row at a time from either end leaves a single page per index and
// gives every other page back. Long shared prefixes make splits and merges count the bytes
// entries take on the page, not their whole size.
TEST(IndexMerge, EmptiedIndexesKeepOnlyTheirRoots) {
  for (const bool from_the_end : {false, true}) {
    PELMORA_TRACE(from_the_end ? "from the end" : "from the start");
    ScratchFile file(ReadAll(TestData("emptyJet4.mdb")));
    auto database = Database::Open(file.Path(), Access::kReadWrite);
    jetdb::CreateTable(*database, "Tags",
                       {{"ID", ColumnType::kLong, 0, true}, {"Tag", ColumnType::kText, 200}},
                       {{"PrimaryKey", {{0, true}}, true}, {"Tag", {{1, true}}}});
    auto tags = database->OpenWriter("Tags");
    std::vector<std::uint32_t> pointers;
    for (int i = 0; i < 1500; ++i) {
      // Keys alike but for their last digits: leaves share most of each entry.
      const std::string tag = std::string(90, 't') + Name(i).substr(0, 7);
      pointers.push_back(tags.Insert({{"Tag", Value::Text(tag)}}));
    }
    const Pages full = AllIndexPages(*database, "Tags");
    if (from_the_end) std::reverse(pointers.begin(), pointers.end());
    for (std::size_t i = 0; i < pointers.size(); ++i) {
      tags.Delete(pointers[i]);
      if (i == pointers.size() - 3) {
        // A root, a leaf, and an intermediate page left with one child.
        EXPECT_LE(AllIndexPages(*database, "Tags").size(), 5u);
        ExpectConsistent(*database, "Tags", "three rows left");
      }
    }
    ExpectConsistent(*database, "Tags", "empty");
    const Pages roots = AllIndexPages(*database, "Tags");
    EXPECT_EQ(roots.size(), 2u);
    EXPECT_EQ(NotFreed(*database, full, roots), Pages{});
  }
}

// A cursor in an index's order goes on past rows deleted behind it, as merges move the
// entries of its leaf: each row comes once, and the rows kept are listed after.
TEST(IndexMerge, CursorInIndexOrderSeesEachRowOnceWhileDeleting) {
  ScratchFile file(ReadAll(TestData("emptyJet4.mdb")));
  auto database = Database::Open(file.Path(), Access::kReadWrite);
  jetdb::CreateTable(*database, "Notes",
                     {{"ID", ColumnType::kLong, 0, true}, {"Note", ColumnType::kText, 120}},
                     {{"PrimaryKey", {{0, true}}, true}, {"Note", {{1, true}}}});
  auto notes = database->OpenWriter("Notes");
  for (int i = 0; i < 3000; ++i) notes.Insert({{"Note", Value::Text(Name(i * 7919 % 3001))}});
  const auto table = database->OpenTable("Notes");
  std::size_t live = 3000;
  for (const char* index : {"Note", "PrimaryKey"}) {
    PELMORA_TRACE(index);
    std::vector<std::string> seen;
    std::vector<std::string> kept;
    std::size_t position = 0;
    for (auto rows = table.RowsInIndex(index); rows.Next(); ++position) {
      seen.push_back(rows.Text(table.GetColumn("Note")));
      // Three in four go.
      if (position % 4 == 0) {
        kept.push_back(seen.back());
      } else {
        notes.Delete(rows.RowPointer());
      }
    }
    EXPECT_EQ(seen.size(), live);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), live);
    live = kept.size();
    ExpectConsistent(*database, "Notes", index);
    std::vector<std::string> after;
    for (auto rows = table.RowsInIndex(index); rows.Next();) {
      after.push_back(rows.Text(table.GetColumn("Note")));
    }
    EXPECT_TRUE(after == kept) << after.size() << " rows listed, " << kept.size() << " kept";
  }
}

// Indexes Access built (tail leaves only the tail pointer names, compound keys) merge too,
// and what is left still reads with every index and takes new rows.
TEST(IndexMerge, AccessIndexesShrinkAndStayReadable) {
  ScratchFile file(ReadAll(TestData("northwind.mdb")));
  auto database = Database::Open(file.Path(), Access::kReadWrite);
  std::map<std::string, std::uint32_t> kept;
  for (const char* name : {"Order Details", "Orders"}) {
    PELMORA_TRACE(name);
    const Pages full = AllIndexPages(*database, name);
    auto writer = database->OpenWriter(name);
    const auto table = database->OpenTable(name);
    std::uint32_t seen = 0;
    for (auto rows = table.Rows(); rows.Next(); ++seen) {
      if (seen % 10 == 0) continue;
      writer.Delete(rows.RowPointer());
      if (seen % 20 == 1) ExpectConsistent(*database, name, "row " + std::to_string(seen));
    }
    kept[name] = (seen + 9) / 10;
    ExpectConsistent(*database, name, "after the deletes");
    const Pages sparse = AllIndexPages(*database, name);
    // Small indexes: most end as a root and one leaf.
    EXPECT_LT(sparse.size() * 3, full.size() * 2);
    EXPECT_EQ(NotFreed(*database, full, sparse), Pages{});
  }
  database.reset();
  auto reopened = Database::Open(file.Path(), Access::kReadWrite);
  jetdb_test::ReadEverything(*reopened);
  for (const auto& [name, count] : kept) {
    const auto table = reopened->OpenTable(name);
    EXPECT_EQ(table.RowCount(), count);
    for (const auto& index : table.Indexes()) {
      std::uint32_t listed = 0;
      for (auto rows = table.RowsInIndex(index); rows.Next();) ++listed;
      // Indexes that leave out nulls may list fewer.
      EXPECT_LE(listed, count) << name << " " << index.name;
      EXPECT_GT(listed, 0u) << name << " " << index.name;
    }
  }
  auto orders = reopened->OpenWriter("Orders");
  for (int i = 0; i < 300; ++i) orders.Insert({{"CustomerID", Value::Text("VINET")}});
  ExpectConsistent(*reopened, "Orders", "after inserting again");
}

}  // namespace
