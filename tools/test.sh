#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# host (native), host with AddressSanitizer and UBSan, the fuzz targets for a while each,
# and win32 under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"
build=${PELMORA_BUILD_ROOT:-$top/build}
jobs=${PELMORA_JOBS:-2}

configure() {  # name, extra cmake arguments...
  local dir=$build/$1; shift
  cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
}

status=0
configure host
cmake --build "$build/host" -j"$jobs"
(cd "$build/host" && ctest --output-on-failure) || status=1

configure asan -DPELMORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build/asan" -j"$jobs"
(cd "$build/asan" && ctest --output-on-failure) || status=1

# libFuzzer targets, each run for PELMORA_FUZZ_SECONDS (default 60) from its seeds.
configure fuzz -DPELMORA_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DPELMORA_FUZZ_SECONDS="${PELMORA_FUZZ_SECONDS:-60}"
cmake --build "$build/fuzz" -j"$jobs"
(cd "$build/fuzz" && ctest --output-on-failure) || status=1

configure win32 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake"
cmake --build "$build/win32" -j"$jobs"
(cd "$build/win32" && ctest --output-on-failure) || status=1
exit $status
