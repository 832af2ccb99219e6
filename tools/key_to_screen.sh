#!/usr/bin/env bash
# Key-to-screen time of the game under Wine, in a local match and in a
# network match (this desk hosts, a joiner runs on a second desk over
# loopback): the rotate key (Q) is pressed and the screen read until the
# top half of the left well changes, TIMES times each (a gravity step may
# come first now and then, and a square piece does not turn: the median
# is the figure). The time includes starting xdotool (about 2 ms) and
# Xvfb's own delivery.
#   tools/key_to_screen.sh BUILD_DIR [TIMES]
# Second desk: BLOCKTIDE_SECOND_DISPLAY (default :98); UDP port
# BLOCKTIDE_NET_PORT (default 43415) on 127.0.0.1.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build dir}" && pwd); times=${2:-20}
game=$build/blocktide.exe; port=${BLOCKTIDE_NET_PORT:-43415}
. "$here/../tests/e2e/e2e_lib.sh"
probe=$build/key_to_screen
gcc -O2 -o "$probe" "$here/key_to_screen.c" -lX11 || exit 1
"$here/wine-env.sh" start "$build"
use_build_environment "$build"
e2e_begin "$build" key_to_screen
pids=""
finish() {
  for p in $pids; do kill "$p" 2>/dev/null; done
  stop_second_desk
  "$here/wine-env.sh" stop "$build"
  rm -rf "$work"
}
trap finish EXIT
start_second_desk "${BLOCKTIDE_SECOND_DISPLAY:-:98}" "$build/wineprefix-desk2" "$work" || exit 1

# Start in the window found by the title pattern, then the presses.
measure() {
  find_game_window "$1" || { echo "no window titled $1"; exit 1; }
  xdotool windowfocus --sync "$wid"
  xdotool mousemove $((ox + ${START% *})) $((oy + ${START#* })) click 1
  sleep 1
  set -- $WELL0
  "$probe" $((ox + $1)) $((oy + $2)) "$3" $(($4 / 2)) q "$times" | tail -n 1
}

on_a
wine "$game" 2>/dev/null & pids="$pids $!"
echo "local match: $(measure '^BlockTide$')"
kill $pids; pids=""
wine "$game" --host "$port" 2>/dev/null & pids="$pids $!"
on_b
wine "$game" --join "127.0.0.1:$port" 2>/dev/null & pids="$pids $!"
on_a
find_game_window 'connected' || { echo "not connected"; exit 1; }
echo "network match, host, $(xdotool getwindowname "$wid" | sed 's/.*(//; s/)//'): $(measure 'connected')"
