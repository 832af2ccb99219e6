#!/usr/bin/env bash
# End to end: a real match recorded in the window (random keys for both
# players, a shadow switch, Stop), replayed by the native simulator and in
# the window with every digest matching; a changed digest is found at its
# line by both; a malformed file is refused with status 2; a replay ignores
# the controls and stores nothing; the replay keys change its pace only, the
# right arrow steps a paused replay and N skips to the next match.
#   replay_e2e.sh GAME_EXE BUILD_DIR NATIVE_SIM [SECONDS]
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd); sim=${3:?native simulator}; seconds=${4:-20}
. "$(dirname "$0")/e2e_lib.sh"
e2e_setup "$build" replay

[ -x "$sim" ] || fail "no native simulator at $sim: build the native preset first (tools/test.sh does) or configure with -DBLOCKTIDE_NATIVE_SIM=PATH"

settings() { wine reg query "$SETTINGS_KEY" 2>/dev/null | tr -d '\r' | grep -c REG_; }
wait_exit() {
  for _ in $(seq 1 "$1"); do kill -0 "$gpid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$gpid" 2>/dev/null && fail "the game is still running ($2)"
  wait "$gpid"; rc=$?; gpid=""
}

wine reg delete "$VENDOR_KEY" /f >/dev/null 2>&1
rec=$work/match.rec

# 1. Record a match: both players share the default keys, pressed at random.
launch_game --record "$rec" --unattended 2>"$work/record.err"
click $START
sleep 0.2
RANDOM=13
keys=(a d s q w f space a d s)
end=$((SECONDS + seconds)); switched=0; paused=0
while [ $SECONDS -lt $end ]; do
  hold "${keys[RANDOM % ${#keys[@]}]}" "0.0$((3 + RANDOM % 7))"
  sleep "0.0$((RANDOM % 10))"
  if [ $switched -eq 0 ] && [ $SECONDS -ge $((end - seconds / 2)) ]; then click $SHADOW1; switched=1; fi
  if [ $paused -eq 0 ] && [ $SECONDS -ge $((end - seconds / 3)) ]; then
    hold Delete 0.05; sleep 0.5; hold Delete 0.05; paused=1
  fi
done
click $STOP
sleep 0.3
# The match kept in memory, saved through the system menu (Sound is its last
# item, "Save the last match..." the one above) and the save dialog.
saved=$work/saved.rec
xdotool keydown alt; sleep 0.05; xdotool key space; sleep 0.05; xdotool keyup alt
sleep 0.5
xdotool key Up; sleep 0.1; xdotool key Up; sleep 0.1; xdotool key Return
dialog=""
for _ in $(seq 1 50); do dialog=$(xdotool search --name '^Save As$' 2>/dev/null | head -n 1); [ -n "$dialog" ] && break; sleep 0.1; done
[ -n "$dialog" ] || fail "Save the last match: no save dialog"
sleep 0.5
xdotool key ctrl+a; xdotool type --delay 20 "Z:${saved//\//\\}"; sleep 0.2; xdotool key Return
for _ in $(seq 1 50); do [ -s "$saved" ] && break; sleep 0.1; done
close_with_alt_f4
[ "$rc" -eq 0 ] || fail "recording run: exit code $rc: $(cat "$work/record.err")"
head -n 1 "$rec" | grep -q '^blocktide-recording 1 ' || fail "no recording header: $(head -c 100 "$rec")"
grep -q '^shadow 1 1$' "$rec" || fail "the shadow switch is not in the recording"
grep -q '^stop$' "$rec" || fail "Stop is not in the recording"
digests=$(grep -c '^digest ' "$rec")
played=$(awk '$1 == "frames" { n += $2 } END { print n + 0 }' "$rec")
[ "$played" -ge $((seconds * 50)) ] && [ "$digests" -ge $((played / 100)) ] ||
  fail "$digests digests for $played frames in $seconds s of play"
echo "recorded: $(wc -l <"$rec") lines, $played frames, $digests digests"

# The saved match is the recording of that one match, byte for byte.
cmp -s "$rec" "$saved" || fail "the saved match differs from the recording: $(cmp "$rec" "$saved" 2>&1)"

