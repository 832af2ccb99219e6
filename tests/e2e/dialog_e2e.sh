#!/usr/bin/env bash
# End to end at 1024 x 768: player 1's Config opens the dialog; clicking the
# "Speed Up:" field and holding K binds K, Enter keeps it (the stored value
# changes for player 1 only); binding J and pressing Escape keeps nothing;
# after Start, K speeds up player 1's piece and not player 0's, J does not.
#   dialog_e2e.sh GAME_EXE BUILD_DIR PROBE_EXE
# Screenshots of a failing run are kept in BUILD_DIR/e2e-output/dialog/.
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd); probe=${3:?probe exe}
. "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$build" dialog

well_rows() { shot "$1"; r0=$(top_row "$1" "$WELL0"); r1=$(top_row "$1" "$WELL1"); }
# Opens player 1's dialog, clicks "Speed Up:" and holds KEYSYM; the field
# must then show TEXT.
capture() {
  local keysym=$1 text=$2
  open_config1 1001
  set -- $dialog_control
  xdotool mousemove "$1" "$2" click 1
  sleep 0.3
  hold "$keysym" 0.2
  sleep 0.3
  local field
  field=$(wine "$probe" 1001 | tr -d '\r')
  [ "${field#* * }" = "$text" ] || fail "after holding $keysym the field reads '${field#* * }', not '$text'"
  shot "captured-$keysym"
}

# Player 0 stored with distinctive reserved and identifier bytes, player 1 on
# the default keys.
keys() { for k in 53 41 44 51 57 46 2E 20; do printf '0300000000000000%s000000' "$k"; done; }
p0="01770000112233445566778899AABBCCDDEEFF00$(keys)"
p1="0100000000000000000000000000000000000000$(keys)"
wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1
wine reg add "$SETTINGS_KEY" /v Controls /t REG_BINARY /d "$p0$p1" /f >/dev/null 2>&1 || fail "cannot store Controls"

launch_game

capture k K
hold Return 0.1
dialog_closed Enter 1001
now=$(stored)
[ "${now:0:232}" = "$p0" ] || fail "player 0's stored bytes changed: ${now:0:232}"
[ "${now:272:8}" = 03000000 ] && [ "${now:288:8}" = 4B000000 ] ||
  fail "player 1's Speed Up is not key 0x4B: ${now:272:24}"
[ "${now:232:40}${now:296}" = "${p1:0:40}${p1:64}" ] || fail "player 1's other bytes changed"

capture j J
hold Escape 0.1
dialog_closed Escape 1001
[ "$(stored)" = "$now" ] || fail "Escape changed the stored value"

click $START
sleep 0.3
xdotool windowfocus --sync "$wid"
well_rows start
[ "$r0 $r1" = "0 0" ] || fail "start: top rows $r0 $r1"
hold j 0.4
well_rows after-j
[ "$r1" -le $((r0 + 1)) ] || fail "J moved player 1's piece: rows $r0 $r1"
hold k 0.4
well_rows after-k
[ "$r1" -ge $((r0 + 4)) ] || fail "K did not speed up player 1's piece only: rows $r0 $r1"

kill "$gpid" 2>/dev/null; wait "$gpid" 2>/dev/null
gpid=""
echo "PASS"
