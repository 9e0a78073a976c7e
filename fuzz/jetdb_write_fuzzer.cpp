// Opens arbitrary bytes as a Jet 4 database held in memory and writes to it: a row into every
// user table, then the first row of each deleted. Damaged pages met on the way must give a
// jetdb::Error, never a crash, a hang or unbounded memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jetdb/jetdb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    auto database =
        jetdb::Database::OpenBytes({data, data + size}, "fuzz.mdb", jetdb::Access::kReadWrite);
    for (const std::string& name : database->TableNames()) {
      try {
        jetdb::TableWriter writer = database->OpenWriter(name);
        jetdb::RowValues values;
        for (const auto& column : writer.Definition().columns) {
          values.emplace_back(column.name, jetdb::Value::Text("1"));
        }
        writer.Insert(values);
        const jetdb::Table table = database->OpenTable(name);
        jetdb::Cursor rows = table.Rows();
        if (rows.Next()) writer.Delete(rows.RowPointer());
      } catch (const jetdb::Error&) {
        // A refused value or a damaged page; the next table may be fine.
      }
    }
  } catch (const jetdb::Error&) {
    // Not a database, or damaged beyond opening.
  }
  return 0;
}