# 2. The simulator replays it exactly.
"$sim" --replay "$rec" >"$work/sim.out" 2>"$work/sim.err" || fail "simulator: status $?: $(cat "$work/sim.err")"
grep -q "^replay: all $digests digests matched$" "$work/sim.out" || fail "simulator: $(tail -n 1 "$work/sim.out")"
frames=$(sed -n 's/^frame \([0-9]*\) .*/\1/p' "$work/sim.out")
echo "simulator: $frames frames, all $digests digests matched"

# 3. The window replays it at the recorded pace; the controls and the shadow
#    boxes are ignored and nothing is stored.
wine reg delete "$VENDOR_KEY" /f >/dev/null 2>&1
begin=$(date +%s%N)
launch_game --replay "$rec" --unattended 2>"$work/replay.err"
sleep 0.5
click $SHADOW1; click $START; hold d 0.1; hold s 0.05  # Space is the replay's pause
wait_exit $((seconds * 30)) "after the replay's end"
ms=$((($(date +%s%N) - begin) / 1000000))
[ "$rc" -eq 0 ] || fail "window replay: exit code $rc: $(cat "$work/replay.err")"
[ "$ms" -ge $((frames * 8)) ] || fail "window replay took $ms ms for $frames frames: not paced"
[ "$(settings)" -eq 0 ] || fail "the replay stored settings"
echo "window replay: $ms ms for $frames frames"

# 3b. The replay keys: 2x, a pause (the wells hold still) with a step, the
#     pause ended by Space, then 8x to the end; the digests still match.
# The pixels of a well ("left top width height") of $work/NAME.png, hashed.
crop_of() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage rgb:- | md5sum
}
title_is() {
  for _ in $(seq 1 30); do [ "$(xdotool getwindowname "$wid" 2>/dev/null)" = "$1" ] && return 0; sleep 0.1; done
  fail "title: \"$(xdotool getwindowname "$wid" 2>/dev/null)\", not \"$1\" ($2)"
}
begin=$(date +%s%N)
launch_game --replay "$rec" --unattended 2>"$work/keys.err"
xdotool key 2; title_is "BlockTide - replay 2x" "after 2"
sleep 1
xdotool key p; title_is "BlockTide - replay paused" "after P"
sleep 0.3; shot paused-a; sleep 0.5; shot paused-b
cmp -s "$work/paused-a.png" "$work/paused-b.png" || fail "the wells moved while paused"
# The right arrow steps one frame while paused: 120 steps take in a gravity
# tick of each player (every 100 frames at the first levels), so both wells
# move, and the replay stays paused, still again after the steps.
xdotool key --delay 5 $(printf 'Right %.0s' $(seq 120)); sleep 0.3
title_is "BlockTide - replay paused" "after the steps"
shot stepped-a; sleep 0.5; shot stepped-b
for p in 0 1; do
  [ "$(crop_of paused-b "${WELL[p]}")" != "$(crop_of stepped-a "${WELL[p]}")" ] ||
    fail "well $p: the right arrow did not step the paused replay"
done
cmp -s "$work/stepped-a.png" "$work/stepped-b.png" || fail "the wells moved after the steps, while paused"
xdotool key space; title_is "BlockTide - replay 2x" "after Space"
xdotool key 8; title_is "BlockTide - replay 8x" "after 8"
wait_exit $((seconds * 30)) "after the replay's end at 8x"
ms=$((($(date +%s%N) - begin) / 1000000))
[ "$rc" -eq 0 ] || fail "replay with keys: exit code $rc: $(cat "$work/keys.err")"
[ "$ms" -lt $((frames * 7)) ] || fail "replay at 2x and 8x took $ms ms for $frames frames"
echo "replay with keys: $ms ms for $frames frames"

# The simulator's own recording (another host, with a pause and the ghosts)
# replays in the window too.
"$sim" --seed 77 --random 5 --frames 600 --shadow --record "$work/sim.rec" >/dev/null || fail "simulator --record"
wine "$game" --replay "$work/sim.rec" --unattended 2>"$work/sim-replay.err"; rc=$?
# Seen once in many runs, right after the last game's end: Wine's start
# gave 1 with nothing written, not even the sound layer's lines of a game
# that began. Such a start is tried once more and said; a game that ran
# and failed is not.
if [ "$rc" -eq 1 ] && [ ! -s "$work/sim-replay.err" ]; then
  echo "the replay's start gave 1 with nothing said: started again"
  sleep 1
  wine "$game" --replay "$work/sim.rec" --unattended 2>"$work/sim-replay.err"; rc=$?
