// Creating tables: the definition reads back as created, rows go in and come out through
// every index, the catalog stays consistent, and a refused definition changes nothing.
#include "jetdb/create.h"

#include <gtest/gtest.h>

#include "jetdb/catalog.h"
#include "jetdb/jetdb.h"
#include "jetdb/usage_map.h"
#include "jetdb/verify.h"
#include "test_files.h"

namespace {

using jetdb::ColumnType;
using jetdb::Database;
using jetdb::Error;
using jetdb::Value;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;

const std::vector<jetdb::ColumnSpec> kColumns = {
    {"ID", ColumnType::kLong, 0, true}, {"Name", ColumnType::kText, 40},
    {"Price", ColumnType::kCurrency},   {"Checked", ColumnType::kDateTime},
    {"Ok", ColumnType::kBoolean},       {"Notes", ColumnType::kMemo},
    {"Size", ColumnType::kDouble},      {"Count", ColumnType::kInteger},
    {"Tiny", ColumnType::kByte},        {"Ratio", ColumnType::kSingle},
    {"Blob", ColumnType::kOle}};
const std::vector<jetdb::IndexSpec> kIndexes = {
    {"PrimaryKey", {{0, true}}, true},
    {"Name", {{1, true}}},
    {"CheckedName", {{3, false}, {1, true}}, false, false, true}};

TEST(CreateTable, ReadsBackAndTakesRowsThroughEveryIndex) {
  ScratchFile file(ReadAll(TestData("emptyJet4.mdb")));
  {
    auto database = Database::Open(file.Path(), jetdb::Access::kReadWrite);
    jetdb::CreateTable(*database, "Gauges", kColumns, kIndexes);
    auto gauges = database->OpenWriter("gauges");
    for (int i = 0; i < 3000; ++i) {
      gauges.Insert({{"Name", Value::Text("Gauge " + std::to_string(i % 97) + " \u00e9")},
                     {"Price", Value::Currency(i * 12345)},
                     {"Checked", i % 5 == 0 ? Value::Null() : Value::DateTime(40000 + i / 7)},
                     {"Ok", Value::Boolean(i % 2 == 1)},
                     {"Notes", Value::Text(std::string(i % 300, 'n'))},
                     {"Count", Value::Integer(i - 1500)}});
      ASSERT_EQ(database->LastIdentity(), i + 1);
    }
    EXPECT_TRUE(jetdb::VerifyTable(database->GetPager(), gauges.Definition()).empty());
    EXPECT_TRUE(jetdb::VerifyTable(database->GetPager(),
                                   jetdb::ReadTableDef(database->GetPager(), jetdb::kCatalogPage))
                    .empty());
  }
  auto database = Database::Open(file.Path());
  EXPECT_EQ(database->TableNames(), std::vector<std::string>{"Gauges"});
  const auto table = database->OpenTable("Gauges");
  ASSERT_EQ(table.Columns().size(), kColumns.size());
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    EXPECT_EQ(table.Columns()[i].name, kColumns[i].name);
    EXPECT_EQ(table.Columns()[i].type, kColumns[i].type);
  }
  EXPECT_EQ(table.GetColumn("Name").size, 80);
  EXPECT_EQ(table.RowCount(), 3000u);
  ASSERT_NE(table.FindIndex("PrimaryKey"), nullptr);
  EXPECT_TRUE(table.FindIndex("PrimaryKey")->PrimaryKey());
  // Descending by date (nulls last), then by name.
  auto rows = table.RowsInIndex("CheckedName");
  double last_date = 1e9;
  int rows_seen = 0;
  bool nulls = false;
  while (rows.Next()) {
    ++rows_seen;
    if (rows.IsNull(table.GetColumn("Checked"))) {
      nulls = true;
      continue;
    }
    EXPECT_FALSE(nulls) << "a date after the nulls";
    EXPECT_LE(rows.DateTime(table.GetColumn("Checked")), last_date);
    last_date = rows.DateTime(table.GetColumn("Checked"));
  }
  EXPECT_EQ(rows_seen, 3000);
}

