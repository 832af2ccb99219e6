#!/usr/bin/env bash
# Every test: installs what is missing, then configures, builds and tests the
# native build, the native build under ASan and UBSan, and the Windows build
# under Wine (unit tests, pixel read-back, registry, and the end-to-end runs
# of the real window on a virtual display), with the release zip built and
# run from an empty folder, and runs the fuzz targets (about 30 s each).
# Warnings are errors. The native build comes first: the Windows end-to-end
# replay test runs its simulator.
set -u
cd "$(dirname "$0")/.."
bash tools/setup.sh || exit 1

passed=0; failed=0; status=0
run_preset() {
  local preset=$1
  echo "== $preset: configure and build"
  cmake --preset "$preset" -DBLOCKTIDE_WERROR=ON >/dev/null || { status=1; failed=$((failed + 1)); return; }
  cmake --build --preset "$preset" || { status=1; failed=$((failed + 1)); return; }
  # The Windows run also makes the player's zip (its test unpacks and runs it).
  if [ "$preset" = windows ]; then
    cmake --build --preset windows --target package || { status=1; failed=$((failed + 1)); return; }
  fi
  echo "== $preset: test"
  local log; log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line; line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local bad total
    bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* tests failed out of ([0-9]+).*/\1/')
    passed=$((passed + total - bad)); failed=$((failed + bad))
  else
    failed=$((failed + 1))
  fi
  rm -f "$log"
  [ "$rc" -eq 0 ] || status=1
}

run_preset native
run_preset native-sanitize
run_preset fuzz
run_preset windows

echo "all presets: $passed passed, $failed failed"
exit $status
