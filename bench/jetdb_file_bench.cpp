// jetdb_file_bench [--keep OUT.mdb] EMPTY.mdb [ROWS]
//
// The translator's write pattern (bench/jet_insert_pattern.h) on a database file, beside the
// same work on a copy held in memory, in the same run: the ratio is what the file layer costs
// on this system. Built for the host and for Windows, to be run under Wine, where file calls
// are the expensive part. --keep leaves the file written at OUT.mdb, to compare builds byte for
// byte.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/jet_insert_pattern.h"

int main(int argc, char** argv) {
  std::string keep;
  if (argc >= 3 && std::string(argv[1]) == "--keep") {
    keep = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: jetdb_file_bench [--keep OUT.mdb] EMPTY.mdb [ROWS]\n");
    return 2;
  }
  const int rows = argc == 3 ? std::stoi(argv[2]) : 100000;
  try {
    const std::filesystem::path empty = argv[1];
    const auto path = keep.empty()
                          ? std::filesystem::temp_directory_path() / "pelmora_jetdb_file_bench.mdb"
                          : std::filesystem::path(keep);
    std::filesystem::copy_file(empty, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    double file_bytes = 0;
    bench::JetTimes on_file;
    {
      auto database = jetdb::Database::Open(path.string(), jetdb::Access::kReadWrite);
      on_file = bench::RunJetPattern(*database, rows, [&] {
        file_bytes = static_cast<double>(std::filesystem::file_size(path));
      });
    }
    if (keep.empty()) std::filesystem::remove(path);

    std::ifstream in(empty, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    auto memory = jetdb::Database::OpenBytes(std::move(bytes), "memory", jetdb::Access::kReadWrite);
    const bench::JetTimes in_memory = bench::RunJetPattern(*memory, rows, [] {});

    std::printf("rows %d\n", rows);
    std::printf("file:   %9.0f inserts/s %9.0f deletes/s\n", rows / on_file.insert_seconds,
                rows / on_file.delete_seconds);
    std::printf("memory: %9.0f inserts/s %9.0f deletes/s\n", rows / in_memory.insert_seconds,
                rows / in_memory.delete_seconds);
    std::printf("file vs memory: inserts %.2f, deletes %.2f of the speed\n",
                in_memory.insert_seconds / on_file.insert_seconds,
                in_memory.delete_seconds / on_file.delete_seconds);
    std::printf("file %.1f MB, %.2f times the raw data\n", file_bytes / 1e6,
                file_bytes / bench::RawBytes(rows));
    return on_file.identity_sum == in_memory.identity_sum ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jetdb_file_bench: %s\n", e.what());
    return 1;
  }
}
