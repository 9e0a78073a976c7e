#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings: the build's own prefix,
# Wine's messages off, a locale that makes Wine's 8-bit code page 1252, and the X display
# that the test session started.
set -eu
build=${PELMORA_BUILD:-$(pwd)}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LC_ALL=C.UTF-8
if [ -f "$WINEPREFIX/display" ]; then
  export DISPLAY=$(cat "$WINEPREFIX/display")
fi
exec wine "$@"
