#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine. Without a
# display it runs inside a virtual X server and leaves a screenshot-free run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"
build=${PELMORA_BUILD_ROOT:-$top/build}/win32
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$build" -j2 --target Pelmora
export PELMORA_BUILD=$build
if [ -n "${DISPLAY:-}" ]; then
  exec "$top/tools/wine-run.sh" "$build/translator/Pelmora.exe"
else
  exec xvfb-run -a "$top/tools/wine-run.sh" "$build/translator/Pelmora.exe"
fi
