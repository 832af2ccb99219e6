# The one place for the Wine environment of the scripts (sourced, not run):
# tools/wine-env.sh, cmake/wine-run.sh, tools/play.sh and, through
# tests/e2e/e2e_lib.sh, the end-to-end scripts and tools/measure_cpu.sh.

# Quiet Wine, and no Mono or Gecko install prompt when a prefix is first
# created. Values already set by the caller are kept (to debug a run:
# WINEDEBUG=+relay ctest ...).
use_quiet_wine() {
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

# Wine in BUILD's own prefix (BUILD/wineprefix, which the tests' registry
# lives in), on the display that tools/wine-env.sh started for that build
# (BUILD/display) once it has.
use_build_wine() {
  export WINEPREFIX=$1/wineprefix
  use_quiet_wine
  if [ -f "$1/display" ]; then export DISPLAY=$(cat "$1/display"); fi
}
