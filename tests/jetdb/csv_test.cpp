// jetdump's CSV writer: the fields as mdb-export -b hex -T '%Y-%m-%d %H:%M:%S' writes them,
// numbers exactly as printf's "%.16g" (Double) and "%.8g" (Single) write them.
#include "tools/jetdump/csv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "jetdb/create.h"
#include "jetdb/jetdb.h"
#include "test_files.h"

namespace {

using jetdb::ColumnType;
using jetdb::Value;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;

const std::vector<jetdb::ColumnSpec> kColumns = {
    {"ID", ColumnType::kLong, 0, true}, {"Name", ColumnType::kText, 40},
    {"Notes", ColumnType::kMemo},       {"Size", ColumnType::kDouble},
    {"Ratio", ColumnType::kSingle},     {"Price", ColumnType::kCurrency},
    {"Checked", ColumnType::kDateTime}, {"Ok", ColumnType::kBoolean},
    {"Count", ColumnType::kInteger},    {"Blob", ColumnType::kBinary, 4}};

std::string Printf(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

TEST(Csv, RowsAsMdbExportWritesThem) {
  ScratchFile file(ReadAll(TestData("emptyJet4.mdb")));
  std::string memo = "A long note, \"quoted\", ";
  while (memo.size() < 300) memo += "on a long-value page; ";  // past the inline limit
  {
    auto database = jetdb::Database::Open(file.Path(), jetdb::Access::kReadWrite);
    jetdb::CreateTable(*database, "Gauges", kColumns, {});
    auto gauges = database->OpenWriter("Gauges");
    gauges.Insert({{"Name", Value::Text("Say \"hi\", ok \u00e9")},
                   {"Notes", Value::Text(memo)},
                   {"Size", Value::Number(0.1)},
                   {"Ratio", Value::Number(1.0 / 3)},
                   {"Price", Value::Currency(-1)},
                   {"Checked", Value::DateTime(jetdb::DaysFromDate(2024, 2, 29, 13, 45, 7))},
                   {"Ok", Value::Boolean(true)},
                   {"Count", Value::Integer(-5)},
                   {"Blob", Value::Bytes({0x00, 0x0F, 0xA0, 0xFF})}});
    gauges.Insert({{"Notes", Value::Text("\"")}});  // every other value null
  }
  auto database = jetdb::Database::Open(file.Path());
  const jetdb::Table table = database->OpenTable("Gauges");
  std::ostringstream out;
  jetdump::WriteCsv(table, table.Rows(), out);
  std::string quoted_memo;
  for (char c : memo) quoted_memo += c == '"' ? std::string("\"\"") : std::string(1, c);
  EXPECT_EQ(out.str(),
            "ID,Name,Notes,Size,Ratio,Price,Checked,Ok,Count,Blob\n"
            "1,\"Say \"\"hi\"\", ok \u00e9\",\"" +
                quoted_memo +
                "\",0.1,0.33333334,-0.0001,\"2024-02-29 13:45:07\",1,-5,\"000FA0FF\"\n"
                "2,,\"\"\"\",,,,,0,,\n");
}

TEST(Csv, NumbersAsPrintfWritesThem) {
  // 0.1 + 0.2 needs seventeen digits to round-trip: printf's sixteen give "0.3".
  const std::vector<double> doubles = {0.1,
                                       0.1 + 0.2,
                                       -0.0,
                                       1e300,
                                       -1e-300,
                                       4.9e-324,
                                       2.5,
                                       1.0 / 3,
                                       1e16,
                                       1e15,
                                       123456789012345678.0,
                                       -7.0,
                                       0.0001,
                                       1e-5,
                                       9007199254740993.0};
  const std::vector<double> singles = {0.1, -2.5, 1.0 / 3, 3.4e38, 1.5e-45, 16777217.0, 1e-5};
  ScratchFile file(ReadAll(TestData("emptyJet4.mdb")));
  {
    auto database = jetdb::Database::Open(file.Path(), jetdb::Access::kReadWrite);
    jetdb::CreateTable(*database, "Numbers", kColumns, {});
    auto numbers = database->OpenWriter("Numbers");
    for (double value : doubles) numbers.Insert({{"Size", Value::Number(value)}});
    for (double value : singles) numbers.Insert({{"Ratio", Value::Number(value)}});
  }
  auto database = jetdb::Database::Open(file.Path());
  const jetdb::Table table = database->OpenTable("Numbers");
  const jetdb::Column& size = table.GetColumn("Size");
  const jetdb::Column& ratio = table.GetColumn("Ratio");
  auto rows = table.Rows();
  for (double value : doubles) {
    ASSERT_TRUE(rows.Next());
    EXPECT_EQ(jetdump::CsvField(rows, size), Printf("%.16g", value));
  }
  for (double value : singles) {
    ASSERT_TRUE(rows.Next());
    EXPECT_EQ(jetdump::CsvField(rows, ratio), Printf("%.8g", static_cast<float>(value)));
  }
  EXPECT_FALSE(rows.Next());
}

}  // namespace
