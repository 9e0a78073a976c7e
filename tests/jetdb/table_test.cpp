#include "jetdb/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "jetdb/catalog.h"
#include "jetdb/database.h"
#include "jetdb/error.h"
#include "test_files.h"
#include "tests/support/scoped_trace.h"

namespace {

using jetdb::Column;
using jetdb::ColumnType;
using jetdb::Database;
using jetdb::Error;
using jetdb_test::TestData;

std::vector<std::string> UserTableNames(const std::string& file) {
  auto database = Database::Open(TestData(file));
  std::vector<std::string> names;
  for (const auto& entry : jetdb::UserTables(database->GetPager())) names.push_back(entry.name);
  return names;
}

// Table lists as mdbtools' mdb-tables prints them (sorted).
TEST(Catalog, UserTablesMatchAnIndependentReader) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(UserTableNames("northwind.mdb"),
            (Names{"Categories", "Customers", "Employees", "Order Details", "Orders",
                   "Paste Errors", "Products", "Shippers", "Suppliers"}));
  EXPECT_EQ(UserTableNames("testV2000.mdb"), (Names{"Table1", "Table2", "Table3", "Table4"}));
  EXPECT_EQ(UserTableNames("testIndexPropertiesV2000.mdb"),
            (Names{"TableIgnoreNulls1", "TableIgnoreNulls1_temp", "TableIgnoreNulls2",
                   "TableIgnoreNulls2_temp", "TableUnique1_temp", "TableUnique2_temp"}));
  EXPECT_EQ(UserTableNames("overflowTestV2000.mdb"), (Names{"Table1"}));
  for (const char* empty : {"empty.mdb", "emptyJet4.mdb", "adox_jet4.mdb"}) {
    EXPECT_TRUE(UserTableNames(empty).empty()) << empty;
  }
}

TEST(Catalog, SystemTablesAreInTheCatalogButNotListed) {
  auto database = Database::Open(TestData("empty.mdb"));
  std::map<std::string, jetdb::CatalogEntry> by_name;
  for (auto& entry : jetdb::ReadCatalog(database->GetPager())) by_name[entry.name] = entry;
  ASSERT_TRUE(by_name.contains("MSysObjects"));
  EXPECT_EQ(by_name["MSysObjects"].TableDefPage(), jetdb::kCatalogPage);
  EXPECT_EQ(by_name["MSysObjects"].type, jetdb::kObjectTable);
  EXPECT_FALSE(by_name["MSysObjects"].IsUserTable());  // flag 0x80000000
  ASSERT_TRUE(by_name.contains("MSysAccessObjects"));
  EXPECT_FALSE(by_name["MSysAccessObjects"].IsUserTable());  // flag 0x00000002
}

// Every row of every user table is found: stored row counts agree with the rows read, in
// tables with deleted rows, moved (overflow) rows and many pages.
TEST(Rows, EveryTableYieldsItsStoredRowCount) {
  for (const char* file :
       {"northwind.mdb", "testV2000.mdb", "overflowTestV2000.mdb", "delTestV2000.mdb",
        "delColTestV2000.mdb", "testIndexPropertiesV2000.mdb", "compIndexTestV2000.mdb"}) {
    auto database = Database::Open(TestData(file));
    auto& pager = database->GetPager();
    for (const auto& entry : jetdb::UserTables(pager)) {
      PELMORA_TRACE(std::string(file) + ": " + entry.name);
      const auto table = jetdb::ReadTableDef(pager, entry.TableDefPage());
      std::size_t rows = 0;
      jetdb::ForEachRow(pager, table, [&](const jetdb::Row&) { ++rows; });
      EXPECT_EQ(rows, table.row_count);
    }
  }
  auto northwind = Database::Open(TestData("northwind.mdb"));
  for (const auto& entry : jetdb::UserTables(northwind->GetPager())) {
    if (entry.name == "Order Details") {
      EXPECT_EQ(jetdb::ReadTableDef(northwind->GetPager(), entry.TableDefPage()).row_count, 2155u);
    }
  }
}

jetdb::TableDef Table1(Database& database) {
  for (const auto& entry : jetdb::UserTables(database.GetPager())) {
    if (entry.name == "Table1")
      return jetdb::ReadTableDef(database.GetPager(), entry.TableDefPage());
  }
  throw Error("no Table1");
}

