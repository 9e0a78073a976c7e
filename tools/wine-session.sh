#!/usr/bin/env bash
# start: creates the build's Wine prefix once, starts an X server and a persistent
#        wineserver, and waits until Wine's own services are up.
#        Once the build has made tools/wine_keeper, that program holds Wine's desktop
#        open until the session stops.
# stop:  ends the wineserver (and with it the keeper) and the X server.
set -eu
export WINEPREFIX=${WINEPREFIX:?}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
log=$WINEPREFIX.log

start_xvfb() {
  # PELMORA_DISPLAY=host keeps the caller's X display; otherwise windows go to an Xvfb.
  if [ "${PELMORA_DISPLAY:-}" != host ] && [ ! -f "$WINEPREFIX/display" ]; then
    # Xvfb picks a free display number itself and writes it to fd 3 once it listens.
    local number=$WINEPREFIX/xvfb.number
    : >"$number"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" </dev/null >>"$log" 2>&1 &
    echo $! >"$WINEPREFIX/xvfb.pid"
    for _ in $(seq 100); do
      [ -s "$number" ] && break
      sleep 0.1
    done
    [ -s "$number" ] || { echo "wine-session: Xvfb did not start" >&2; tail -n 20 "$log" >&2; return 1; }
    echo ":$(tr -d '[:space:]' <"$number")" >"$WINEPREFIX/display"
  fi
  [ -f "$WINEPREFIX/display" ] && export DISPLAY=$(cat "$WINEPREFIX/display")
  return 0
}

# Wine finds the fonts of its own prefix for certain; Tahoma is the program's font.
install_fonts() {
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
    [ -f "$f" ] && [ ! -f "$fonts/$(basename "$f")" ] && cp "$f" "$fonts/"
  done
  return 0
}

# A new prefix is created by wineboot alone, before any persistent server runs. Under
# emulation the boot takes minutes, longer than Wine's own loader waits for it: the first
# program may give up ("could not load kernel32.dll") while the boot goes on. So the
# prefix counts as ready only once every process of the boot has ended and the system
# folder is filled; then a persistent server starts and a first program proves that Wine
# answers. A boot that stalls is ended and tried again from scratch.
boot() {
  local attempt ready=$WINEPREFIX/.pelmora-ready
  for attempt in 1 2 3; do
    if [ ! -f "$ready" ]; then
      # Wine stamps a prefix as current when its update starts, so a boot that was cut
      # short leaves a prefix that Wine never repairs: start such a one from scratch.
      echo "wine-session: creating the prefix (attempt $attempt) at $(date +%T)" | tee -a "$log"
      wineserver -k 2>/dev/null || true
      find "$WINEPREFIX" -mindepth 1 -maxdepth 1 ! -name display ! -name 'xvfb.*' -exec rm -rf {} +
      timeout --kill-after=20 1200 "$here/wine-run.sh" wineboot -u </dev/null >>"$log" 2>&1 || true
      if timeout --kill-after=20 900 wineserver -w >>"$log" 2>&1 &&
         [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
        touch "$ready"
        echo "wine-session: prefix created at $(date +%T)" | tee -a "$log"
      fi
    fi
    install_fonts
    wineserver -p </dev/null >>"$log" 2>&1 || true
    if [ -f "$ready" ] &&
       timeout --kill-after=20 600 "$here/wine-run.sh" cmd /c echo wine-ready </dev/null 2>>"$log" |
       grep -q wine-ready; then
      echo "wine-session: ready at $(date +%T)"
      return 0
    fi
    echo "wine-session: Wine did not answer (attempt $attempt); its last words:"
    tail -n 40 "$log"
    wineserver -k 2>/dev/null || true
    rm -f "$ready"
    sleep 2
  done
  return 1
}

# Wine closes its desktop whenever no program runs, and a program that opens a window then
# waits only ten seconds for a new desktop process, too short under an emulated CPU: its
# windows fail. A program that holds the desktop for the whole session avoids that.
keep_desktop() {
  local keeper=${PELMORA_BUILD:-}/tools/wine_keeper/wine_keeper.exe out=$WINEPREFIX/keeper.out
  [ -f "$keeper" ] || return 0
  : >"$out"
  setsid wine "$keeper" </dev/null >"$out" 2>&1 &
  local pid=$!
  for _ in $(seq 900); do
    if grep -q ready "$out"; then
      echo "wine-session: desktop held open at $(date +%T)"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break  # the keeper gave up: no use waiting
    sleep 1
  done
  echo "wine-session: the desktop did not start; tests go on without the keeper"
  cat "$out"
  return 0
}

case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX"
    : >"$log"
    start_xvfb
    boot
    keep_desktop
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
