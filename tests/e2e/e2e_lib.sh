# Shared by the end-to-end scripts (sourced): the game's Wine environment,
# the settings key, where the controls sit on the virtual display, a run's
# set-up and clean-up, and starting the game and finding its window.

. "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-common.sh"

# Wine in the build's own prefix, on the display the wine_env fixture started.
use_build_environment() { use_build_wine "$1"; }

# The game's settings key as `wine reg` names it, and the vendor key above
# it, which a test deletes whole to start from nothing.
SETTINGS_KEY='HKCU\Software\QuillbeamSoft\BlockTide'
VENDOR_KEY='HKCU\Software\QuillbeamSoft'

# Client-area positions of the layout on the 1024 x 768 display that
# tools/wine-env.sh starts (client area 682 x 512). Wells and previews:
# "left top width height"; buttons and check boxes: "x y" of the point a
# click aims at.
WELL0="28 29 227 454"; WELL1="426 29 227 454"
START="306 399"; STOP="376 399"
CONFIG0="306 439"; CONFIG1="376 439"
SHADOW0="300 479"; SHADOW1="380 479"
# The same by player, and the Shadow check boxes' left edges.
WELL=("$WELL0" "$WELL1")
SHADOW_LEFT=(266 346)

# Waits (up to 10 s) for the main window, titled "BlockTide" (a replay's
# "BlockTide - replay 1x" and the like too) or as the
# pattern given says; sets wid, and ox, oy: the screen origin of the client
# area (there is no window manager, so the X window is the client area).
# Also sets WIDTH and HEIGHT. Returns 1 when none appears.
find_game_window() {
  local title=${1:-^BlockTide( - replay [^ ]+)?\$}
  wid=""
  for _ in $(seq 1 100); do
    wid=$(xdotool search --name "$title" 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || return 1
  # Found as soon as it exists; it takes the focus only once it is mapped.
  for _ in $(seq 1 50); do
    xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && break
    sleep 0.1
  done
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  ox=$X; oy=$Y
}

# The start of a script: a scratch folder ($work), the folder that keeps a
# failing run's files ($out: BUILD_DIR/e2e-output/NAME), no game yet ($gpid)
# and the client area's origin until the window is found.
e2e_begin() { out=$1/e2e-output/$2; work=$(mktemp -d); gpid=""; ox=0; oy=0; }

# The whole start of a script that runs the game from BUILD_DIR as NAME:
# Wine in the build's prefix, e2e_begin, and on the way out, passed or
# failed, the game stopped, the scratch folder removed and the game's
# settings deleted.
e2e_setup() {
  use_build_environment "$1"
  e2e_begin "$1" "$2"
  trap e2e_cleanup EXIT
}
e2e_cleanup() {
  [ -n "$gpid" ] && kill "$gpid" 2>/dev/null
  rm -rf "$work"
  wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1
}

# Starts $game with the given arguments and waits for its window (sets gpid
# and what find_game_window sets), which then has the focus. Redirect the
# call's standard error to keep the game's.
launch_game() {
  wine "$game" "$@" &
  gpid=$!
  find_game_window || fail "no window"
  xdotool windowfocus --sync "$wid"
  sleep 0.5
}

# Clicks a point "x y" of the client area, as the positions above give it.
click() { xdotool mousemove $((ox + $1)) $((oy + $2)) click 1; }

# A screenshot of the display as $work/NAME.png.
shot() { import -window root "$work/$1.png" || fail "no screenshot $1"; }

# Player 1's configuration dialog, asked of through the dialog probe
# ($probe): Config opens it, and it gets the focus once the probe sees
# control ID in it; sets dialog_control to what the probe says of that
# control ("X Y TEXT", X and Y its centre on the screen).
open_config1() {
  local id=$1
  click $CONFIG1
  dialog_control=none
  for _ in $(seq 1 50); do
    dialog_control=$(wine "$probe" "$id" | tr -d '\r')
    [ "$dialog_control" != none ] && [ "$dialog_control" != hidden ] && break
    sleep 0.1
  done
  [ "$dialog_control" != none ] && [ "$dialog_control" != hidden ] || fail "Config: no dialog"
  xdotool windowfocus --sync "$(xdotool search --name '^Dialog$' 2>/dev/null | head -n 1)"
  sleep 0.3
}

# Waits until the dialog (control ID asked of) is destroyed, not only
# hidden: a click that comes before its modal loop has ended is lost. WHAT,
# what closed it, names it in the failure.
dialog_closed() {
  local what=$1 id=$2
  for _ in $(seq 1 50); do
    [ "$(wine "$probe" "$id" | tr -d '\r')" = none ] && sleep 0.2 && return 0
    sleep 0.1
  done
  fail "$what: the dialog is still open"
}

# Ends a failing run: a screenshot, the game's settings and the scratch
# files go to $out, and the game is stopped.
fail() {
  echo "FAIL: $*"
  import -window root "$work/failure.png" 2>/dev/null
  wine reg query "$SETTINGS_KEY" >"$work/registry.txt" 2>&1
  mkdir -p "$out" && cp "$work"/* "$out"/ 2>/dev/null
  echo "files in $out"
  [ -n "$gpid" ] && kill "$gpid" 2>/dev/null
  exit 1
}

# Holds a key for the given seconds (a bare tap can fall between two frames).
hold() { xdotool keydown "$1"; sleep "$2"; xdotool keyup "$1"; }

# The stored "Controls" value as one hex string, empty when there is none.
stored() { wine reg query "$SETTINGS_KEY" /v Controls 2>/dev/null | tr -d '\r' | awk '$1 == "Controls" { print $3 }'; }

# The top row (0 to 19) holding a block in a well ("left top width height")
# of screenshot $work/NAME.png, 20 when the well is empty.
top_row() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage -sample '10x20!' txt:- |
    awk -F'[ ,:]+' 'NR > 1 && $0 !~ /#FFFFFF/ && $0 !~ /#000000/ && (m == "" || $2 + 0 < m) { m = $2 + 0 }
                   END { print (m == "" ? 20 : m) }'
}

# Closes the game as a user does, with Alt+F4 (no window manager draws a
# close button), and waits up to 10 s for it to end; sets rc to its status.
close_with_alt_f4() {
  xdotool windowfocus --sync "$wid"
  xdotool keydown alt; sleep 0.1; xdotool keydown F4; sleep 0.1; xdotool keyup F4; sleep 0.05; xdotool keyup alt
  for _ in $(seq 1 100); do kill -0 "$gpid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$gpid" 2>/dev/null && fail "the game is still running after Alt+F4"
  wait "$gpid"; rc=$?
  gpid=""
}

# A second desk for two-window tests: its own virtual display and Wine
# prefix, with a Wine server of its own. start_second_desk DISPLAY PREFIX LOGS
# [SCREEN] (WxH, 1024x768 unless given) sets desk_b, prefix_b and second_xvfb; on_a and on_b then switch the
# environment between the build's desk and this one; stop_second_desk ends
# its server and display.
start_second_desk() {
  desk_a=$DISPLAY; prefix_a=$WINEPREFIX; desk_b=$1; prefix_b=$2; second_xvfb=""
  local num=${desk_b#:}
  [ -e /tmp/.X11-unix/X$num ] && { echo "display $desk_b is taken"; return 1; }
  setsid Xvfb "$desk_b" -screen 0 "${4:-1024x768}x24" -nolisten tcp >"$3/xvfb-b.log" 2>&1 &
  second_xvfb=$!
  for _ in $(seq 1 100); do [ -e /tmp/.X11-unix/X$num ] && break; sleep 0.1; done
  on_b; mkdir -p "$prefix_b"
  setsid wineserver -p >"$3/wineserver-b.log" 2>&1 &
  wineboot -u >"$3/wineboot-b.log" 2>&1
  on_a
}
on_a() { export DISPLAY=$desk_a WINEPREFIX=$prefix_a; }
on_b() { export DISPLAY=$desk_b WINEPREFIX=$prefix_b; }
stop_second_desk() {
  [ -n "${prefix_b:-}" ] || return 0
  (on_b; wineserver -k 2>/dev/null)
  [ -n "${second_xvfb:-}" ] && kill "$second_xvfb" 2>/dev/null
  second_xvfb=""
}
