// Writing: rows and index entries laid out as Access lays them out, posts that keep every
// structure consistent (checked after each step against a model), failed posts that change
// nothing, and the identity query.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "index_pages.h"
#include "jetdb/bytes.h"
#include "jetdb/catalog.h"
#include "jetdb/create.h"
#include "jetdb/data_page.h"
#include "jetdb/index.h"
#include "jetdb/index_key.h"
#include "jetdb/index_write.h"
#include "jetdb/jetdb.h"
#include "jetdb/row_format.h"
#include "jetdb/usage_map.h"
#include "jetdb/verify.h"
#include "test_files.h"
#include "tests/support/scoped_trace.h"

namespace {

using jetdb::Access;
using jetdb::Column;
using jetdb::ColumnType;
using jetdb::Database;
using jetdb::Error;
using jetdb::TableDef;
using jetdb::Value;
using jetdb_test::EntryPointer;
using jetdb_test::IndexPages;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;

std::vector<TableDef> AllTables(Database& database) {
  std::vector<TableDef> tables;
  for (const auto& entry : jetdb::ReadCatalog(database.GetPager())) {
    if ((entry.type & 0x7FFF) == jetdb::kObjectTable) {
      tables.push_back(jetdb::ReadTableDef(database.GetPager(), entry.TableDefPage()));
    }
  }
  return tables;
}

// Every index Access wrote, rebuilt from the rows alone: the same entries, and leaf pages
// laid out byte for byte the same (header, entry mask, entries, free space) given the shared
// prefix Access chose for the page.
TEST(AccessIndexes, RebuildFromRowsGivesTheSameEntriesAndLeafPages) {
  std::size_t entries = 0;
  std::size_t leaves = 0;
  for (const char* name : jetdb_test::kAccessDatabases) {
    PELMORA_TRACE(name);
    auto database = Database::Open(TestData(name));
    auto& pager = database->GetPager();
    for (const TableDef& table : AllTables(*database)) {
      std::set<std::uint32_t> physical;
      for (const auto& index : table.indexes) {
        if (!physical.insert(index.physical).second) continue;
        for (const auto& entry : jetdb::IndexEntries(pager, table.page, index.first_page)) {
          const auto row =
              jetdb::FollowOverflow(pager, jetdb::LocateRow(pager, EntryPointer(entry)));
          const auto key = jetdb::IndexKey(pager, table, index, jetdb::Row(table, row.slot.bytes));
          ASSERT_EQ(key, std::vector<std::uint8_t>(entry.begin(), entry.end() - 4))
              << table.page << " " << index.name;
          ++entries;
        }
        // The leaves, from the leftmost along the chain.
        std::uint32_t page = index.first_page;
        while ((*pager.Read(page))[0] == jetdb::kIndexNodePage) {
          page = EntryPointer(jetdb::ReadIndexEntries(*pager.Read(page), page).front());
        }
        for (; page != 0; ++leaves) {
          const auto data = pager.Read(page);
          const auto mine = jetdb::LayOutLeafPage(
              jetdb::ReadIndexEntries(*data, page), table.page, jetdb::ReadU32(*data, 12),
              jetdb::ReadU32(*data, 16), data->size(), jetdb::ReadU16(*data, 24));
          // What follows the last entry is left over from earlier contents.
          const std::size_t used = data->size() - jetdb::ReadU16(*data, 2);
          ASSERT_EQ(jetdb::ReadU16(mine, 2), jetdb::ReadU16(*data, 2)) << "leaf " << page;
          EXPECT_TRUE(std::equal(mine.begin() + 4, mine.begin() + 8, data->begin() + 4));
          EXPECT_TRUE(std::equal(mine.begin() + 12, mine.begin() + used, data->begin() + 12))
              << "leaf " << page;
          page = jetdb::ReadU32(*data, 16);
        }
      }
    }
  }
  EXPECT_GT(entries, 5000u);
  EXPECT_GT(leaves, 100u);
}

// Rows re-encoded from their values equal what Access stored, for rows written with the
// table's current columns (null fixed columns hold leftovers in Access rows: not compared).
TEST(AccessRows, ReencodedRowsEqualTheStoredBytes) {
  std::size_t compared = 0;
  std::size_t edited = 0;
  for (const char* name : {"northwind.mdb", "compIndexTestV2000.mdb", "fixedTextTestV2000.mdb",
                           "indexTestV2000.mdb"}) {
    PELMORA_TRACE(name);
    auto database = Database::Open(TestData(name));
    auto& pager = database->GetPager();
    for (const TableDef& table : AllTables(*database)) {
      // User tables that never lost a column.
      if (table.table_type != 0x4E || table.max_columns != table.columns.size()) continue;
      for (std::uint32_t page : jetdb::ReadUsageMap(pager, table.usage_map)) {
        const auto data = pager.Read(page);
        if ((*data)[0] != jetdb::kDataPageType || jetdb::DataPageOwner(*data) != table.page)
          continue;
        for (const auto& slot : jetdb::ReadRowSlots(*data, page)) {
          if (slot.Deleted() || slot.Overflow()) continue;
          // A row edited in place may keep slack between its variable data and their offsets.
          const std::size_t mask = (jetdb::ReadU16(slot.bytes, 0) + 7u) / 8u;
          const std::size_t var_count = jetdb::ReadU16(slot.bytes, slot.bytes.size() - mask - 2);
          const std::size_t table_start = slot.bytes.size() - mask - 2 - 2 * (var_count + 1);
          if (table.var_columns > 0 && jetdb::ReadU16(slot.bytes, table_start) != table_start) {
            ++edited;
            continue;
          }
          const jetdb::Row row(table, slot.bytes);
          std::vector<jetdb::Field> fields(table.columns.size());
          std::vector<std::uint8_t> stored(slot.bytes.begin(), slot.bytes.end());
          for (std::size_t i = 0; i < fields.size(); ++i) {
            const Column& column = table.columns[i];
            if (column.type == ColumnType::kBoolean) {
              fields[i].null = !row.Boolean(column).has_value();
              fields[i].yes = row.Boolean(column).value_or(false);
              continue;
            }
            if (row.IsNull(column)) {
              if (column.Fixed()) {
                std::fill_n(stored.begin() + 2 + column.fixed_offset, column.size, 0);
              }
              continue;
            }
            const auto bytes = row.Bytes(column);
            fields[i].null = false;
            fields[i].bytes.assign(bytes.begin(), bytes.end());
            if (column.type == ColumnType::kText) {
              // Text as this engine would store it from its characters.
              EXPECT_EQ(
                  jetdb::EncodeTextBytes(jetdb::DecodeTextUnits(bytes), column.compressed_unicode),
                  fields[i].bytes);
            }
          }
          const auto encoded = jetdb::EncodeRow(table, fields);
          const auto differ =
              std::mismatch(encoded.begin(), encoded.end(), stored.begin(), stored.end());
          EXPECT_EQ(encoded, stored)
              << "table page " << table.page << ", from byte " << (differ.first - encoded.begin())
              << " of " << encoded.size() << "/" << stored.size();
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 3000u);
  EXPECT_LT(edited, compared / 100);
}

TEST(GeneralSortOrder, KeysOfTextAccessDataDoesNotHold) {
  // Descending order inverts every byte of the column, the flag included.
  TableDef table;
  table.columns.push_back(Column{.name = "t", .type = ColumnType::kText, .number = 0, .size = 20});
  table.var_columns = 1;
  jetdb::IndexDef index;
  index.columns = {{0, false}};
  jetdb::Field field{false, false, jetdb::EncodeTextBytes(u"ab", true)};
  const auto bytes = jetdb::EncodeRow(table, {field});
  auto database = Database::Open(TestData("emptyJet4.mdb"));
  const auto key = jetdb::IndexKey(database->GetPager(), table, index, jetdb::Row(table, bytes));
  EXPECT_EQ(key, (std::vector<std::uint8_t>{0x80, 0xB5, 0xB3, 0xFE, 0xFF}));
  // Case and trailing blanks do not count; accents come after the letters.
  EXPECT_EQ(jetdb::GeneralSortKey(u"AB  "), jetdb::GeneralSortKey(u"ab"));
  EXPECT_LT(jetdb::GeneralSortKey(u"ab"), jetdb::GeneralSortKey(u"\u00e1b"));
  EXPECT_LT(jetdb::GeneralSortKey(u"\u00e1b"), jetdb::GeneralSortKey(u"ac"));
}

// A scratch copy of an Access database opened for writing.
struct Copy {
  explicit Copy(const char* name)
      : file(ReadAll(TestData(name))), database(Database::Open(file.Path(), Access::kReadWrite)) {}
  ScratchFile file;
  std::unique_ptr<Database> database;
};

void ExpectConsistent(Database& database, const std::string& table) {
  const auto writer = database.OpenWriter(table);
  const auto problems = jetdb::VerifyTable(database.GetPager(), writer.Definition());
  for (const auto& problem : problems) ADD_FAILURE() << table << ": " << problem;
}

TEST(Insert, StoresEveryTypeAndReadsBackAfterReopening) {
  Copy copy("northwind.mdb");
  auto orders = copy.database->OpenWriter("Orders");
  const auto pointer = orders.Insert({{"CustomerID", Value::Text("ALFKI")},
                                      {"EmployeeID", Value::Integer(3)},
                                      {"OrderDate", Value::Text("2024-02-29 13:45:00")},
                                      {"Freight", Value::Currency(123456)},
                                      {"ShipName", Value::Text("Ålesund Café – 東京")},
                                      {"ShipCity", Value::Text("Luleå")}});
  EXPECT_EQ(copy.database->LastIdentity(), 11078);
  EXPECT_EQ(copy.database->Query("select @@IDENTITY as ID_NUMBER").value, 11078);
  ExpectConsistent(*copy.database, "Orders");

  auto categories = copy.database->OpenWriter("Categories");
  std::vector<std::uint8_t> picture(10000);
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7);
  const std::string description(3000, 'n');
  categories.Insert({{"CategoryName", Value::Text("Zest")},
                     {"Picture", Value::Bytes(picture)},
                     {"Description", Value::Text(description)}});
  categories.Insert({{"CategoryName", Value::Text("Yeast")},
                     {"Picture", Value::Bytes({1, 2, 3})},
                     {"Description", Value::Text("short")}});
  EXPECT_EQ(copy.database->LastIdentity(), 10);
  ExpectConsistent(*copy.database, "Categories");
  EXPECT_THROW(categories.Insert({{"CategoryName", Value::Bytes({1})}}), Error);
  copy.database.reset();

  auto reopened = Database::Open(copy.file.Path());
  const auto table = reopened->OpenTable("Orders");
  EXPECT_EQ(table.RowCount(), 831u);
  bool found = false;
  for (auto rows = table.Rows(); rows.Next();) {
    if (rows.RowPointer() != pointer) continue;
    found = true;
    EXPECT_EQ(rows.Integer(table.GetColumn("OrderID")), 11078);
    EXPECT_EQ(rows.Text(table.GetColumn("ShipName")), "Ålesund Café – 東京");
    EXPECT_EQ(rows.Text(table.GetColumn("OrderDate")), "2024-02-29 13:45:00");
    EXPECT_EQ(rows.Text(table.GetColumn("Freight")), "12.3456");
    EXPECT_TRUE(rows.IsNull(table.GetColumn("ShippedDate")));
  }
  EXPECT_TRUE(found);
  const auto kinds = reopened->OpenTable("Categories");
  std::vector<std::string> names;
  for (auto rows = kinds.RowsInIndex("CategoryName"); rows.Next();) {
    names.push_back(rows.Text(kinds.GetColumn("CategoryName")));
    if (names.back() == "Zest") {
      EXPECT_EQ(rows.Bytes(kinds.GetColumn("Picture")), picture);
      EXPECT_EQ(rows.Text(kinds.GetColumn("Description")), description);
    }
    if (names.back() == "Yeast") {
      EXPECT_EQ(rows.Bytes(kinds.GetColumn("Picture")), (std::vector<std::uint8_t>{1, 2, 3}));
    }
  }
  ASSERT_EQ(names.size(), 10u);
  EXPECT_EQ(names[8], "Yeast");
  EXPECT_EQ(names[9], "Zest");
}

// Values given by position: the bytes handed back are the row on its page (auto-number
// assigned, long values stored apart), and a row of the wrong width changes nothing.
TEST(Insert, ByPositionHandsBackTheStoredRow) {
  Copy copy("northwind.mdb");
  auto categories = copy.database->OpenWriter("Categories");
  const auto& columns = categories.Definition().columns;
  const Value name = Value::Text("Zest");
  const Value description = Value::Text(std::string(3000, 'n'));
  std::vector<const Value*> given(columns.size(), nullptr);
  given[jetdb::FindColumn(columns, "CategoryName") - columns.data()] = &name;
  given[jetdb::FindColumn(columns, "Description") - columns.data()] = &description;
  std::vector<std::uint8_t> stored;
  const auto pointer = categories.InsertColumns(given, &stored);
  auto& pager = copy.database->GetPager();
  const auto located = jetdb::FollowOverflow(pager, jetdb::LocateRow(pager, pointer));
  EXPECT_EQ(stored,
            std::vector<std::uint8_t>(located.slot.bytes.begin(), located.slot.bytes.end()));
  const jetdb::Row row(categories.Definition(), stored);
  EXPECT_EQ(row.Integer(*jetdb::FindColumn(columns, "CategoryID")), 9);
  EXPECT_EQ(jetdb::DecodeText(*row.LongValue(pager, *jetdb::FindColumn(columns, "Description"))),
            description.text);
  ExpectConsistent(*copy.database, "Categories");

  const auto before = ReadAll(copy.file.Path());
  given.pop_back();
  EXPECT_THROW(categories.InsertColumns(given), Error);
  EXPECT_EQ(ReadAll(copy.file.Path()), before);
  EXPECT_EQ(copy.database->LastIdentity(), 9);
}

TEST(Insert, RefusedPostsChangeNothing) {
  Copy copy("northwind.mdb");
  const auto before = ReadAll(copy.file.Path());
  auto customers = copy.database->OpenWriter("Customers");
  auto refuse = [&](const jetdb::RowValues& values, const std::string& message) {
    try {
      customers.Insert(values);
      ADD_FAILURE() << "no error; expected: " << message;
    } catch (const Error& error) {
      EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
    }
    EXPECT_EQ(ReadAll(copy.file.Path()), before);
  };
  refuse({{"CustomerID", Value::Text("alfki")}, {"CompanyName", Value::Text("x")}},
         "duplicate values in the index");
  refuse({{"CompanyName", Value::Text("no key")}}, "cannot contain a Null value");
  refuse({{"CustomerID", Value::Text("TOOLONG")}, {"CompanyName", Value::Text("x")}},
         "longer than 5 characters");
  refuse({{"CustomerID", Value::Text("NEWCO")}, {"Nope", Value::Text("x")}},
         "Item cannot be found");
  // Keys too long for an index page are refused before anything is written.
  std::string long_name;
  for (int i = 0; i < 250; ++i) long_name += "\u00e9";  // a weight and an accent mark each
  jetdb::CreateTable(*copy.database, "Wide",
                     {{"A", ColumnType::kText, 255},
                      {"B", ColumnType::kText, 255},
                      {"C", ColumnType::kText, 255},
                      {"D", ColumnType::kText, 255}},
                     {{"All", {{0, true}, {1, true}, {2, true}, {3, true}}}});
  const auto with_table = ReadAll(copy.file.Path());
  auto wide = copy.database->OpenWriter("Wide");
  EXPECT_THROW(wide.Insert({{"A", Value::Text(long_name)},
                            {"B", Value::Text(long_name)},
                            {"C", Value::Text(long_name)},
                            {"D", Value::Text(long_name)}}),
               Error);
  EXPECT_EQ(ReadAll(copy.file.Path()), with_table);
  EXPECT_EQ(copy.database->LastIdentity(), 0);
  customers.Insert({{"CustomerID", Value::Text("NEWCO")}, {"CompanyName", Value::Text("New")}});
  ExpectConsistent(*copy.database, "Customers");
}

// Long keys make a deep tree quickly: random posts then split and empty intermediate pages
// on every level, the right edge included.
TEST(InsertAndDelete, DeepIndexTreesStayConsistent) {
  Copy copy("emptyJet4.mdb");
  auto& database = *copy.database;
  jetdb::CreateTable(database, "Deep",
                     {{"ID", ColumnType::kLong, 0, true}, {"Key", ColumnType::kText, 250}},
                     {{"PrimaryKey", {{0, true}}, true}, {"Key", {{1, false}}}});
  auto deep = database.OpenWriter("Deep");
  std::mt19937 random(7);
  std::map<std::int64_t, std::uint32_t> live;  // ID -> row pointer
  auto check = [&](int step) {
    const auto problems = jetdb::VerifyTable(database.GetPager(), deep.Definition());
    ASSERT_TRUE(problems.empty()) << "step " << step << ": " << problems.front();
  };
  for (int step = 0; step < 6000; ++step) {
    // Grow to about 2500 rows, then shrink to nothing.
    const bool grow = step < 3000 ? random() % 5 != 0 : random() % 5 == 0;
    if (grow || live.empty()) {
      const std::string key = std::string(200, 'k') + std::to_string(random() % 1000000);
      const auto pointer = deep.Insert({{"Key", Value::Text(key)}});
      live[database.LastIdentity()] = pointer;
    } else {
      auto victim =
          step < 3000 ? std::next(live.begin(), random() % live.size()) : std::prev(live.end());
      deep.Delete(victim->second);
      live.erase(victim);
    }
    if (step % 250 == 0) check(step);
  }
  while (!live.empty()) {
    deep.Delete(live.begin()->second);
    live.erase(live.begin());
  }
  check(6000);
}

// Emptying tables Access filled: multi-level indexes whose last leaves only the tail pointer
// names, compound keys, rows with long values. A cursor goes on to the next row after each
// delete.
TEST(Delete, EmptiesAccessTablesKeepingEveryIndexInStep) {
  Copy copy("northwind.mdb");
  for (const char* name : {"Order Details", "Orders", "Employees", "Categories"}) {
    PELMORA_TRACE(name);
    auto writer = copy.database->OpenWriter(name);
    const auto table = copy.database->OpenTable(name);
    const std::uint32_t count = table.RowCount();
    std::uint32_t deleted = 0;
    std::vector<std::uint32_t> pointers;
    for (auto rows = table.Rows(); rows.Next(); ++deleted) {
      pointers.push_back(rows.RowPointer());
      writer.Delete(rows.RowPointer());
      if (deleted % 500 == 0) ExpectConsistent(*copy.database, name);
    }
    EXPECT_EQ(deleted, count);
    // Marked as Access marks a deleted row (both flags): other readers skip it too.
    for (std::uint32_t pointer : pointers) {
      const auto page = copy.database->GetPager().Read(pointer >> 8);
      const std::uint16_t offset = jetdb::ReadU16(*page, 14 + 2 * (pointer & 0xFF));
      EXPECT_EQ(offset & 0xC000, 0xC000) << std::hex << pointer;
    }
    EXPECT_EQ(writer.Definition().row_count, 0u);
    ExpectConsistent(*copy.database, name);
    EXPECT_THROW(writer.Delete(table.Rows().RowPointer()), Error);
  }
  // What is left still reads, and the emptied tables take new rows.
  copy.database.reset();
  auto reopened = Database::Open(copy.file.Path(), Access::kReadWrite);
  jetdb_test::ReadEverything(*reopened);
  auto orders = reopened->OpenWriter("Orders");
  orders.Insert({{"CustomerID", Value::Text("VINET")}});
  EXPECT_EQ(reopened->LastIdentity(), 11078);
  ExpectConsistent(*reopened, "Orders");
}

TEST(Query, AnswersOnlyTheIdentityQuery) {
  auto database = Database::Open(TestData("emptyJet4.mdb"));
  EXPECT_THROW(database->Query(""), Error);
  EXPECT_EQ(database->Query("  SELECT   @@identity AS id_number ; ").value, 0);
  EXPECT_EQ(database->Query("select @@IDENTITY as ID_NUMBER").column, "ID_NUMBER");
  EXPECT_THROW(database->Query("select * from Orders"), Error);
  EXPECT_THROW(database->Query("select @@IDENTITY as"), Error);
  // The statement asked before, and others after it, are each answered as on their own.
  EXPECT_EQ(database->Query("select @@IDENTITY as ID_NUMBER").column, "ID_NUMBER");
  EXPECT_EQ(database->Query("select @@IDENTITY as Other").column, "Other");
  EXPECT_EQ(database->Query("select @@IDENTITY").column, "Expr1000");
  EXPECT_THROW(database->Query("select @@IDENTITY as Other, 1"), Error);
  EXPECT_EQ(database->Query("select @@IDENTITY as Other").column, "Other");
}

// Seeded random posts against a model: after every step the table's indexes list exactly the
// live rows in key order and the maps and row count agree with the pages.
TEST(InsertAndDelete, RandomPostsAgreeWithAModel) {
  Copy copy("northwind.mdb");
  auto database = copy.database.get();
  auto products = database->OpenWriter("Products");
  std::mt19937 random(20240229);
  std::map<std::int64_t, std::string> model;  // ProductID -> ProductName
  for (auto rows = database->OpenTable("Products").Rows(); rows.Next();) {
    const auto& table = database->OpenTable("Products");
    model[rows.Integer(table.GetColumn("ProductID"))] = rows.Text(table.GetColumn("ProductName"));
  }
  const char* const words[] = {"Äpfel", "Birnen", "Zucker", "été", "Öl", "Brot", "zwölf", "Anís"};
  for (int step = 0; step < 1500; ++step) {
    if (model.empty() || random() % 3 != 0) {
      std::string name = words[random() % 8];
      name += " " + std::to_string(random() % 100000);
      products.Insert(
          {{"ProductName", Value::Text(name)},
           {"UnitPrice", Value::Currency(static_cast<std::int64_t>(random() % 1000000))},
           {"Discontinued", Value::Boolean(random() % 2 == 0)}});
      model[database->LastIdentity()] = name;
    } else {
      auto victim = model.begin();
      std::advance(victim, random() % model.size());
      const auto table = database->OpenTable("Products");
      bool deleted = false;
      for (auto rows = table.Rows(); rows.Next();) {
        if (rows.Integer(table.GetColumn("ProductID")) != victim->first) continue;
        products.Delete(rows.RowPointer());
        deleted = true;
        break;
      }
      ASSERT_TRUE(deleted);
      model.erase(victim);
    }
    if (step % 100 == 0 || step == 1499) {
      const auto problems = jetdb::VerifyTable(database->GetPager(), products.Definition());
      ASSERT_TRUE(problems.empty()) << "step " << step << ": " << problems.front();
    }
  }
  // The index on the name lists the model's names in General sort order.
  const auto table = database->OpenTable("Products");
  std::vector<std::pair<std::int64_t, std::string>> listed;
  for (auto rows = table.RowsInIndex("PrimaryKey"); rows.Next();) {
    listed.emplace_back(rows.Integer(table.GetColumn("ProductID")),
                        rows.Text(table.GetColumn("ProductName")));
  }
  const std::vector<std::pair<std::int64_t, std::string>> expected(model.begin(), model.end());
  EXPECT_EQ(listed, expected);
}

}  // namespace

namespace {

// What every entry shares with the first, each keeping a byte of its own, found the long way.
std::size_t LongestPrefix(const std::vector<std::vector<std::uint8_t>>& entries) {
  if (entries.size() < 2) return 0;
  std::size_t prefix = entries.front().size();
  for (const auto& entry : entries) {
    std::size_t same = 0;
    while (same < entry.size() && same < entries.front().size() &&
           entry[same] == entries.front()[same]) {
      ++same;
    }
    prefix = std::min({prefix, same, entry.size() - 1});
  }
  return prefix;
}

}  // namespace

// Index pages changed entry by entry hold what laying out their entries afresh gives: in
// order, leaves sharing the longest prefix. Keys with long common starts, duplicates and a
// descending column shift the prefix as entries come and go at either end of a page.
TEST(IndexPages, ChangedLeavesEqualFreshLayouts) {
  Copy copy("emptyJet4.mdb");
  auto& database = *copy.database;
  jetdb::CreateTable(database, "Parts",
                     {{"ID", ColumnType::kLong, 0, true},
                      {"Name", ColumnType::kText, 80},
                      {"Lot", ColumnType::kLong}},
                     {{"PrimaryKey", {{0, true}}, true},
                      {"Name", {{1, true}}},
                      {"LotName", {{2, false}, {1, true}}}});
  auto parts = database.OpenWriter("Parts");
  auto& pager = database.GetPager();
  std::mt19937 random(11);
  std::vector<std::uint32_t> live;
  std::size_t leaves = 0;
  std::size_t nodes = 0;
  for (int step = 0; step < 3000; ++step) {
    if (live.empty() || random() % 3 != 0) {
      const std::string name = std::string(random() % 30, 'p') + std::to_string(random() % 40);
      live.push_back(parts.Insert(
          {{"Name", Value::Text(name)}, {"Lot", Value::Integer(static_cast<int>(random() % 5))}}));
    } else {
      const std::size_t victim = random() % live.size();
      parts.Delete(live[victim]);
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(victim));
    }
    if (step % 300 != 299) continue;
    for (const auto& index : parts.Definition().indexes) {
      for (const std::uint32_t page : IndexPages(pager, index.first_page)) {
        PELMORA_TRACE("step " + std::to_string(step) + ", page " + std::to_string(page));
        const auto data = pager.Read(page);
        const auto entries = jetdb::ReadIndexEntries(*data, page);
        ASSERT_TRUE(std::is_sorted(entries.begin(), entries.end()));
        ASSERT_EQ(std::adjacent_find(entries.begin(), entries.end()), entries.end());
        const bool leaf = (*data)[0] == jetdb::kIndexLeafPage;
        const std::size_t prefix = leaf ? LongestPrefix(entries) : 0;
        ASSERT_EQ(jetdb::ReadU16(*data, 24), prefix);
        auto fresh =
            jetdb::LayOutLeafPage(entries, parts.Definition().page, jetdb::ReadU32(*data, 12),
                                  jetdb::ReadU32(*data, 16), data->size(), prefix);
        if (!leaf) {
          // Laid out as leaves are, but for the type and the tail leaf.
          fresh[0] = jetdb::kIndexNodePage;
          std::copy_n(data->begin() + 20, 4, fresh.begin() + 20);
        }
        ASSERT_EQ(fresh, *data);
        ++(leaf ? leaves : nodes);
      }
    }
  }
  EXPECT_GT(leaves, 100u);
  EXPECT_GT(nodes, 10u);
  // An entry that all the others start with still keeps a byte of its own.
  const auto page = jetdb::LayOutLeafPage({{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 7}},
                                          1, 0, 0, 4096);
  EXPECT_EQ(jetdb::ReadU16(page, 24), 4u);
}

// Index changes dropped with their post (a write that failed) leave nothing behind: the
// engine decodes the pages again instead of keeping what it made of the dropped bytes, even
// when the dropped changes split pages and took new ones.
TEST(IndexPages, DiscardedChangesAreForgotten) {
  Copy copy("emptyJet4.mdb");
  auto& database = *copy.database;
  jetdb::CreateTable(database, "Tags",
                     {{"ID", ColumnType::kLong, 0, true}, {"Tag", ColumnType::kText, 40}},
                     {{"PrimaryKey", {{0, true}}, true}, {"Tag", {{1, true}}}});
  auto tags = database.OpenWriter("Tags");
  std::vector<std::uint32_t> pointers;
  for (int i = 0; i < 400; ++i) {
    pointers.push_back(tags.Insert({{"Tag", Value::Text("tag " + std::to_string(i * 37 % 400))}}));
  }
  auto& pager = database.GetPager();
  const TableDef& table = tags.Definition();
  auto all_entries = [&] {
    std::vector<std::vector<std::vector<std::uint8_t>>> all;
    for (const auto& index : table.indexes) {
      all.push_back(jetdb::IndexEntries(pager, table.page, index.first_page));
    }
    return all;
  };
  const auto kept = all_entries();
  const std::uint32_t pages = pager.PageCount();
  auto row_bytes = [&](std::uint32_t pointer) {
    const auto row = jetdb::FollowOverflow(pager, jetdb::LocateRow(pager, pointer));
    return std::vector<std::uint8_t>(row.slot.bytes.begin(), row.slot.bytes.end());
  };
  // Enough entries to split leaves past the file's spare pages, then dropped.
  for (std::uint32_t i = 0; i < 3000; ++i) {
    const auto bytes = row_bytes(pointers[i % pointers.size()]);
    jetdb::AddIndexEntries(pager, table, jetdb::Row(table, bytes), 0x00FFFF00u + i);
  }
  ASSERT_GT(pager.PageCount(), pages);
  pager.Discard();
  EXPECT_EQ(pager.PageCount(), pages);
  EXPECT_EQ(all_entries(), kept);
  // Removals dropped the same way.
  for (std::size_t i = 0; i < 200; ++i) {
    const auto bytes = row_bytes(pointers[i]);
    jetdb::RemoveIndexEntries(pager, table, jetdb::Row(table, bytes), pointers[i]);
  }
  pager.Discard();
  EXPECT_EQ(all_entries(), kept);
  // Posts after that land in the pages as they are.
  for (int i = 0; i < 200; ++i) {
    tags.Insert({{"Tag", Value::Text("tag " + std::to_string(i) + "b")}});
    tags.Delete(pointers[static_cast<std::size_t>(i)]);
  }
  ExpectConsistent(database, "Tags");
  EXPECT_EQ(jetdb::IndexEntries(pager, table.page, table.indexes[0].first_page).size(), 400u);
}

// A leaf whose entries are out of order (a damaged file) is refused: the prefix its first and
// last entries share is not one every entry has.
TEST(IndexPages, LeafOutOfOrderIsRefused) {
  Copy copy("emptyJet4.mdb");
  auto& database = *copy.database;
  jetdb::CreateTable(database, "Notes",
                     {{"ID", ColumnType::kLong, 0, true}, {"Note", ColumnType::kText, 40}},
                     {{"PrimaryKey", {{0, true}}, true}, {"Note", {{1, true}}}});
  auto notes = database.OpenWriter("Notes");
  notes.Insert({{"Note", Value::Text("first")}});
  const TableDef& table = notes.Definition();
  auto& pager = database.GetPager();
  pager.Modify(table.indexes[1].first_page, 0) = jetdb::LayOutLeafPage(
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {0, 1, 2, 3, 4}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 11}},
      table.page, 0, 0, pager.PageSize(), 0);
  pager.Flush();
  EXPECT_THROW(notes.Insert({{"Note", Value::Text("second")}}), Error);
}