TEST(TableDef, ColumnsOfAMixedTable) {
  auto database = Database::Open(TestData("testV2000.mdb"));
  const auto table = Table1(*database);
  struct Expected {
    const char* name;
    ColumnType type;
    std::uint16_t size;
    bool fixed;
  };
  const Expected expected[] = {
      {"A", ColumnType::kText, 100, false},  {"B", ColumnType::kText, 200, false},
      {"C", ColumnType::kByte, 1, true},     {"D", ColumnType::kInteger, 2, true},
      {"E", ColumnType::kLong, 4, true},     {"F", ColumnType::kDouble, 8, true},
      {"G", ColumnType::kDateTime, 8, true}, {"H", ColumnType::kCurrency, 8, true},
      {"I", ColumnType::kBoolean, 1, true}};
  ASSERT_EQ(table.columns.size(), std::size(expected));
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const Column& column = table.columns[i];
    PELMORA_TRACE(column.name);
    EXPECT_EQ(column.name, expected[i].name);
    EXPECT_EQ(column.type, expected[i].type);
    EXPECT_EQ(column.size, expected[i].size);
    EXPECT_EQ(column.Fixed(), expected[i].fixed);
  }
  EXPECT_EQ(table.var_columns, 2);
  EXPECT_EQ(table.row_count, 2u);
}

TEST(Rows, ValuesOfAMixedTable) {
  auto database = Database::Open(TestData("testV2000.mdb"));
  const auto table = Table1(*database);
  std::vector<std::string> seen;
  jetdb::ForEachRow(database->GetPager(), table, [&](const jetdb::Row& row) {
    seen.push_back(*row.Text(*table.Find("A")) + "|" + *row.Text(*table.Find("B")) + "|" +
                   std::to_string(*row.Integer(*table.Find("C"))) + "|" +
                   std::to_string(*row.Integer(*table.Find("D"))) + "|" +
                   std::to_string(*row.Integer(*table.Find("E"))) + "|" +
                   (*row.Boolean(*table.Find("I")) ? "yes" : "no"));
  });
  EXPECT_EQ(seen,
            (std::vector<std::string>{"abcdefg|hijklmnop|2|222|333333333|yes", "a|b|0|0|0|no"}));
  jetdb::ForEachRow(database->GetPager(), table, [&](const jetdb::Row& row) {
    EXPECT_THROW(row.Text(*table.Find("C")), Error);
    EXPECT_THROW(row.Integer(*table.Find("A")), Error);
  });
}

// Values as mdbtools' mdb-export prints them; "-" stands for null.
TEST(Rows, NullsAndValuesInMovedRows) {
  auto database = Database::Open(TestData("overflowTestV2000.mdb"));
  const auto table = Table1(*database);
  std::vector<std::string> seen;
  jetdb::ForEachRow(database->GetPager(), table, [&](const jetdb::Row& row) {
    std::string line;
    for (const char* name : {"data1", "data3", "data4", "data7", "data9"}) {
      line += row.Text(*table.Find(name)).value_or("-") + ",";
    }
    seen.push_back(line);
  });
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"-,row3col3,-,-,row3col9,", "-,row5col2,-,-,-,",
                                            "-,row6col2,row6col3,-,-,", "row1col1,-,-,-,-,",
                                            "row2col1,row2col3,-,-,-,", "row4col1,row4col2,-,-,-,",
                                            "row7col1,-,-,row7col7,-,"}));
}

TEST(TableDef, NonDefinitionPagesAreRefused) {
  auto database = Database::Open(TestData("empty.mdb"));
  EXPECT_THROW(jetdb::ReadTableDef(database->GetPager(), 1), Error);  // usage map page
  EXPECT_THROW(jetdb::ReadTableDef(database->GetPager(), 0), Error);  // header page
  EXPECT_THROW(jetdb::ReadTableDef(database->GetPager(), 100000), Error);
}

