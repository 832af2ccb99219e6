#!/usr/bin/env bash
# The game's CPU share of one core and its memory at the title screen, in a
# paused match and in a match with both players in play (gravity and the
# 10 ms frame tick, no keys): starts the game under Wine on a virtual
# display, reads /proc for the game, its Wine server and the X server.
#   tools/measure_cpu.sh [--trace] [--pin CPU] [--busy N] [--taps N] [--sound] [--resize] [--dpi N]
#                        [BUILD_DIR] [SECONDS]
#     BUILD_DIR defaults to build/windows, SECONDS (per state) to 10.
#     --trace  also counts, per second of each state, the window's repaints
#              (calls of BeginPaint) and the frame ticks (calls of
#              GetAsyncKeyState for key S, player 0's and player 1's first
#              binding, read once per player and frame while both are in
#              play) and the messages the window's thread takes (calls of
#              GetMessageA: the frame timer's, two gravity timers' and any
#              other), from a Wine relay trace of those functions. The
#              trace costs CPU: take the CPU shares from a run without it.
#     --pin    runs the game alone on that CPU (taskset).
#     --busy   runs N busy loops for the whole measurement, on the pinned
#              CPU when --pin is given.
#     --taps   then pauses and resumes the match N times each with 35 ms
#              taps of Delete and says how many taps that took (a tap that
#              is missed, or taken as two toggles, needs another).
#     --sound  gives the game an audio device: ALSA's null device as the
#              default (a ~/.asoundrc in a HOME of its own), which waveOut
#              plays into at the real pace. Without it, a machine with no
#              sound card runs the game silent, its sound thread ended.
#     --resize then measures a match while the window is resized, from its
#              minimum to the whole screen in 20 steps and back, again and
#              again (tests/e2e/window_probe.cpp's `size`, as a drag of the
#              border would), and the same in the modal sizing loop that a
#              drag runs (the system menu's Size, driven by arrow keys);
#              with --trace the frame ticks tell whether any was lost.
#     --dpi    runs the game at N DPI (Wine's LogPixels, removed again at
#              the end) on a display of 1024 x 768 times N / 96, which it
#              then starts itself: give a BLOCKTIDE_DISPLAY that no other
#              run uses.
# The display is BLOCKTIDE_DISPLAY (default :97), as for the tests.
set -u
cd "$(dirname "$0")/.."
trace=0; pin=""; busy=0; toggles=0; sound=0; resize=0; dpi=96
while [ $# -gt 0 ]; do
  case $1 in
  --trace) trace=1; shift ;;
  --pin) pin=$2; shift 2 ;;
  --busy) busy=$2; shift 2 ;;
  --taps) toggles=$2; shift 2 ;;
  --sound) sound=1; shift ;;
  --resize) resize=1; shift ;;
  --dpi) dpi=$2; shift 2 ;;
  *) break ;;
  esac
done
build=$(cd "${1:-build/windows}" && pwd)
seconds=${2:-10}
game=$build/blocktide.exe
[ -x "$game" ] || { echo "no $game: build the blocktide target first" >&2; exit 2; }

