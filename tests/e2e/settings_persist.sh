#!/usr/bin/env bash
# Shadow switches survive a restart: tick player 1's box, close the game,
# start it again; the box is ticked, "Shadows" reads 00 01, and after Start
# only player 1's well shows a ghost (black cells).
#   settings_persist.sh GAME_EXE BUILD_DIR
# Screenshots of a failing run are kept in BUILD_DIR/e2e-output/settings/.
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd)
. "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$build" settings

# Black pixels (blue and dark green cells are not) of a screenshot in a
# client rectangle: w h x y shot-name.
dark_pixels() {
  convert "$work/$5.png" -crop "$1x$2+$((ox + $3))+$((oy + $4))" +repage \
    -fuzz 20% -fill white +opaque black -threshold 50% -negate \
    -format '%[fx:int(mean*w*h+0.5)]' info:
}

# Positions from e2e_lib.sh: the Shadow boxes' left edges (their squares
# lie 8 pixels below the boxes' top, 464), the wells.
box_ticked() {  # player, shot name: the check mark darkens the square's inside
  local n; n=$(dark_pixels 9 9 $((SHADOW_LEFT[$1] + 2)) 474 "$2")
  [ "$n" -ge 5 ]
}
ghost_cells() {  # player, shot name: black pixels inside the outline
  local left top width height
  read -r left top width height <<<"${WELL[$1]}"
  dark_pixels $((width - 6)) $((height - 6)) $((left + 3)) $((top + 3)) "$2"
}

reg_shadows() {
  wine reg query "$SETTINGS_KEY" /v Shadows 2>/dev/null | awk '$1 == "Shadows" { print $3 }' | tr -d '\r'
}

wine reg delete "$VENDOR_KEY" /f >/dev/null 2>&1

# First run: no key, both boxes clear.
launch_game
shot first-run
box_ticked 0 first-run && fail "player 0's box ticked on the first run"
box_ticked 1 first-run && fail "player 1's box ticked on the first run"
click $SHADOW1
sleep 0.5
shot ticked
box_ticked 1 ticked || fail "player 1's box did not tick"
[ "$(reg_shadows)" = "0001" ] || fail "Shadows after the tick: '$(reg_shadows)'"
close_with_alt_f4
[ "$rc" -eq 0 ] || fail "exit code $rc"

# Second run: the switch came back from the store.
launch_game
shot restart
box_ticked 0 restart && fail "player 0's box ticked after the restart"
box_ticked 1 restart || fail "player 1's box not ticked after the restart"
[ "$(reg_shadows)" = "0001" ] || fail "Shadows after the restart: '$(reg_shadows)'"
click $START
sleep 0.4
shot started
g0=$(ghost_cells 0 started)
g1=$(ghost_cells 1 started)
echo "black pixels in the wells: player 0 $g0, player 1 $g1"
[ "$g0" -eq 0 ] || fail "player 0 shows a ghost ($g0 black pixels)"
# A ghost is four cells of about 22 x 22 pixels.
[ "$g1" -ge 1200 ] || fail "player 1 shows no ghost ($g1 black pixels)"
close_with_alt_f4
[ "$rc" -eq 0 ] || fail "exit code $rc"

wine reg delete "$VENDOR_KEY" /f >/dev/null 2>&1
echo "settings persist: ok"
