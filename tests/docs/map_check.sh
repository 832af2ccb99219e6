#!/usr/bin/env bash
# The map's file list against the tree: every C++ source of the code folders
# must be named in docs/ARCHITECTURE.md's "Files" section, and every file
# named there must exist. Usage: map_check.sh SOURCE_DIR
set -u
root=${1:?source dir}
page=$root/docs/ARCHITECTURE.md
[ -f "$page" ] || { echo "FAIL: $page is missing"; exit 1; }

# The section's file lines: a folder at four spaces ("    ui/"), its files at
# six ("      main_window.h/.cpp"); "a.h/.cpp" names a.h and a.cpp.
named=$(awk '
  /^## Files/ { in_files = 1; next }
  /^## / { in_files = 0 }
  !in_files { next }
  /^    [^ ]+\// { folder = $1; next }
  /^      [^ ]/ {
    name = $1
    n = split(name, parts, "/")
    base = parts[1]; sub(/\.[^.]*$/, "", base)
    print folder parts[1]
    for (i = 2; i <= n; i++) if (parts[i] ~ /^\./) print folder base parts[i]
  }' "$page" | sort -u)

status=0
for f in $named; do
  [ -f "$root/$f" ] || { echo "FAIL: the map names $f, which does not exist"; status=1; }
done
code_folders="engine computer replay ui controls joystick net lobby sound tools/sim tools/relay tools/lobby"
for d in $code_folders; do
  [ -d "$root/$d" ] || { echo "FAIL: the code folder $d is missing"; status=1; continue; }
  for f in "$root/$d"/*.h "$root/$d"/*.cpp; do
    [ -f "$f" ] || continue
    rel=${f#"$root"/}
    echo "$named" | grep -qxF "$rel" || { echo "FAIL: $rel is not on the map"; status=1; }
  done
done
[ $status -eq 0 ] && echo "the map names $(echo "$named" | wc -l) files, all present, none missing"
exit $status
