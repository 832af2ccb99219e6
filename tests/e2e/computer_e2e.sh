#!/usr/bin/env bash
# End to end at 1024 x 768: in player 1's dialog the device list's last
# entry, "Computer 5: machine", is chosen from the keyboard and kept with
# Enter (the stored mode byte becomes 2, the level byte after it 5); after
# Start player 1's well fills and its score rises with nobody at the keys,
# while player 0's stays 0; after a restart the dialog still shows that
# entry, the one above it, "Computer 4: expert", is kept (level byte 4), and
# the computer plays again.
#   computer_e2e.sh GAME_EXE BUILD_DIR PROBE_EXE
# Screenshots of a failing run are kept in BUILD_DIR/e2e-output/computer/.
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd); probe=${3:?probe exe}
. "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$build" computer

text_of() { local t; t=$(wine "$probe" "$@" | tr -d '\r'); set -- $t; shift 2; echo "$*"; }
# Start, then nobody touches a key for `secs` seconds; player 1's score must
# rise above 0 and blocks must have settled in its well.
plays_alone() {
  local name=$1 secs=$2
  click $START
  sleep "$secs"
  shot "$name"
  local s0 s1 row
  s0=$(text_of 200 main); s1=$(text_of 201 main); row=$(top_row "$name" "$WELL1")
  [ "$s1" -gt 0 ] 2>/dev/null || fail "$name: player 1's score is '$s1' after ${secs} s"
  [ "$s0" = 0 ] || fail "$name: player 0's score is '$s0', nobody played it"
  [ "$row" -lt 20 ] || fail "$name: player 1's well is empty"
}

wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1
launch_game
open_config1 1000
# OK has the focus; Tab twice reaches the device list, End picks its last entry.
hold Tab 0.1; hold Tab 0.1; hold End 0.1
sleep 0.3
[ "$(text_of 1000)" = "Computer 5: machine" ] || fail "the device list shows '$(text_of 1000)', not Computer 5: machine"
[ -z "$(text_of 1001)" ] || fail "the Speed Up field is not cleared"
shot chosen
hold Return 0.1
dialog_closed Enter 1000
now=$(stored)
[ "${now:232:4}" = 0205 ] || fail "player 1's stored mode and level are '${now:232:4}', not 0205"
[ "${now:0:2}" = 01 ] || fail "player 0's stored mode is '${now:0:2}', not the keyboard"

xdotool windowfocus --sync "$wid"
plays_alone first 8

kill "$gpid" 2>/dev/null; wait "$gpid" 2>/dev/null
gpid=""
launch_game
open_config1 1000
[ "$(text_of 1000)" = "Computer 5: machine" ] || fail "after a restart the device list shows '$(text_of 1000)'"
hold Tab 0.1; hold Tab 0.1; hold Up 0.1
sleep 0.3
[ "$(text_of 1000)" = "Computer 4: expert" ] || fail "one entry up the device list shows '$(text_of 1000)'"
hold Return 0.1
dialog_closed Enter 1000
now=$(stored)
[ "${now:232:4}" = 0204 ] || fail "player 1's stored mode and level are '${now:232:4}', not 0204"
xdotool windowfocus --sync "$wid"
plays_alone restarted 8

kill "$gpid" 2>/dev/null; wait "$gpid" 2>/dev/null
gpid=""
echo "PASS"
