#!/usr/bin/env bash
# The game's CPU share of one core and its memory during a match: starts the
# game under Wine on a virtual display, presses Start, lets the match run
# (gravity and the 10 ms frame tick, no keys) and reads /proc.
#   tools/measure_cpu.sh [BUILD_DIR] [SECONDS]     (defaults build/windows, 20)
# The display is BLOCKTIDE_DISPLAY (default :97), as for the tests.
set -u
cd "$(dirname "$0")/.."
build=$(cd "${1:-build/windows}" && pwd)
seconds=${2:-20}
game=$build/blocktide.exe
[ -x "$game" ] || { echo "no $game: build the blocktide target first" >&2; exit 2; }

tools/wine-env.sh start "$build"
. tests/e2e/e2e_lib.sh
use_build_environment "$build"

# The wine loader execs into the game: this pid is the game's own process.
wine "$game" &
pid=$!
stop() {
  kill "$pid" 2>/dev/null
  tools/wine-env.sh stop "$build"
}
find_game_window || { echo "the game's window did not appear" >&2; stop; exit 1; }
xdotool windowfocus --sync "$wid"
# Start's centre in the client area of the 1024 x 768 layout.
xdotool mousemove $((X + 306)) $((Y + 399)) click 1
sleep 1

# This build's Wine server and display do work for the game too.
server=""
for p in $(pgrep -x 'wineserver(64)?'); do
  tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$build/wineprefix" && server=$p
done
xvfb=$(cat "$build/xvfb.pid" 2>/dev/null || true)

ticks() { [ -n "$1" ] && [ -r "/proc/$1/stat" ] && awk '{ print $14 + $15 }' "/proc/$1/stat" || echo 0; }
hz=$(getconf CLK_TCK)
g0=$(ticks "$pid"); s0=$(ticks "$server"); x0=$(ticks "$xvfb"); t0=$(date +%s.%N)
sleep "$seconds"
g1=$(ticks "$pid"); s1=$(ticks "$server"); x1=$(ticks "$xvfb"); t1=$(date +%s.%N)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")

share() { awk -v a="$1" -v b="$2" -v hz="$hz" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%.1f", 100 * (b - a) / hz / (t1 - t0) }'; }
echo "match of ${seconds} s at 1024x768 under Wine:"
echo "  game process:  $(share "$g0" "$g1") % of one core, resident $((rss / 1024)) MiB (peak $((hwm / 1024)) MiB)"
[ -n "$server" ] && echo "  wineserver:    $(share "$s0" "$s1") % of one core"
[ -n "$xvfb" ] && echo "  Xvfb:          $(share "$x0" "$x1") % of one core"

xdotool keydown alt; sleep 0.1; xdotool keydown F4; sleep 0.1; xdotool keyup F4; xdotool keyup alt
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
stop
