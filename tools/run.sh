#!/usr/bin/env bash
# The program's main job, end to end: installs what is missing, builds the program and the
# sample databases, copies the samples into a fresh folder, starts the translator under Wine
# (on the caller's X display when there is one, so that a person can watch; otherwise inside
# a virtual X server), types the sample's path, presses Enter, waits for "Finished", saves a
# picture of the window, closes it, and prints what the new database holds.
#
#   tools/run.sh            the whole job
#   tools/run.sh --window   only starts the program (end it with its Close button)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/install-deps.sh"
root=${PELMORA_BUILD_ROOT:-$top/build}
host=$root/host
build=$root/win32
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$build" -j2 --target Pelmora drive_translator
export PELMORA_BUILD=$build WINEPREFIX=$build/wineprefix
if [ -n "${DISPLAY:-}" ]; then
  export PELMORA_DISPLAY=host
else
  echo "run: no X display; the window opens in a virtual X server" >&2
fi

if [ "${1:-}" = --window ]; then
  "$top/tools/wine-session.sh" start
  trap '"$top/tools/wine-session.sh" stop' EXIT
  "$top/tools/wine-run.sh" "$build/translator/Pelmora.exe"
  exit 0
fi

cmake -S "$top" -B "$host" -G Ninja >/dev/null
cmake --build "$host" -j2 --target jetdump sample_databases
run=$root/run/$(date +%Y%m%d-%H%M%S)
mkdir -p "$run"
cp "$host/samples/GagesV1.mdb" "$host/samples/gagesnew.mdb" "$run/"
echo "run: the sample databases are in $run"

windows() { printf 'Z:%s' "$1" | tr / '\\'; }  # the host's folders are drive Z: under Wine
"$top/tools/wine-session.sh" start
trap '"$top/tools/wine-session.sh" stop' EXIT
"$top/tools/wine-run.sh" "$build/tools/drive_translator/drive_translator.exe" \
  "$(windows "$build/translator/Pelmora.exe")" "$(windows "$run/GagesV1.mdb")" \
  "$(windows "$run/translation.png")"
python3 "$top/tools/show_translation.py" "$host/tools/jetdump/jetdump" "$run/gagesnew.mdb"
echo "run: picture of the window at the end of the run: $run/translation.png"