[ "$dpi" = 96 ] || export BLOCKTIDE_SCREEN=$((1024 * dpi / 96))x$((768 * dpi / 96))
tools/wine-env.sh start "$build"
. tests/e2e/e2e_lib.sh
use_build_environment "$build"
# The layout's positions (e2e_lib.sh) at the DPI: the 96-DPI ones scaled.
scaled() { local v out=""; for v in $1; do out+="$(( (v * dpi + 48) / 96 )) "; done; echo "${out% }"; }
START=$(scaled "$START"); WELL0=$(scaled "$WELL0")
if [ "$dpi" != 96 ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
fi

# Both players have the default keys except player 1's Pause (P instead of
# Delete), as the figures were first taken (when the same key made the
# second player resume at once; one press of it now pauses once).
controls() {
  local p b hex=""
  for p in 0 1; do
    hex+="01000000""00000000000000000000000000000000"
    for b in 53 41 44 51 57 46 2e 20; do
      [ "$p$b" = "12e" ] && b=50
      hex+="03000000""00000000""${b}000000"
    done
  done
  echo "$hex"
}
wine reg add "$SETTINGS_KEY" /v Controls /t REG_BINARY /d "$(controls)" /f >/dev/null 2>&1
# The window at its first-run place, whatever an earlier run left.
wine reg delete "$SETTINGS_KEY" /v Window /f >/dev/null 2>&1
log=$(mktemp)
if [ "$trace" = 1 ]; then
  wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'user32.BeginPaint;user32.GetAsyncKeyState;user32.GetMessageA' /f >/dev/null 2>&1
  export WINEDEBUG=+relay
fi

loops=()
for _ in $(seq 1 "$busy"); do
  if [ -n "$pin" ]; then taskset -c "$pin" sh -c 'while :; do :; done' & else sh -c 'while :; do :; done' & fi
  loops+=($!)
done

gamehome=$HOME
if [ "$sound" = 1 ]; then
  gamehome=$(mktemp -d)
  printf 'pcm.!default {\n  type null\n}\n' >"$gamehome/.asoundrc"
fi

# The wine loader execs into the game: this pid is the game's own process.
if [ -n "$pin" ]; then
  HOME=$gamehome taskset -c "$pin" wine "$game" 2>"$log" &
else
  HOME=$gamehome wine "$game" 2>"$log" &
fi
pid=$!
export WINEDEBUG=-all
stop() {
  kill "$pid" 2>/dev/null
  for l in "${loops[@]}"; do kill "$l" 2>/dev/null; done
  wine reg delete "$SETTINGS_KEY" /v Controls /f >/dev/null 2>&1
  wine reg delete "$SETTINGS_KEY" /v Window /f >/dev/null 2>&1
  [ "$trace" = 1 ] && wine reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
  rm -f "$log"
  [ "$sound" = 1 ] && rm -rf "$gamehome"
  [ "$dpi" != 96 ] && wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
  tools/wine-env.sh stop "$build"
}
find_game_window || { echo "the game's window did not appear" >&2; stop; exit 1; }
xdotool windowfocus --sync "$wid"
sleep 1

# This build's Wine server and display do work for the game too.
server=""
for p in $(pgrep -x 'wineserver(64)?'); do
  tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$build/wineprefix" && server=$p
done
xvfb=$(cat "$build/xvfb.pid" 2>/dev/null || true)
# CPU time in ns of every thread of a process (schedstat), far finer than
# the 10 ms steps of the user and system times in /proc/PID/stat.
ticks() {
  [ -n "$1" ] && [ -d "/proc/$1/task" ] || { echo 0; return; }
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d", s }'
}
calls() { grep -c "Call user32.$1" "$log"; }
share() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { printf "%5.2f", 100 * (b - a) / 1e9 / t }'; }
rate() { awk -v a="$1" -v b="$2" -v t="$3" -v d="$4" 'BEGIN { printf "%6.1f", (b - a) / d / t }'; }

load=""
[ -n "$pin" ] && load+=", game on CPU $pin"
[ "$busy" -gt 0 ] && load+=", $busy busy loops"
[ "$sound" = 1 ] && load+=", sound on (ALSA null device)"
echo "${BLOCKTIDE_SCREEN:-1024x768} at $dpi DPI under Wine, $seconds s per state$load"
echo "CPU in % of one core:    game  wineserver   Xvfb$([ "$trace" = 1 ] && echo '  repaints/s  frame ticks/s  messages/s')"
measure() {
  local name=$1
  local g0 s0 x0 p0 k0 m0 t0 g1 s1 x1 p1 k1 m1 t1 t
  g0=$(ticks "$pid"); s0=$(ticks "$server"); x0=$(ticks "$xvfb"); t0=$(date +%s.%N)
  [ "$trace" = 1 ] && { p0=$(calls BeginPaint); k0=$(calls 'GetAsyncKeyState(00000053)'); m0=$(calls GetMessageA); }
  sleep "$seconds"
  g1=$(ticks "$pid"); s1=$(ticks "$server"); x1=$(ticks "$xvfb"); t1=$(date +%s.%N)
  [ "$trace" = 1 ] && { p1=$(calls BeginPaint); k1=$(calls 'GetAsyncKeyState(00000053)'); m1=$(calls GetMessageA); }
  t=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  printf '  %-20s %s  %s       %s' "$name" "$(share "$g0" "$g1" "$t")" "$(share "$s0" "$s1" "$t")" \
    "$(share "$x0" "$x1" "$t")"
  [ "$trace" = 1 ] && printf '      %s         %s       %s' "$(rate "$p0" "$p1" "$t" 1)" "$(rate "$k0" "$k1" "$t" 2)" \
    "$(rate "$m0" "$m1" "$t" 1)"
  echo
}

# Red pixels in the band across the middle of well 0, where the title sits:
# the new pieces are still near the top when the match is paused.
title_shown() {
  local n left top width height
  read -r left top width height <<<"$WELL0"
  n=$(import -window root png:- | convert - -crop "${width}x48+$((X + left))+$((Y + top + (height - 48) / 2))" +repage \
        -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' -format '%[fx:round(mean*w*h)]' info:)
  [ "${n:-0}" -gt 100 ]
}
# Delete toggles the pause at its press, however long it is held; a tap
# this short was sometimes missed under Wine, so it is pressed again until
# the title shows (or goes).
taps=0
pause_toggle() {
  local want=$1
  for _ in $(seq 1 10); do
    taps=$((taps + 1))
    xdotool keydown Delete; sleep 0.035; xdotool keyup Delete
    sleep 0.5
    if title_shown; then [ "$want" = paused ] && return 0; else [ "$want" = playing ] && return 0; fi
  done
  echo "  (the match did not become $want)"
}

measure "title screen"
xdotool mousemove $((X + ${START% *})) $((Y + ${START#* })) click 1
sleep 0.3
pause_toggle paused
measure "paused"
pause_toggle playing
measure "match, both in play"
if [ "$resize" = 1 ]; then
  probe=$build/tests/e2e/e2e_window_probe.exe
  # The client sizes from the minimum (656 x 448 at 96 DPI) to the screen.
  steps() {
    local i
    while :; do
      for i in $(seq 0 20) $(seq 19 -1 1); do
        wine "$probe" size $(scaled "$((656 + (1024 - 656) * i / 20)) $((448 + (740 - 448) * i / 20))")
      done
    done
  }
  steps & stepper=$!
  measure "match, resized"
  kill "$stepper" 2>/dev/null; wait "$stepper" 2>/dev/null
  wine "$probe" size $(scaled "682 512")
  # The modal loop: Size from the system menu, then arrow keys grow and
  # shrink the window until Return ends it.
  wine "$probe" sizeloop
  sleep 0.3
  ( while :; do for k in Right Down Right Down Left Up Left Up; do xdotool key "$k"; sleep 0.05; done; done ) &
  keys=$!
  measure "match, sizing loop"
  kill "$keys" 2>/dev/null; wait "$keys" 2>/dev/null
  xdotool key Return
fi
if [ "$toggles" -gt 0 ]; then
  taps=0
  for _ in $(seq 1 "$toggles"); do pause_toggle paused; pause_toggle playing; done
  echo "  $taps taps of 35 ms for $((2 * toggles)) pause toggles"
fi
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
echo "  game resident $((rss / 1024)) MiB (peak $((hwm / 1024)) MiB)"

xdotool keydown alt; sleep 0.1; xdotool keydown F4; sleep 0.1; xdotool keyup F4; xdotool keyup alt
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
stop
