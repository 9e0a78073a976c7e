// The translator's write pattern on the Jet engine: posts into a table with an auto-number
// primary key and one text index, each followed by the identity query, then every row deleted
// through a cursor. Shared by the host benchmark and the one that runs under Wine.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "jetdb/create.h"
#include "jetdb/jetdb.h"

namespace bench {

inline std::string GaugeName(int i) {
  return "Gauge " + std::to_string(i * 7919 % 100003) + " caliper";
}

// The bytes of the values stored: key, name, size.
inline double RawBytes(int rows) {
  double raw = 0;
  for (int i = 0; i < rows; ++i) raw += 4 + GaugeName(i).size() + 8;
  return raw;
}

struct JetTimes {
  double insert_seconds = 0;
  double delete_seconds = 0;
  std::int64_t identity_sum = 0;  // keeps the identity reads from being optimised away
};

// Creates the table in database (open for writing), fills and empties it. after_inserts runs
// between the two halves, untimed (to measure the file, say).
template <typename AfterInserts>
JetTimes RunJetPattern(jetdb::Database& database, int rows, AfterInserts after_inserts) {
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  jetdb::CreateTable(database, "Gauges",
                     {{"ID", jetdb::ColumnType::kLong, 0, true},
                      {"Name", jetdb::ColumnType::kText, 50},
                      {"Size", jetdb::ColumnType::kDouble}},
                     {{"PrimaryKey", {{0, true}}, true}, {"Name", {{1, true}}}});
  auto gauges = database.OpenWriter("Gauges");
  JetTimes times;
  auto start = Clock::now();
  for (int i = 0; i < rows; ++i) {
    gauges.Insert(
        {{"Name", jetdb::Value::Text(GaugeName(i))}, {"Size", jetdb::Value::Number(i * 0.5)}});
    times.identity_sum += database.Query("select @@IDENTITY as ID_NUMBER").value;
  }
  times.insert_seconds = seconds(start);
  after_inserts();
  const jetdb::Table table = database.OpenTable("Gauges");
  start = Clock::now();
  for (auto cursor = table.Rows(); cursor.Next();) gauges.Delete(cursor.RowPointer());
  times.delete_seconds = seconds(start);
  return times;
}

}  // namespace bench
