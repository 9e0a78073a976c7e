// A new database from nothing, against adox_jet4.mdb (an empty database the Jet engine made):
// the same pages, byte for byte, but for the bytes Jet leaves stale and the rows' dates; the
// same system tables, columns, indexes and rows; and it reads back and takes tables and rows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "jetdb/catalog.h"
#include "jetdb/create.h"
#include "jetdb/jetdb.h"
#include "jetdb/verify.h"
#include "test_files.h"

namespace {

using jetdb::ColumnType;
using jetdb::Database;
using jetdb::Value;
using jetdb_test::ReadAll;
using jetdb_test::ScratchFile;
using jetdb_test::TestData;

constexpr std::size_t kPage = 4096;
constexpr std::uint32_t kSystemTablePages[] = {2, 3, 4, 5};

// The header fields of adox_jet4.mdb that differ per database: its creation date and the
// random number at 0x6A (both inside the masked region).
double AdoxCreationDate() {
  const auto header = jetdb::ParseHeader(ReadAll(TestData("adox_jet4.mdb")), "adox");
  return header.creation_date;
}
constexpr std::uint32_t kAdoxRandomKey = 0x261C;

std::unique_ptr<Database> OpenMemory(std::vector<std::uint8_t> bytes) {
  return Database::OpenBytes(std::move(bytes), "memory", jetdb::Access::kReadWrite);
}

TEST(NewDatabase, PagesEqualJetsButForStaleBytesAndRowDates) {
  const auto theirs = ReadAll(TestData("adox_jet4.mdb"));
  const auto ours = jetdb::NewDatabaseBytes(AdoxCreationDate(), kAdoxRandomKey);
  ASSERT_EQ(ours.size(), theirs.size());
  for (std::size_t page = 0; page < ours.size() / kPage; ++page) {
    std::size_t differences = 0;
    for (std::size_t i = page * kPage; i < (page + 1) * kPage; ++i) {
      differences += ours[i] != theirs[i];
    }
    // Table definitions: Jet leaves old numbers in fields it does not use (the fixed offset
    // of variable-length columns, unused index column slots); MSysObjects' rows carry dates
    // a moment after the header's, 4 bytes of each of two dates in 8 rows.
    const std::size_t allowed = page == 2    ? 11
                                : page == 3  ? 6
                                : page == 4  ? 9
                                : page == 14 ? 32
                                             : 0;
    EXPECT_LE(differences, allowed) << "page " << page;
  }
  // The table definitions field by field.
  auto our_database = OpenMemory(ours);
  auto their_database = OpenMemory(theirs);
  for (std::uint32_t page : kSystemTablePages) {
    const auto a = jetdb::ReadTableDef(our_database->GetPager(), page);
    const auto b = jetdb::ReadTableDef(their_database->GetPager(), page);
    EXPECT_EQ(a.table_type, b.table_type);
    EXPECT_EQ(a.row_count, b.row_count);
    EXPECT_EQ(std::make_pair(a.usage_map, a.free_space_map),
              std::make_pair(b.usage_map, b.free_space_map));
    ASSERT_EQ(a.columns.size(), b.columns.size()) << page;
    for (std::size_t i = 0; i < a.columns.size(); ++i) {
      const auto& x = a.columns[i];
      const auto& y = b.columns[i];
      EXPECT_EQ(x.name, y.name);
      EXPECT_EQ(std::tie(x.type, x.number, x.var_index, x.size, x.flags, x.misc),
                std::tie(y.type, y.number, y.var_index, y.size, y.flags, y.misc))
          << x.name;
      if (x.Fixed()) {
        EXPECT_EQ(x.fixed_offset, y.fixed_offset) << x.name;
      }
      EXPECT_EQ(x.compressed_unicode, y.compressed_unicode) << x.name;
    }
    ASSERT_EQ(a.indexes.size(), b.indexes.size()) << page;
    for (std::size_t i = 0; i < a.indexes.size(); ++i) {
      const auto& x = a.indexes[i];
      const auto& y = b.indexes[i];
      EXPECT_EQ(std::tie(x.name, x.number, x.physical, x.type, x.flags, x.first_page, x.usage_map),
                std::tie(y.name, y.number, y.physical, y.type, y.flags, y.first_page, y.usage_map));
      ASSERT_EQ(x.columns.size(), y.columns.size());
      for (std::size_t k = 0; k < x.columns.size(); ++k) {
        EXPECT_EQ(x.columns[k].column_number, y.columns[k].column_number);
        EXPECT_EQ(x.columns[k].ascending, y.columns[k].ascending);
      }
    }
  }
}

// The system tables' rows (every value but dates), through the reader, in table order and in
// every index's order.
std::vector<std::string> SystemRows(Database& database) {
  std::vector<std::string> rows;
  for (std::uint32_t page : kSystemTablePages) {
    auto definition = jetdb::ReadTableDef(database.GetPager(), page);
    const jetdb::Table table(database.GetPager(), "system",
                             std::make_shared<const jetdb::TableDef>(definition));
    std::vector<jetdb::Cursor> cursors;
    cursors.push_back(table.Rows());
    for (const auto& index : table.Indexes()) cursors.push_back(table.RowsInIndex(index));
    for (auto& cursor : cursors) {
      while (cursor.Next()) {
        std::string row = std::to_string(page) + ":";
        for (const auto& column : table.Columns()) {
          if (column.type == ColumnType::kDateTime) continue;
          if (column.type == ColumnType::kBinary || column.type == ColumnType::kOle) {
            for (std::uint8_t byte : cursor.Bytes(column)) row += std::to_string(byte) + " ";
          } else {
            row += cursor.Text(column);
          }
          row += "|";
        }
        rows.push_back(row);
      }
    }
  }
  return rows;
}

TEST(NewDatabase, SystemTablesHoldJetsRows) {
  auto ours = OpenMemory(jetdb::NewDatabaseBytes(45000.5, 1));
  auto theirs = OpenMemory(ReadAll(TestData("adox_jet4.mdb")));
  const auto rows = SystemRows(*ours);
  // The catalog in its order and two indexes', the permissions in its order and one index's.
  EXPECT_EQ(rows.size(), 3u * 8 + 2u * 16);
  EXPECT_EQ(rows, SystemRows(*theirs));
  const auto header = ours->GetHeader();
  EXPECT_EQ(header.code_page, 1252);
  EXPECT_EQ(header.sort_order, 0x409u);
  EXPECT_EQ(header.creation_date, 45000.5);
  EXPECT_FALSE(header.Encrypted());
}

TEST(NewDatabase, CreatedFileReadsBackAndTakesTables) {
  ScratchFile scratch({}, "unused");
  const std::string path =
      (std::filesystem::path(scratch.Path()).parent_path() / "new \u00e9.mdb").string();
  jetdb::CreateDatabase(path);
  EXPECT_THROW(jetdb::CreateDatabase(path), jetdb::Error);  // it exists now
  {
    auto database = Database::Open(path, jetdb::Access::kReadWrite);
    EXPECT_TRUE(database->TableNames().empty());
    // Created today (local time), within a day of the clock's UTC.
    const double now_days = 25569.0 + std::time(nullptr) / 86400.0;
    EXPECT_LT(std::fabs(database->GetHeader().creation_date - now_days), 1.0);
    for (std::uint32_t page : kSystemTablePages) {
      const auto problems =
          jetdb::VerifyTable(database->GetPager(), jetdb::ReadTableDef(database->GetPager(), page));
      EXPECT_TRUE(problems.empty()) << page << ": " << problems.front();
    }
    jetdb::CreateTable(*database, "Gauges",
                       {{"ID", ColumnType::kLong, 0, true}, {"Name", ColumnType::kText, 80}},
                       {{"PrimaryKey", {{0, true}}, true}, {"Name", {{1, true}}}});
    auto gauges = database->OpenWriter("Gauges");
    for (int i = 0; i < 3000; ++i) {
      gauges.Insert({{"Name", Value::Text("Gauge " + std::to_string(i) + " \u20ac")}});
    }
  }
  auto database = Database::Open(path);
  EXPECT_EQ(database->TableNames(), std::vector<std::string>{"Gauges"});
  EXPECT_EQ(database->OpenTable("Gauges").RowCount(), 3000u);
  jetdb_test::ReadEverything(*database);
  Database& db = *database;
  for (std::uint32_t page : {2u, database->OpenTable("Gauges").Definition().page}) {
    const auto problems =
        jetdb::VerifyTable(db.GetPager(), jetdb::ReadTableDef(db.GetPager(), page));
    EXPECT_TRUE(problems.empty()) << page << ": " << problems.front();
  }
}

}  // namespace
