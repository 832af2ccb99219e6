#!/usr/bin/env bash
# End to end: the game's real sound output captured under Wine. ALSA's file
# plugin (a ~/.asoundrc in a HOME of the test's own) writes whatever Wine's
# waveOut plays into a WAV file; the game opens the device for each spell of
# sound, so the plugin appends through a pipe, a WAV stream per opening. A replayed match with a four-row clear of
# player 0 gives the four-row sound, louder on the left; the "Sound" item of
# the system menu turns the switch off, which is stored, and the same replay
# is then silent. Without a device the replay plays on, silently, and one
# debug line says so.
#   sound_e2e.sh GAME_EXE BUILD_DIR NATIVE_SIM
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd); sim=${3:?native simulator}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
e2e_setup "$build" sound

[ -x "$sim" ] || fail "no native simulator at $sim: build the native preset first (tools/test.sh does) or configure with -DBLOCKTIDE_NATIVE_SIM=PATH"

# Only the game's own processes see this HOME (the Wine server keeps the
# prefix it was started with).
mkdir -p "$work/home"
capture() {
  cat >"$work/home/.asoundrc" <<ASOUND
pcm.!default {
  type file
  slave.pcm "null"
  file "|cat >>$work/$1"
  format "wav"
}
ASOUND
}

"$sim" --seed 5 --script "$here/four_rows.script" --record "$work/four.rec" >/dev/null || fail "simulator --record"

# 1. Sound on (nothing stored): the four-row sound, from player 0's side.
wine reg delete "$VENDOR_KEY" /f >/dev/null 2>&1
capture on.wav
HOME=$work/home WINEDEBUG=-all,+debugstr wine "$game" --replay "$work/four.rec" --unattended 2>"$work/on.err"; rc=$?
[ "$rc" -eq 0 ] || fail "replay with sound: exit code $rc: $(tail -n 3 "$work/on.err")"
python3 "$here/wav_check.py" four-rows "$work/on.wav" >"$work/on.check"; rc=$?
cat "$work/on.check"
[ "$rc" -eq 0 ] || fail "no four-row sound from the left: $(cat "$work/on.check")"
# The game's own figure, from its debug line at the end.
sed -n 's/.*"BlockTide: sound: \(.*\)\\n".*/event to sound: \1/p' "$work/on.err"
grep -q 'BlockTide: no sound' "$work/on.err" && fail "a debug line says there was no sound"

# 2. The system menu's last item, "Sound", turns it off; the switch is kept.
capture menu.wav
HOME=$work/home launch_game 2>/dev/null
xdotool keydown alt; sleep 0.05; xdotool key space; sleep 0.05; xdotool keyup alt
sleep 0.5
xdotool key Up; sleep 0.2; xdotool key Return
sleep 0.5
close_with_alt_f4
[ "$rc" -eq 0 ] || fail "game with the menu: exit code $rc"
stored=$(wine reg query "$SETTINGS_KEY" /v Sound 2>/dev/null | tr -d '\r' | awk '$1 == "Sound" { print $3 }')
[ "$stored" = "00" ] || fail "\"Sound\" stored as '$stored' after the menu, not 00"
# Turned off while all was quiet, the switch left the device closed: only
# the start-up opening wrote a stream.
streams=$(python3 -c 'import re, sys; print(len(re.findall(b"RIFF....WAVEfmt ", open(sys.argv[1], "rb").read(), re.S)))' "$work/menu.wav")
[ "$streams" = 1 ] || fail "the switch turned off while quiet: $streams device openings, not 1"


# 3. Sound off: the same replay is silent. The device was opened at start-up
#    (the file exists) and played nothing, or nothing but zeros.
capture off.wav
HOME=$work/home WINEDEBUG=-all,+debugstr wine "$game" --replay "$work/four.rec" --unattended 2>"$work/off.err"; rc=$?
[ "$rc" -eq 0 ] || fail "replay without sound: exit code $rc"
[ -f "$work/off.wav" ] || fail "with the switch off the device was not opened"
python3 "$here/wav_check.py" silent "$work/off.wav" >"$work/off.check"; rc=$?
cat "$work/off.check"
[ "$rc" -eq 0 ] || fail "not silent with the switch off: $(cat "$work/off.check")"

# 4. No device (ALSA's default is a card that does not exist): the replay
#    runs to its end as before, and only one debug line tells of it.
wine reg delete "$VENDOR_KEY" /f >/dev/null 2>&1
printf 'pcm.!default {\n type hw\n card 99\n}\nctl.!default {\n type hw\n card 99\n}\n' >"$work/home/.asoundrc"
HOME=$work/home WINEDEBUG=-all,+debugstr wine "$game" --replay "$work/four.rec" --unattended 2>"$work/none.err"; rc=$?
[ "$rc" -eq 0 ] || fail "replay without a device: exit code $rc"
lines=$(grep -c 'BlockTide' "$work/none.err")
[ "$lines" -eq 1 ] && grep -q 'BlockTide: no sound: waveOutOpen failed' "$work/none.err" ||
  fail "without a device: $lines lines: $(grep BlockTide "$work/none.err")"
echo "PASS"
