// The fixture builder in process: a description's tables and rows read back, a table named
// again takes more rows, and an error names its line and leaves no file behind.
#include "tools/jetfixture/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jetdb/jetdb.h"
#include "jetdb/verify.h"
#include "test_files.h"

namespace {

using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;

std::vector<std::string> Column(jetdb::Database& database, const std::string& table_name,
                                const std::string& column_name) {
  const jetdb::Table table = database.OpenTable(table_name);
  std::vector<std::string> values;
  for (jetdb::Cursor rows = table.Rows(); rows.Next();) {
    values.push_back(rows.Text(table.GetColumn(column_name)));
  }
  return values;
}

TEST(Fixture, TablesComeBackAndANamedTableTakesMoreRows) {
  auto database = jetdb::Database::OpenBytes(ReadAll(TestData("emptyJet4.mdb")), "memory",
                                             jetdb::Access::kReadWrite);
  jetfixture::Describe(*database,
                       "# gauges first\n"
                       "table Gauges\r\n"
                       "column ID long auto\n"
                       "column Name text 20\n"
                       "index PrimaryKey primary : ID\n"
                       "row | Caliper \\| 6 in\n"
                       "table Readings\n"
                       "column Gauge long\n"
                       "column Value text\n"
                       "index Gauge : Gauge\n"
                       "row 2 | 1.0001\n"
                       "table gauges\n"
                       "row | Micrometer \u00e9 \u03a9\n"
                       "table Empty\n"
                       "column Note memo\n");
  EXPECT_EQ(database->TableNames(), (std::vector<std::string>{"Empty", "Gauges", "Readings"}));
  EXPECT_EQ(Column(*database, "Gauges", "ID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Column(*database, "Gauges", "Name"),
            (std::vector<std::string>{"Caliper | 6 in", "Micrometer \u00e9 \u03a9"}));
  EXPECT_EQ(Column(*database, "Readings", "Value"), std::vector<std::string>{"1.0001"});
  for (const std::string& name : database->TableNames()) {
    EXPECT_TRUE(
        jetdb::VerifyTable(database->GetPager(), database->OpenTable(name).Definition()).empty())
        << name;
  }
}

TEST(Fixture, ErrorsNameTheLineAndLeaveNoFile) {
  ScratchFile scratch({}, "unused");
  const auto folder = std::filesystem::path(scratch.Path()).parent_path();
  const std::string base = TestData("emptyJet4.mdb");
  const std::string out = (folder / "out.mdb").string();
  const std::pair<const char*, const char*> kBad[] = {
      {"table T\ncolumn a long\nrow 1 | 2\n", "gauges.txt:3: a row of 'T' has 1 values, not 2"},
      {"\ncolumn a long\n", "gauges.txt:2: 'column' before any table"},
      {"table T\ncolumn a varchar\n", "gauges.txt:2: unknown column type 'varchar'"},
      {"table T\ncolumn a long\nrow x\n", "gauges.txt:3:"},
      {"table T\ncolumn a long\nrow 1\ncolumn b long\n", "gauges.txt:4: columns and indexes"},
      {"table T\ncolumn a binary 4\nrow 0x123\n", "gauges.txt:3: bytes are written"},
      {"table T\ncolumn a long\nindex i : b\n", "gauges.txt:3: index 'i' names no column 'b'"},
      {"table T\ncolumn a long\ncolumn A text\n", "gauges.txt:"},
  };
  for (const auto& [description, message] : kBad) {
    try {
      jetfixture::BuildDatabase(description, base, out, "gauges.txt");
      ADD_FAILURE() << description;
    } catch (const jetdb::Error& error) {
      EXPECT_EQ(std::string(error.what()).rfind(message, 0), 0u) << error.what();
    }
    EXPECT_FALSE(std::filesystem::exists(out)) << description;
  }
  EXPECT_THROW(jetfixture::BuildDatabase("", TestData("missing.mdb"), out), jetdb::Error);
  EXPECT_FALSE(std::filesystem::exists(out));

  // Into a copy of the base, and into a new database (over the file of the first).
  for (const std::string& from : {base, std::string("-")}) {
    jetfixture::BuildDatabase("table T\ncolumn a long\nrow 7\n", from, out);
    auto database = jetdb::Database::Open(out);
    EXPECT_EQ(database->TableNames(), std::vector<std::string>{"T"});
    EXPECT_EQ(Column(*database, "T", "a"), std::vector<std::string>{"7"});
  }
}

}  // namespace