fi
[ "$rc" -eq 0 ] || fail "window replay of the simulator's recording: exit code $rc: $(cat "$work/sim-replay.err")"

# 3c. N skips to the next match: two of the simulator's matches in one file
#     (15 s and 3 s at the recorded pace); paused in the first, N runs it out
#     at once and stays paused at the second's start, which then plays at its
#     pace to the end, every digest matched.
"$sim" --seed 78 --random 6 --frames 1500 --record "$work/first.rec" >/dev/null &&
  "$sim" --seed 79 --random 4 --frames 300 --record "$work/second.rec" >/dev/null || fail "simulator --record"
{ cat "$work/first.rec"; tail -n +2 "$work/second.rec"; } >"$work/two.rec"
count_frames() { awk '$1 == "frames" { n += $2 } END { print n + 0 }' "$1"; }
first=$(count_frames "$work/first.rec"); second=$(count_frames "$work/second.rec")
"$sim" --replay "$work/two.rec" >"$work/two.out" 2>&1 && grep -q '^replay: all [0-9]* digests matched$' "$work/two.out" ||
  fail "two matches in one file: $(tail -n 1 "$work/two.out")"
launch_game --replay "$work/two.rec" --unattended 2>"$work/two.err"
sleep 1
xdotool key p; title_is "BlockTide - replay paused" "P in the first match"
xdotool key n; sleep 0.3; title_is "BlockTide - replay paused" "after N: the second match, still paused"
begin=$(date +%s%N)
xdotool key p; title_is "BlockTide - replay 1x" "P at the second match"
wait_exit 300 "after the second match"
ms=$((($(date +%s%N) - begin) / 1000000))
[ "$rc" -eq 0 ] || fail "replay with N: exit code $rc: $(cat "$work/two.err")"
[ "$ms" -ge $((second * 8)) ] && [ "$ms" -lt $((first * 8)) ] ||
  fail "after N, $ms ms to the end: not the second match ($second frames) at its pace, after the first ($first)"
echo "N: the second match ($second frames) in $ms ms after the first ($first frames) was skipped"

# 4. A changed digest: both name its line and exit with status 1.
line=$(grep -n '^digest second' "$rec" | sed -n '2s/:.*//p')
awk -v n="$line" 'NR == n { c = substr($0, length($0)); $0 = substr($0, 1, length($0) - 1) (c == "0" ? "1" : "0") }
                 { print }' "$rec" >"$work/changed.rec"
cmp -s "$rec" "$work/changed.rec" && fail "the digest was not changed"
"$sim" --replay "$work/changed.rec" >/dev/null 2>"$work/sim-changed.err"; rc=$?
[ "$rc" -eq 1 ] && grep -q "diverged at line $line " "$work/sim-changed.err" ||
  fail "simulator on a changed digest: status $rc: $(cat "$work/sim-changed.err")"
wine "$game" --replay "$work/changed.rec" --unattended 2>"$work/changed.err" &
gpid=$!
wait_exit 300 "after diverging"
[ "$rc" -eq 1 ] && grep -q "diverged at line $line:" "$work/changed.err" ||
  fail "window on a changed digest: status $rc: $(cat "$work/changed.err")"

# 5. A file cut inside a line: refused with its line, before any window.
head -c $(($(stat -c %s "$rec") - 5)) "$rec" >"$work/cut.rec"
last=$(wc -l <"$rec")
wine "$game" --replay "$work/cut.rec" --unattended 2>"$work/cut.err"; rc=$?
[ "$rc" -eq 2 ] && grep -q "line $last: cut short" "$work/cut.err" || fail "cut file: status $rc: $(cat "$work/cut.err")"
"$sim" --replay "$work/cut.rec" >"$work/cut.out" 2>&1; rc=$?
[ "$rc" -eq 2 ] && ! grep -q '^frame ' "$work/cut.out" || fail "simulator on a cut file: status $rc"
echo "PASS"