TEST(CreateTable, RefusedDefinitionsChangeNothing) {
  ScratchFile file(ReadAll(TestData("northwind.mdb")));
  const auto before = ReadAll(file.Path());
  auto database = Database::Open(file.Path(), jetdb::Access::kReadWrite);
  auto refuse = [&](const std::string& name, const std::vector<jetdb::ColumnSpec>& columns,
                    const std::vector<jetdb::IndexSpec>& indexes) {
    EXPECT_THROW(jetdb::CreateTable(*database, name, columns, indexes), Error) << name;
    EXPECT_EQ(ReadAll(file.Path()), before) << name;
  };
  refuse("orders", kColumns, {});
  refuse("Bad.Name", kColumns, {});
  refuse("Twice", {{"a", ColumnType::kLong}, {"A", ColumnType::kText}}, {});
  refuse("NoColumns", {}, {});
  refuse("LongText", {{"a", ColumnType::kText, 300}}, {});
  refuse("MemoKey", kColumns, {{"k", {{5, true}}}});
  refuse("MissingColumn", kColumns, {{"k", {{40, true}}}});
  refuse("TwoKeys", kColumns, {{"a", {{0, true}}, true}, {"b", {{1, true}}, true}});
  std::vector<jetdb::ColumnSpec> wide;
  for (int i = 0; i < 200; ++i) wide.push_back({"Column number " + std::to_string(i)});
  refuse("TooWide", wide, {});
}

// A table past 512 pages outgrows the inline usage maps: they become maps of map pages and
// keep listing every page (the free-page map of this file reaches no further either).
TEST(CreateTable, UsageMapsGrowIntoMapPages) {
  ScratchFile file(ReadAll(TestData("emptyJet4.mdb")));
  auto database = Database::Open(file.Path(), jetdb::Access::kReadWrite);
  jetdb::CreateTable(*database, "Big",
                     {{"ID", ColumnType::kLong, 0, true},
                      {"A", ColumnType::kText, 255},
                      {"B", ColumnType::kText, 255},
                      {"C", ColumnType::kText, 255}},
                     {{"PrimaryKey", {{0, true}}, true}});
  auto big = database->OpenWriter("Big");
  // Greek letters take two bytes each: about 1.5 kB a row, two rows a page.
  std::string wide;
  for (int i = 0; i < 250; ++i) wide += "\u03a9";
  for (int i = 0; i < 1200; ++i) {
    big.Insert({{"A", Value::Text(wide)}, {"B", Value::Text(wide)}, {"C", Value::Text(wide)}});
  }
  EXPECT_GT(database->GetPager().PageCount(), 600u);
  const auto problems = jetdb::VerifyTable(database->GetPager(), big.Definition());
  EXPECT_TRUE(problems.empty()) << problems.front();
  std::size_t rows = 0;
  for (auto cursor = database->OpenTable("Big").Rows(); cursor.Next(); ++rows) {
    ASSERT_EQ(cursor.Text(database->OpenTable("Big").GetColumn("C")), wide);
  }
  EXPECT_EQ(rows, 1200u);
  // Looking for the first page from some page on finds what the whole list gives.
  auto& pager = database->GetPager();
  const std::uint32_t map = big.Definition().usage_map;
  const auto pages = jetdb::ReadUsageMap(pager, map);
  for (std::size_t i = 0; i < pages.size(); i += 37) {
    EXPECT_EQ(jetdb::FirstMarkedPage(pager, map, pages[i]), pages[i]);
    EXPECT_EQ(jetdb::FirstMarkedPage(pager, map, pages[i] + 1),
              i + 1 < pages.size() ? std::optional(pages[i + 1]) : std::nullopt);
  }
  EXPECT_EQ(jetdb::FirstMarkedPage(pager, map, 0), pages.front());
  EXPECT_EQ(jetdb::FirstMarkedPage(pager, map, pages.back() + 1), std::nullopt);
}

}  // namespace
