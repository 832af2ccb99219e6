#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's own prefix, on the
# display that tools/wine-env.sh started for that build. CMake's
# cross-compiling emulator: wine-run.sh BUILD_DIR PROGRAM [ARGS...]
set -u
build=${1:?build dir}; shift
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -f "$build/display" ]; then export DISPLAY=$(cat "$build/display"); fi
exec wine "$@"
