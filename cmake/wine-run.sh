#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's own prefix, on the
# display that tools/wine-env.sh started for that build. CMake's
# cross-compiling emulator: wine-run.sh BUILD_DIR PROGRAM [ARGS...]
# Seen once in many runs: Wine's start gave 1 with nothing written, where
# every test program says at least its first line. Such a start is tried
# once more and said; a program that ran and failed is not.
set -u
build=${1:?build dir}; shift
. "$(dirname "$0")/../tools/wine-common.sh"
use_build_wine "$build"
out=$(mktemp); err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err"; rc=$?
if [ "$rc" -eq 1 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run.sh: Wine's start gave 1 with nothing written: started again" >&2
  sleep 1
  wine "$@" >"$out" 2>"$err"; rc=$?
fi
cat "$out"
cat "$err" >&2
exit "$rc"
