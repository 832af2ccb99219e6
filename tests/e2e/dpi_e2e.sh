#!/usr/bin/env bash
# The window at two DPIs, resized during a match. At 96 on the 1024 x 768
# display the layout is today's; a new client size lays the window out
# afresh, the falling piece drawn again in the larger wells and the match
# going on; maximised, it opens maximised the next time. At 144 (Wine's LogPixels) on a 1536 x 1152 desk every rectangle
# is the 96 one times 1.5 (the title in both wells, the controls' texts
# whole, their font 24 pixels high), and the window stops at its minimum;
# a place stored at 96 opens at the two thirds again, not at that minimum.
#   dpi_e2e.sh GAME_EXE BUILD_DIR PROBE_EXE
# Screenshots of a failing run are kept in BUILD_DIR/e2e-output/dpi/.
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd); probe=${3:?probe exe}
. "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$build" dpi
cleanup() { e2e_cleanup; stop_second_desk; }
trap cleanup EXIT

# "DPI W H L T R B F": the DPI, the client size, the Start button's edges
# and the height of its font (window_probe.cpp).
layout() { wine "$probe" layout | tr -d '\r'; }
# Red pixels in a client rectangle "left top width height" of a screenshot.
red_pixels() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage -fill black +opaque '#FF0000' \
    -fill white -opaque '#FF0000' -format '%[fx:round(mean*w*h)]' info:
}
# The columns of a control's rectangle "left top width height" that hold
# dark text pixels: "first last", relative to the control.
text_columns() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage -colorspace gray -threshold 40% \
    -negate txt:- | awk -F'[ ,:]+' 'NR > 1 && $0 ~ /#FFFFFF/ { if (f == "" || $1 < f) f = $1; if ($1 > l) l = $1 }
                                    END { print (f == "" ? "none" : f " " l) }'
}

wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1

# ---- 96 DPI --------------------------------------------------------------
launch_game
[ "$(layout)" = "96 682 512 276 384 336 414 16" ] || fail "96 DPI: layout $(layout)"
click $START
sleep 0.3
wine "$probe" size 900 640
sleep 0.5
l=$(layout)
[ "$(cut -d' ' -f2-3 <<<"$l")" = "900 640" ] || fail "resized: layout $l"
# The layout of a 900 x 640 client: wells of 300 x 600 at 37 and 562.
shot resized
first=$(top_row resized "37 20 300 600")
[ "$first" -lt 20 ] || fail "resized: no piece drawn in the larger well"
sleep 2.2
shot later
[ "$(top_row later "37 20 300 600")" -gt "$first" ] || fail "resized: the piece did not fall on"
wine "$probe" maximise
sleep 0.5
[ "$(layout | cut -d' ' -f2)" = 1024 ] || fail "maximised: layout $(layout)"
stored=$(wine reg query "$SETTINGS_KEY" /v Window 2>/dev/null | tr -d '\r' | awk '$1 == "Window" { print $3 }')
[ "${#stored}" = 40 ] && [ "${stored: -8}" = 01000000 ] || fail "maximised: Window stored as '$stored'"
close_with_alt_f4
[ "$rc" -eq 0 ] || fail "96 DPI: exit code $rc"
launch_game
[ "$(layout | cut -d' ' -f2)" = 1024 ] || fail "not maximised again: layout $(layout)"
close_with_alt_f4

# ---- 144 DPI on a 1536 x 1152 desk ---------------------------------------
start_second_desk "${BLOCKTIDE_SECOND_DISPLAY:-:98}" "$build/wineprefix-dpi" "$work" 1536x1152 ||
  fail "no second desk"
on_b
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1
launch_game
# Today's 682 x 512 client and Start at 276, 384, 60 x 30, times 1.5.
[ "$(layout)" = "144 1023 768 414 576 504 621 24" ] || fail "144 DPI: layout $(layout)"
shot title144
for w in "42 44 341 681" "639 44 341 681"; do
  n=$(red_pixels title144 "$w")
  [ "$n" -gt 400 ] || fail "144 DPI: $n red pixels of the title in well ($w)"
done
# Inside Start, Config 0 and Shadow 0 (whose text ends 2 pixels short of
# its right edge, as at 96): the text, clear of both edges.
for c in "417 579 84 39" "417 639 84 39" "399 696 105 45"; do
  cols=$(text_columns title144 "$c")
  set -- $c $cols
  [ "$5" != none ] && [ "$5" -ge 2 ] && [ "$6" -le $(($3 - 2)) ] || fail "144 DPI: text columns '$cols' in ($c)"
done
wine "$probe" size 200 200
sleep 0.5
l=$(layout)
[ "$(cut -d' ' -f2-3 <<<"$l")" = "984 672" ] || fail "144 DPI: the minimum is $l, not 984 x 672"
close_with_alt_f4
[ "$rc" -eq 0 ] || fail "144 DPI: exit code $rc"
# A place left at a smaller scale (a 96-DPI window, 690 x 540 at 50, 50):
# the window opens there at the layout's two thirds of the screen, not at
# this scale's minimum.
wine reg add "$SETTINGS_KEY" /v Window /t REG_BINARY /d 3200000032000000e40200004e02000000000000 /f >/dev/null
launch_game
[ "$(layout | cut -d' ' -f1-3)" = "144 1023 768" ] || fail "144 DPI, a 96-DPI place stored: layout $(layout)"
close_with_alt_f4
echo "PASS"
