# Shared by the end-to-end scripts (sourced): the game's Wine environment and
# finding its main window on the virtual display.

# Wine in the build's own prefix, on the display the wine_env fixture started.
use_build_environment() {
  export WINEPREFIX=$1/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
  export DISPLAY=$(cat "$1/display")
}

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
