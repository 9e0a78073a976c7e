// The translator's write pattern: 100,000 posts into a table with an auto-number primary key
// and one text index, each followed by the identity query, then every row deleted through a
// cursor. SQLite does the same work in the same run (autocommit, no sync per statement, like
// the engine's no-flush-per-post) as the peer the numbers are measured against.
//
//   build/jet-host/bench/jetdb_bench
//
// Counters: rows per second for inserting and deleting, for both, and their ratio; file
// sizes against the raw size of the data stored.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "bench/jet_insert_pattern.h"

namespace {

constexpr int kRows = 100000;

using bench::GaugeName;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Result {
  double insert_seconds = 0;
  double delete_seconds = 0;
  double file_bytes = 0;
};

Result RunJet(const std::filesystem::path& folder) {
  const auto path = folder / "bench.mdb";
  std::filesystem::copy_file(std::filesystem::path(PELMORA_TESTDATA) / "emptyJet4.mdb", path,
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  Result result;
  auto database = jetdb::Database::Open(path.string(), jetdb::Access::kReadWrite);
  const bench::JetTimes times = bench::RunJetPattern(*database, kRows, [&] {
    result.file_bytes = static_cast<double>(std::filesystem::file_size(path));
  });
  benchmark::DoNotOptimize(times.identity_sum);
  result.insert_seconds = times.insert_seconds;
  result.delete_seconds = times.delete_seconds;
  return result;
}

Result RunSqlite(const std::filesystem::path& folder) {
  const auto path = folder / "bench.sqlite";
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.string().c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA synchronous=OFF;"
               "CREATE TABLE Gauges (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, Size REAL);"
               "CREATE INDEX GaugeName ON Gauges(Name);",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO Gauges (Name, Size) VALUES (?, ?)", -1, &insert, nullptr);
  sqlite3_stmt* identity = nullptr;
  sqlite3_prepare_v2(db, "SELECT last_insert_rowid()", -1, &identity, nullptr);
  Result result;
  auto start = std::chrono::steady_clock::now();
  std::int64_t sum = 0;
  for (int i = 0; i < kRows; ++i) {
    const std::string name = GaugeName(i);
    sqlite3_bind_text(insert, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 2, i * 0.5);
    sqlite3_step(insert);
    sqlite3_reset(insert);
    sqlite3_step(identity);
    sum += sqlite3_column_int64(identity, 0);
    sqlite3_reset(identity);
  }
  benchmark::DoNotOptimize(sum);
  result.insert_seconds = Seconds(start);
  result.file_bytes = static_cast<double>(std::filesystem::file_size(path));
  sqlite3_stmt* ids = nullptr;
  sqlite3_stmt* remove = nullptr;
  sqlite3_prepare_v2(db, "SELECT ID FROM Gauges", -1, &ids, nullptr);
  sqlite3_prepare_v2(db, "DELETE FROM Gauges WHERE ID = ?", -1, &remove, nullptr);
  std::vector<std::int64_t> all;
  while (sqlite3_step(ids) == SQLITE_ROW) all.push_back(sqlite3_column_int64(ids, 0));
  start = std::chrono::steady_clock::now();
  for (std::int64_t id : all) {
    sqlite3_bind_int64(remove, 1, id);
    sqlite3_step(remove);
    sqlite3_reset(remove);
  }
  result.delete_seconds = Seconds(start);
  sqlite3_finalize(ids);
  sqlite3_finalize(remove);
  sqlite3_finalize(insert);
  sqlite3_finalize(identity);
  sqlite3_close(db);
  return result;
}

void BM_InsertIdentityDelete(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / "pelmora_jetdb_bench";
  std::filesystem::create_directories(folder);
  const double raw = bench::RawBytes(kRows);
  for (auto _ : state) {
    const Result jet = RunJet(folder);
    const Result peer = RunSqlite(folder);
    state.counters["jet_inserts_per_s"] = kRows / jet.insert_seconds;
    state.counters["jet_deletes_per_s"] = kRows / jet.delete_seconds;
    state.counters["sqlite_inserts_per_s"] = kRows / peer.insert_seconds;
    state.counters["sqlite_deletes_per_s"] = kRows / peer.delete_seconds;
    state.counters["insert_speed_vs_sqlite"] = peer.insert_seconds / jet.insert_seconds;
    state.counters["delete_speed_vs_sqlite"] = peer.delete_seconds / jet.delete_seconds;
    state.counters["jet_file_vs_raw"] = jet.file_bytes / raw;
    state.counters["sqlite_file_vs_raw"] = peer.file_bytes / raw;
    state.counters["jet_file_vs_sqlite"] = jet.file_bytes / peer.file_bytes;
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_InsertIdentityDelete)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
