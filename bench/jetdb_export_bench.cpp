// A table of 100,000 rows of mixed types exported to CSV by jetdump's writer and by mdbtools'
// mdb-export (-b hex -T '%Y-%m-%d %H:%M:%S', run as a child process) from the same file in the
// same run. The table is built with the engine's writer in a child process first, so that
// building it leaves nothing in this process's resident set.
//
//   build/bench-host/bench/jetdb_export_bench
//
// Each side exports three times, alternating, to a file in the temporary folder; the best
// time counts. Counters: rows per second for both and their ratio (ours over mdb-export's),
// the file's size, the engine's page cache after the export, and the peak resident set of
// this process (which never holds the file) and of mdb-export. The two outputs must hold the
// same number of rows; "outputs_identical" is 1 when they agree byte for byte.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "jetdb/create.h"
#include "jetdb/jetdb.h"
#include "tools/jetdump/csv.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 100000;
constexpr int kRepeats = 3;
constexpr const char* kTable = "Readings";

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Row i: every type the export formats differently, some nulls, quotes and commas in texts,
// Memo values inline and on long-value pages.
jetdb::RowValues RowAt(int i) {
  using jetdb::Value;
  jetdb::RowValues row;
  std::string name = "Gauge " + std::to_string(i * 7919 % 100003);
  if (i % 7 == 0) name += " \"Mitutoyo\", 0-25 mm";
  if (i % 11 == 0) name += " r\xC3\xA9vis\xC3\xA9";  // "révisé": still one byte a character
  row.emplace_back("Name", Value::Text(name));
  if (i % 3 == 1) {
    row.emplace_back("Notes", Value::Text("Calibrated on bench " + std::to_string(i % 40)));
  } else if (i % 3 == 2) {
    std::string long_note = "Out of tolerance at " + std::to_string(i) + ": ";
    for (int k = 0; k < 12; ++k) long_note += "reading repeated after cleaning the anvils; ";
    row.emplace_back("Notes", Value::Text(long_note));
  }
  row.emplace_back("Size", Value::Number(i * 0.37 - 1000.0));
  row.emplace_back("Price", Value::Currency(static_cast<std::int64_t>(i) * 1250 - 7));
  if (i % 13 != 0) {
    row.emplace_back("Checked", Value::DateTime(jetdb::DaysFromDate(2020, 1, 1) + i * 0.0137));
  }
  row.emplace_back("Active", Value::Boolean(i % 2 == 0));
  row.emplace_back("Count", Value::Integer(i % 30000 - 15000));
  row.emplace_back("Ratio", Value::Number(i / 7.0));
  row.emplace_back("Grade", Value::Integer(i % 256));
  // No zero bytes: mdb-export ends a binary value at its first zero byte.
  row.emplace_back("Tag", Value::Bytes({static_cast<std::uint8_t>(i % 255 + 1),
                                        static_cast<std::uint8_t>(i / 255 % 255 + 1), 0xAB, 0xCD}));
  return row;
}

void BuildDatabase(const fs::path& path) {
  fs::copy_file(fs::path(PELMORA_TESTDATA) / "emptyJet4.mdb", path,
                fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  auto database = jetdb::Database::Open(path.string(), jetdb::Access::kReadWrite);
  using jetdb::ColumnType;
  jetdb::CreateTable(*database, kTable,
                     {{"ID", ColumnType::kLong, 0, true},
                      {"Name", ColumnType::kText, 80},
                      {"Notes", ColumnType::kMemo},
                      {"Size", ColumnType::kDouble},
                      {"Price", ColumnType::kCurrency},
                      {"Checked", ColumnType::kDateTime},
                      {"Active", ColumnType::kBoolean},
                      {"Count", ColumnType::kInteger},
                      {"Ratio", ColumnType::kSingle},
                      {"Grade", ColumnType::kByte},
                      {"Tag", ColumnType::kBinary, 4}},
                     {{"PrimaryKey", {{0, true}}, true}});
  auto writer = database->OpenWriter(kTable);
  for (int i = 0; i < kRows; ++i) writer.Insert(RowAt(i));
}

// Runs body in a child process and waits for it: true when it succeeded.
template <typename Body>
bool InChild(Body body, rusage* usage = nullptr) {
  std::cout.flush();
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) _exit(body() ? 0 : 1);
  int status = 0;
  rusage ignored{};
  if (wait4(child, &status, 0, usage ? usage : &ignored) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The number of CSV records in a file, less the header line: line ends inside quotes do not
// end a record.
long CsvRows(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  long records = 0;
  bool quoted = false;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      if (buffer[i] == '"') quoted = !quoted;
      if (buffer[i] == '\n' && !quoted) ++records;
    }
  }
  return records - 1;
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  if (fs::file_size(a) != fs::file_size(b)) return false;
  std::ifstream left(a, std::ios::binary);
  std::ifstream right(b, std::ios::binary);
  std::string x(1 << 16, '\0');
  std::string y(1 << 16, '\0');
  while (left.read(x.data(), x.size()) || left.gcount() > 0) {
    right.read(y.data(), y.size());
    if (left.gcount() != right.gcount() || x.compare(0, left.gcount(), y, 0, left.gcount()) != 0) {
      return false;
    }
  }
  return true;
}

