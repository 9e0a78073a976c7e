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
pid=
trap 'cat "$out"; rm -f "$out"' EXIT  # also when a timeout ends the run
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; exit 143' TERM INT

# A test program that prints nothing for PELMORA_TEST_LIMIT_S seconds (five minutes; the
# slowest test takes about eleven seconds) is taken to hang: it is ended with exit code 124, naming
# the test it was running, so that a hang costs minutes and says where it is. The programs
# keep no watchdog thread of their own (see tests/support/test_main.cpp).
limit=${PELMORA_TEST_LIMIT_S:-300}
run() {
  wine "$@" >>"$out" 2>&1 &
  pid=$!
  local size=-1 quiet=0 now
  case "$1" in
    *_tests.exe)
      while kill -0 "$pid" 2>/dev/null; do
        sleep 5
        now=$(stat -c %s "$out")
        if [ "$now" != "$size" ]; then size=$now quiet=0; else quiet=$((quiet + 5)); fi
        if [ "$quiet" -ge "$limit" ]; then
          local test
          test=$(sed -n 's/^\[ RUN      \] //p' "$out" | tail -n 1)
          echo "${test:-$1} has printed nothing for $limit seconds; ending the test program." >>"$out"
          kill "$pid" 2>/dev/null; sleep 5; kill -9 "$pid" 2>/dev/null
          wait "$pid" 2>/dev/null
          return 124
        fi
      done
      ;;
  esac
  wait "$pid"
}

status=0
run "$@" || status=$?
# 124: a test program hung. Under an emulated CPU a hang may be Wine's rather than the test's,
# so such a program gets one more run; both outputs are kept.
if [ "$status" = 124 ] && [ -z "${PELMORA_NO_RERUN:-}" ]; then
  echo "wine-run: $1 hung (output above); running it once more" >>"$out"
  status=0
  run "$@" || status=$?
fi
exit $status
