#!/usr/bin/env bash
# End to end in a real window at 1024 x 768: both wells show the title; Start
# drops the same piece into both wells at the spawn place; held keys move and
# drop both (both players share the default keys); the labels read 0 and 1;
# Delete held from 30 ms to 1 s pauses once ("paused" under the title) and
# the next press resumes; Stop brings the title back; with player 1 the
# computer, player 0 held on Space goes out and their well shows "out" and
# their figures while player 1's goes on; closing the window ends the game
# with code 0.
#   window_e2e.sh GAME_EXE BUILD_DIR PROBE_EXE
# Screenshots of a failing run are kept in BUILD_DIR/e2e-output/window/.
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd); probe=${3:?probe exe}
. "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$build" window

# The cells of a well in a screenshot, one line per row: . white, # black,
# o a block colour. Each cell is sampled near its centre.
grid() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage -sample '10x20!' txt:- |
    awk -F'[ ,:]+' 'NR > 1 { c = ($0 ~ /#FFFFFF/) ? "." : (($0 ~ /#000000/) ? "#" : "o"); g[$2] = g[$2] c }
                   END { for (r = 0; r < 20; r++) print g[r] }'
}
red_pixels() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage -fill black +opaque '#FF0000' \
    -fill white -opaque '#FF0000' -format '%[fx:round(mean*w*h)]' info:
}
blocks() { tr -cd 'o' <<<"$1" | wc -c; }
# The pixel rows of a well "left top width height", below the title's line
# and inside the outline, that hold black (text; no shadow is on, so no
# ghost): about 20 for "paused" and its key, 50 or more for a player's figures.
text_rows() {
  local name=$1; set -- $2
  local top=$(($4 / 2 + 32)) h=$(($4 / 2 - 34))
  convert "$work/$name.png" -crop "$(($3 - 4))x$h+$((ox + $1 + 2))+$((oy + $2 + top))" +repage \
    -fill '#123456' -opaque '#000000' -fill black +opaque '#123456' -fill white -opaque '#123456' \
    -scale "1x$h!" txt:- | tail -n +2 | grep -vc '#000000'
}
# The leftmost column holding a block (10 when none).
leftmost() { awk '{ i = index($0, "o"); if (i > 0 && (m == "" || i - 1 < m)) m = i - 1 } END { print (m == "" ? 10 : m) }' <<<"$1"; }

# Both wells from one screenshot, retaken while the two gravity ticks (a few
# milliseconds apart) may have caught the wells in different rows.
g0=""; g1=""
both_wells() {
  local name=$1
  for try in 1 2 3; do
    shot "$name"
    g0=$(grid "$name" "$WELL0"); g1=$(grid "$name" "$WELL1")
    [ "$g0" = "$g1" ] && return 0
    sleep 0.05
  done
  fail "$name: the wells differ"$'\n'"$g0"$'\n--\n'"$g1"
}

# Defaults: no stored controls or shadow switches from an earlier run.
wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1

launch_game
[ "$WIDTH $HEIGHT" = "682 512" ] || fail "client area ${WIDTH}x$HEIGHT, not 682x512"

shot title
for w in "$WELL0" "$WELL1"; do
  n=$(red_pixels title "$w")
  [ "$n" -gt 100 ] || fail "title: $n red pixels in well ($w)"
done

click $START
sleep 0.3
both_wells start
[ "$(blocks "$g0")" -eq 4 ] || fail "start: $(blocks "$g0") block cells, not 4"$'\n'"$g0"
# Spawned at column 3, row 0: all four cells in columns 3 to 6 of the two
# top rows (a third row if a gravity tick came first).
spawn=$(sed -n '1,3p' <<<"$g0" | cut -c4-7)
[ "$(blocks "$spawn")" -eq 4 ] || fail "start: the piece is not at the spawn place"$'\n'"$g0"

labels=$(wine "$probe" | tr -d '\r')
[ "$labels" = "0 0 1 1" ] || fail "labels read '$labels', not '0 0 1 1'"

before=$(leftmost "$g0")
hold a 0.3
both_wells left
after=$(leftmost "$g0")
[ "$after" -lt "$before" ] || fail "held A: leftmost column $before -> $after"$'\n'"$g0"

hold space 0.06
sleep 0.2
both_wells fall
[ "$(blocks "$(tail -n 2 <<<"$g0")")" -gt 0 ] || fail "Space: nothing on the floor"$'\n'"$g0"
[ "$(blocks "$g0")" -ge 8 ] || fail "Space: no new piece after the drop"$'\n'"$g0"

# Pause is a press: held 30 ms to 1 s (the shared Delete is both players'
# Pause), it pauses once, both wells saying "paused" under the title, and
# the next press resumes.
# Both wells' text rows (text_rows) between MIN and MAX, after the screenshot NAME.
wells_rows() {
  for w in "$WELL0" "$WELL1"; do
    n=$(text_rows "$1" "$w")
    [ "$n" -ge "$2" ] && [ "$n" -le "$3" ] || fail "$4: $n text rows in well ($w)"
  done
}
for ms in 30 80 150 300 1000; do
  hold Delete "$(awk "BEGIN { print $ms / 1000 }")"
  sleep 0.3; shot "paused$ms"; wells_rows "paused$ms" 8 30 "Delete held $ms ms: not paused"
  hold Delete 0.08
  sleep 0.3; shot "resumed$ms"; wells_rows "resumed$ms" 0 0 "the press after a $ms ms one: not resumed"
done

click $STOP
sleep 0.3
shot stop
for w in "$WELL0" "$WELL1"; do
  n=$(red_pixels stop "$w")
  [ "$n" -gt 100 ] || fail "after Stop: $n red pixels in well ($w)"
done

# Player 1 the computer (its set's mode 2, level 1), player 0 on the keys:
# held Space drops player 0's pieces until they are out, and from then on
# their well shows "out" with their figures while the computer plays on.
key() { printf '0300000000000000%02x000000' "$1"; }
set0=01000000$(printf '0%.0s' $(seq 1 32)); set1=02010000$(printf '0%.0s' $(seq 1 32))
for k in 0x53 0x41 0x44 0x51 0x57 0x46 0x2E 0x20; do set0=$set0$(key $k); set1=$set1$(key $k); done
wine reg add "$SETTINGS_KEY" /v Controls /t REG_BINARY /d "$set0$set1" /f >/dev/null
click $START
sleep 0.3
for i in $(seq 1 20); do
  hold space 1
  shot out
  [ "$(text_rows out "$WELL0")" -gt 40 ] && break
done
[ "$(text_rows out "$WELL0")" -gt 40 ] || fail "player 0 not out, or no figures in its well after ${i} s"
sleep 1
shot out_later
[ "$(text_rows out_later "$WELL1")" -eq 0 ] || fail "player 1's well stopped playing when player 0 went out"
[ "$(text_rows out_later "$WELL0")" -gt 40 ] || fail "player 0's figures went from its well"
echo "out after ${i} s of Space"

close_with_alt_f4
[ "$rc" -eq 0 ] || fail "exit code $rc"
echo "PASS"
