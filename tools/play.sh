#!/usr/bin/env bash
# Installs what is missing, builds the Windows program and starts it under
# Wine on the current display (the player's own Wine prefix, not the tests').
set -eu
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target blocktide
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: run this from a desktop session (DISPLAY is not set)." >&2
  exit 1
fi
. tools/wine-common.sh
use_quiet_wine
exec wine build/windows/blocktide.exe
