#!/usr/bin/env bash
# Starts or stops what the Windows tests need: a virtual X display and one
# persistent Wine server in the build's own prefix.
#   tools/wine-env.sh start BUILD_DIR      tools/wine-env.sh stop BUILD_DIR
# The display is BLOCKTIDE_DISPLAY (default :97), of BLOCKTIDE_SCREEN pixels
# (default 1024x768) when this starts it; it is written to
# BUILD_DIR/display for cmake/wine-run.sh.
set -u
cmd=${1:?start or stop}
build=$(cd "${2:?build dir}" && pwd)
. "$(dirname "$0")/wine-common.sh"
use_build_wine "$build"
disp=${BLOCKTIDE_DISPLAY:-:97}
num=${disp#:}
case $cmd in
start)
  if ! [ -e /tmp/.X11-unix/X$num ]; then
    setsid Xvfb "$disp" -screen 0 "${BLOCKTIDE_SCREEN:-1024x768}x24" -nolisten tcp >"$build/xvfb.log" 2>&1 &
    echo $! >"$build/xvfb.pid"
    for _ in $(seq 1 100); do [ -e /tmp/.X11-unix/X$num ] && break; sleep 0.1; done
  fi
  echo "$disp" >"$build/display"
  export DISPLAY=$disp
  mkdir -p "$WINEPREFIX"
  setsid wineserver -p >"$build/wineserver.log" 2>&1 &
  # The first use creates the prefix (about 10 s); wineboot waits for it.
  wineboot -u >"$build/wineboot.log" 2>&1 || true
  exit 0 ;;
stop)
  wineserver -k 2>/dev/null || true
  if [ -f "$build/xvfb.pid" ]; then
    kill "$(cat "$build/xvfb.pid")" 2>/dev/null || true
    rm -f "$build/xvfb.pid"
  fi
  exit 0 ;;
*) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
