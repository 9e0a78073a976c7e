// Opens arbitrary bytes as a Jet 4 database and reads every value of every table, in the
// table's order and in every index's order. The engine must answer with a jetdb::Error or a
// result, never a crash, a hang or unbounded memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jetdb/jetdb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto database = jetdb::Database::OpenBytes({data, data + size}, "fuzz.mdb");
    for (const std::string& name : database->TableNames()) {
      const jetdb::Table table = database->OpenTable(name);
      std::vector<jetdb::Cursor> cursors;
      cursors.push_back(table.Rows());
      for (const auto& index : table.Indexes()) cursors.push_back(table.RowsInIndex(index));
      for (auto& rows : cursors) {
        while (rows.Next()) {
          for (const auto& column : table.Columns()) {
            try {
              if (column.type == jetdb::ColumnType::kOle ||
                  column.type == jetdb::ColumnType::kBinary) {
                rows.Bytes(column);
              } else {
                rows.Text(column, 1252);
                rows.Double(column);
              }
            } catch (const jetdb::Error&) {
              // A value that does not convert (or is damaged); the next one may be fine.
            }
          }
        }
      }
    }
  } catch (const jetdb::Error&) {
  }
  return 0;
}
