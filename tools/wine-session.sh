#!/usr/bin/env bash
# start: creates the build's Wine prefix once, starts an X server and a persistent
#        wineserver, and waits until Wine's own services are up.
# stop:  ends the wineserver and the X server.
set -eu
export WINEPREFIX=${WINEPREFIX:?}
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/display" ] && command -v Xvfb >/dev/null; then
      n=$((90 + $$ % 400))
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      echo $! >"$WINEPREFIX/xvfb.pid"
      echo ":$n" >"$WINEPREFIX/display"
    fi
    [ -f "$WINEPREFIX/display" ] && export DISPLAY=$(cat "$WINEPREFIX/display")
    wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
    # The first program of a prefix boots it; later ones find it ready.
    "$here/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -f "$WINEPREFIX/xvfb.pid" ]; then
      kill "$(cat "$WINEPREFIX/xvfb.pid")" 2>/dev/null || true
      rm -f "$WINEPREFIX/xvfb.pid" "$WINEPREFIX/display"
    fi
    ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
