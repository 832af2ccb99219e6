#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's own prefix, on the
# display that tools/wine-env.sh started for that build. CMake's
# cross-compiling emulator: wine-run.sh BUILD_DIR PROGRAM [ARGS...]
set -u
build=${1:?build dir}; shift
. "$(dirname "$0")/../tools/wine-common.sh"
use_build_wine "$build"
exec wine "$@"