double PeakResidentMegabytes(const rusage& usage) { return usage.ru_maxrss / 1024.0; }

void BM_ExportCsv(benchmark::State& state) {
  const fs::path folder = fs::temp_directory_path() / "pelmora_export_bench";
  fs::create_directories(folder);
  const fs::path database_path = folder / "export.mdb";
  const fs::path ours = folder / "jetdump.csv";
  const fs::path theirs = folder / "mdb-export.csv";
  const bool built = InChild([&] {
    try {
      BuildDatabase(database_path);
      return true;
    } catch (const jetdb::Error& error) {
      std::cerr << "building the table: " << error.what() << '\n';
      return false;
    }
  });
  if (!built) {
    state.SkipWithError("could not build the table");
    fs::remove_all(folder);
    return;
  }
  for (auto _ : state) {
    double our_best = 1e30;
    double their_best = 1e30;
    double cached_pages = 0;
    double page_size = 0;
    rusage their_usage{};
    bool exported = true;
    for (int run = 0; run < kRepeats && exported; ++run) {
      auto start = std::chrono::steady_clock::now();
      {
        auto database = jetdb::Database::Open(database_path.string());
        const jetdb::Table table = database->OpenTable(kTable);
        std::ofstream out(ours, std::ios::binary | std::ios::trunc);
        jetdump::WriteCsv(table, table.Rows(), out);
        out.close();
        cached_pages = static_cast<double>(database->GetPager().CachedPages());
        page_size = static_cast<double>(database->GetPager().PageSize());
      }
      our_best = std::min(our_best, Seconds(start));

      start = std::chrono::steady_clock::now();
      exported = InChild(
          [&] {
            const int out = open(theirs.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || dup2(out, STDOUT_FILENO) < 0) return false;
            execlp("mdb-export", "mdb-export", "-b", "hex", "-T", "%Y-%m-%d %H:%M:%S",
                   database_path.c_str(), kTable, static_cast<char*>(nullptr));
            return false;  // mdb-export could not be started
          },
          &their_usage);
      their_best = std::min(their_best, Seconds(start));
    }
    if (!exported) {
      state.SkipWithError("mdb-export failed");
      break;
    }
    rusage our_usage{};
    getrusage(RUSAGE_SELF, &our_usage);

    const long our_rows = CsvRows(ours);
    const long their_rows = CsvRows(theirs);
    if (our_rows != kRows || their_rows != kRows) {
      state.SkipWithError(("row counts differ: jetdump " + std::to_string(our_rows) +
                           ", mdb-export " + std::to_string(their_rows))
                              .c_str());
      break;
    }
    state.counters["jet_rows_per_s"] = kRows / our_best;
    state.counters["mdb_export_rows_per_s"] = kRows / their_best;
    state.counters["speed_vs_mdb_export"] = their_best / our_best;
    state.counters["rows"] = static_cast<double>(our_rows);
    state.counters["outputs_identical"] = SameBytes(ours, theirs) ? 1 : 0;
    state.counters["csv_MB"] = static_cast<double>(fs::file_size(ours)) / (1 << 20);
    state.counters["file_MB"] = static_cast<double>(fs::file_size(database_path)) / (1 << 20);
    state.counters["page_cache_MB"] = cached_pages * page_size / (1 << 20);
    state.counters["jet_peak_rss_MB"] = PeakResidentMegabytes(our_usage);
    state.counters["mdb_export_peak_rss_MB"] = PeakResidentMegabytes(their_usage);
  }
  fs::remove_all(folder);
}
BENCHMARK(BM_ExportCsv)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
