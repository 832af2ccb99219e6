#!/usr/bin/env bash
# The release zip as a player gets it, unpacked into an empty folder: it
# holds blocktide.exe and README.txt; the program imports only Windows' own
# DLLs, carries the version resource and the manifest, starts from there,
# shows its window and closes with Alt+F4 with status 0.
#   package_e2e.sh ZIP BUILD_DIR PROBE_EXE OBJDUMP
# Screenshots of a failing run are kept in BUILD_DIR/e2e-output/package/.
set -u
zip=${1:?zip}; build=$(cd "${2:?build dir}" && pwd); probe=${3:?probe exe}; objdump=${4:?objdump}
. "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$build" package
dir=$work/unpacked; mkdir "$dir"

[ -f "$zip" ] || fail "no package at $zip"
(cd "$dir" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
files=$(cd "$dir" && find . -type f | LC_ALL=C sort | tr '\n' ' ')
[ "${files/.\/LICENSE.txt /}" = "./README.txt ./blocktide.exe " ] || fail "the zip holds: $files"

# Nothing from MinGW may have to travel with the game.
for dll in $("$objdump" -p "$dir/blocktide.exe" | awk '/DLL Name:/ { print tolower($3) }'); do
  case $dll in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|ole32.dll|dinput.dll|msvcrt.dll|winmm.dll|ws2_32.dll|comdlg32.dll) ;;
    bcrypt.dll) ;;  # the secure random generator, Windows' own since Vista
    *) fail "blocktide.exe imports $dll" ;;
  esac
done

wine "$probe" "$dir/blocktide.exe" | tr -d '\r'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "version resource or manifest"

wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1
cd "$dir" || fail "no folder"
game=./blocktide.exe
launch_game
close_with_alt_f4
[ "$rc" -eq 0 ] || fail "exit code $rc"
echo "PASS"
