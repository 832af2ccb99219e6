# Shared by the end-to-end scripts (sourced): the game's Wine environment,
# the settings key, where the controls sit on the virtual display, and
# finding the main window there.

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

# Waits (up to 10 s) for the main window; sets wid, and ox, oy: the screen
# origin of the client area (there is no window manager, so the X window is
# the client area). Also sets WIDTH and HEIGHT. Returns 1 when none appears.
find_game_window() {
  wid=""
  for _ in $(seq 1 100); do
    wid=$(xdotool search --name '^BlockTide$' 2>/dev/null | head -n 1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || return 1
  # Found as soon as it exists; it takes the focus only once it is mapped.
  for _ in $(seq 1 50); do
    xdotool search --onlyvisible --name '^BlockTide$' >/dev/null 2>&1 && break
    sleep 0.1
  done
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  ox=$X; oy=$Y
}