TEST(Text, PlainCompressedAndMixedForms) {
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(jetdb::DecodeText(Bytes{'A', 0, 0xE5, 0}), "A\xC3\xA5");  // "Aå" as UCS-2
  EXPECT_EQ(jetdb::DecodeText(Bytes{0xFF, 0xFE, 'L', 'u', 'l', 'e', 0xE5}), "Lule\xC3\xA5");
  // A zero byte switches to two-byte characters and back.
  EXPECT_EQ(jetdb::DecodeText(Bytes{0xFF, 0xFE, 'a', 0, 0xAC, 0x20, 0, 'b'}),
            "a\xE2\x82\xAC"
            "b");
  // Compressed throughout: Latin-1 letters among ASCII runs, at either end, or alone.
  EXPECT_EQ(jetdb::DecodeText(Bytes{0xFF, 0xFE, 0xC9, 't', 0xE9, ' ', 0xE0, 0xFF}),
            "\xC3\x89t\xC3\xA9 \xC3\xA0\xC3\xBF");
  EXPECT_EQ(jetdb::DecodeText(Bytes{0xFF, 0xFE}), "");
  EXPECT_EQ(jetdb::DecodeText(Bytes{0xFF, 0xFE, 'a', 0}), "a");  // a switch with nothing after
  EXPECT_EQ(jetdb::DecodeText(Bytes{0xAC, 0x20, 'x', 0, 'y'}), "\xE2\x82\xACx");    // odd byte left
  EXPECT_EQ(jetdb::DecodeText(Bytes{0x3D, 0xD8, 0x00, 0xDE}), "\xF0\x9F\x98\x80");  // pair
  EXPECT_EQ(jetdb::DecodeText(Bytes{0x00, 0xD8}), "\xEF\xBF\xBD");  // lone surrogate
  EXPECT_EQ(jetdb::DecodeText(Bytes{}), "");
}

}  // namespace

namespace {

// Damaged catalogs must give an Error (or a result), never a crash or an out-of-range read.
TEST(Catalog, DamagedPagesGiveErrorsNotCrashes) {
  const auto original = jetdb_test::ReadAll(TestData("testV2000.mdb"));
  std::mt19937 random(2024);
  int errors = 0;
  for (int round = 0; round < 60; ++round) {
    auto damaged = original;
    // Damage the catalog definition (page 2) or one of the first data pages.
    const std::size_t page = round % 3 == 0 ? 2 : 3 + random() % 12;
    for (int hit = 0; hit < 1 + round % 8; ++hit) {
      damaged[page * 4096 + random() % 4096] = static_cast<std::uint8_t>(random());
    }
    jetdb_test::ScratchFile scratch(damaged);
    try {
      auto database = Database::Open(scratch.Path());
      for (const auto& entry : jetdb::UserTables(database->GetPager())) {
        const auto table = jetdb::ReadTableDef(database->GetPager(), entry.TableDefPage());
        jetdb::ForEachRow(database->GetPager(), table, [&](const jetdb::Row& row) {
          for (const auto& column : table.columns) row.Bytes(column);
        });
      }
    } catch (const Error&) {
      ++errors;
    }
  }
  EXPECT_GT(errors, 0) << "no damage was ever noticed";
  RecordProperty("refused", errors);
}

}  // namespace

namespace {

// A row written before two columns were added has fewer columns than the definition: the
// added columns read as null.
TEST(Rows, ColumnsAddedAfterTheRowWasWritten) {
  jetdb::TableDef table;
  table.var_columns = 2;
  auto column = [](const char* name, ColumnType type, std::uint16_t number, bool fixed,
                   std::uint16_t place) {
    Column c;
    c.name = name;
    c.type = type;
    c.number = number;
    c.flags = fixed ? jetdb::kColumnFixed : 0;
    (fixed ? c.fixed_offset : c.var_index) = place;
    c.size = fixed ? 4 : 100;
    return c;
  };
  table.columns = {
      column("A", ColumnType::kLong, 0, true, 0), column("B", ColumnType::kText, 1, false, 0),
      column("C", ColumnType::kLong, 2, true, 4), column("D", ColumnType::kText, 3, false, 1)};
  // Two columns; A = 7; B = "hi"; end of data 10; one variable offset (6); both not null.
  const std::vector<std::uint8_t> bytes = {2, 0,  7, 0, 0, 0, 'h', 0,   'i',
                                           0, 10, 0, 6, 0, 1, 0,   0x03};
  const jetdb::Row row(table, bytes);
  EXPECT_EQ(row.Integer(table.columns[0]), 7);
  EXPECT_EQ(row.Text(table.columns[1]), "hi");
  EXPECT_TRUE(row.IsNull(table.columns[2]));
  EXPECT_EQ(row.Integer(table.columns[2]), std::nullopt);
  EXPECT_TRUE(row.IsNull(table.columns[3]));
  EXPECT_EQ(row.Text(table.columns[3]), std::nullopt);

  // Offsets out of order are damage.
  auto bad = bytes;
  bad[12] = 11;
  EXPECT_THROW(jetdb::Row(table, bad), Error);
}

}  // namespace
