// Helpers for the engine tests: the Access-made databases, scratch files, a full read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jetdb/jetdb.h"

namespace jetdb_test {

// Every Access-made database of the test data.
inline constexpr const char* kAccessDatabases[] = {
    "adox_jet4.mdb",          "bigIndexTestV2000.mdb",
    "compIndexTestV2000.mdb", "delColTestV2000.mdb",
    "delTestV2000.mdb",       "empty.mdb",
    "emptyJet4.mdb",          "fixedNumericTestV2000.mdb",
    "fixedTextTestV2000.mdb", "indexCursorTestV2000.mdb",
    "indexTestV2000.mdb",     "northwind.mdb",
    "overflowTestV2000.mdb",  "queryTestV2000.mdb",
    "test2V2000.mdb",         "testIndexPropertiesV2000.mdb",
    "testPromotionV2000.mdb", "testV2000.mdb"};

inline std::string TestData(const std::string& name) {
  return (std::filesystem::path(PELMORA_TESTDATA) / name).string();
}

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file in a fresh scratch folder, removed with the folder when the object goes away.
class ScratchFile {
 public:
  explicit ScratchFile(const std::vector<std::uint8_t>& bytes, const std::string& name = "db.mdb")
      : folder_(std::filesystem::temp_directory_path() /
                ("jetdb_test_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "_" +
                 std::to_string(counter_++))) {
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / name).string();
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(folder_, ignored);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::filesystem::path folder_;
  std::string path_;
};

// Reads every value of every table, in table order and in every index's order.
inline void ReadEverything(jetdb::Database& database) {
  for (const std::string& name : database.TableNames()) {
    const jetdb::Table table = database.OpenTable(name);
    std::vector<jetdb::Cursor> cursors;
    cursors.push_back(table.Rows());
    for (const auto& index : table.Indexes()) cursors.push_back(table.RowsInIndex(index));
    for (jetdb::Cursor& rows : cursors) {
      while (rows.Next()) {
        for (const auto& column : table.Columns()) {
          if (column.type == jetdb::ColumnType::kOle) {
            rows.Bytes(column);
          } else {
            rows.Text(column);
          }
        }
      }
    }
  }
}

}  // namespace jetdb_test
