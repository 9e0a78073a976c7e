// Blowfish throughput: ours against OpenSSL's on the same 1 MiB buffer, each including its
// key schedule, plus the bare block function of each. Run by hand:
//   build/host/bench/blowfish_bench
#include <benchmark/benchmark.h>
#include <openssl/blowfish.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/blowfish.h"
#include "support/cipher.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
const std::string kKey = "benchmark key of 24 byte";

std::vector<std::uint8_t> Buffer() {
  std::vector<std::uint8_t> buffer(kBufferSize);
  for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 131);
  return buffer;
}

void Ours(benchmark::State& state) {
  std::vector<std::uint8_t> buffer = Buffer();
  for (auto _ : state) {
    support::CipherBlocks(buffer.data(), buffer.size(), true, false, 0, 0, kKey);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}

void OpenSsl(benchmark::State& state) {
  std::vector<std::uint8_t> buffer = Buffer();
  for (auto _ : state) {
    BF_KEY key;
    BF_set_key(&key, static_cast<int>(kKey.size()),
               reinterpret_cast<const unsigned char*>(kKey.data()));
    for (std::size_t i = 0; i < buffer.size(); i += 8) {
      BF_ecb_encrypt(&buffer[i], &buffer[i], &key, BF_ENCRYPT);
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * buffer.size()));
}

void OursBlockFunction(benchmark::State& state) {
  const support::Blowfish cipher(kKey);
  std::uint32_t left = 1;
  std::uint32_t right = 2;
  for (auto _ : state) {
    for (int i = 0; i < 1024; ++i) cipher.Encrypt(left, right);
    benchmark::DoNotOptimize(left);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 1024 * 8));
}

void OpenSslBlockFunction(benchmark::State& state) {
  BF_KEY key;
  BF_set_key(&key, static_cast<int>(kKey.size()),
             reinterpret_cast<const unsigned char*>(kKey.data()));
  BF_LONG data[2] = {1, 2};
  for (auto _ : state) {
    for (int i = 0; i < 1024; ++i) BF_encrypt(data, &key);
    benchmark::DoNotOptimize(data);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 1024 * 8));
}

BENCHMARK(Ours);
BENCHMARK(OpenSsl);
BENCHMARK(OursBlockFunction);
BENCHMARK(OpenSslBlockFunction);

}  // namespace

BENCHMARK_MAIN();
