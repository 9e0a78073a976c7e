#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings: the build's own prefix,
# Wine's messages off, a locale that makes Wine's 8-bit code page 1252, and the X display
# that the test session started.
set -eu
build=${PELMORA_BUILD:-$(pwd)}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts, and no crash debugger: under emulation winedbg can take
# minutes or hang, and a crashing helper process should simply end.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
export LC_ALL=C.UTF-8
if [ -f "$WINEPREFIX/display" ]; then
  export DISPLAY=$(cat "$WINEPREFIX/display")
fi
# Wine restarts its own services (services.exe, plugplay, ...) from whichever program
# finds them gone, and they inherit that program's output. Pointed at ctest's pipe they
# would keep ctest waiting until its timeout, so the program writes to a file that is
# passed on once it has ended.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'cat "$out"; rm -f "$out"' EXIT  # also when a timeout ends the run
trap 'exit 143' TERM INT
status=0
wine "$@" >"$out" 2>&1 || status=$?
# 124: a test program's watchdog ended a test that hung. Under an emulated CPU a hang may be
# Wine's rather than the test's, so such a program gets one more run; both outputs are kept.
if [ "$status" = 124 ] && [ -z "${PELMORA_NO_RERUN:-}" ]; then
  echo "wine-run: $1 hung (output above); running it once more" >>"$out"
  status=0
  wine "$@" >>"$out" 2>&1 || status=$?
fi
exit $status
