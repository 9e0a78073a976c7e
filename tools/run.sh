#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine: on the caller's X
# display when there is one, otherwise inside a virtual X server (end it with Ctrl+C).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"
build=${PELMORA_BUILD_ROOT:-$top/build}/win32
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$build" -j2 --target Pelmora
export PELMORA_BUILD=$build WINEPREFIX=$build/wineprefix
if [ -n "${DISPLAY:-}" ]; then
  export PELMORA_DISPLAY=host
else
  echo "run: no X display; the window opens in a virtual X server" >&2
fi
"$top/tools/wine-session.sh" start
trap '"$top/tools/wine-session.sh" stop' EXIT
"$top/tools/wine-run.sh" "$build/translator/Pelmora.exe"
