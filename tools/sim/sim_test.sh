#!/usr/bin/env bash
# Tests of blocktide-sim: "reproducible" runs it twice per input and compares;
# "bad-input" expects status 2 and a message for each malformed input;
# "levels" compares the computer's levels;
# "replay" records matches, replays them to the same wells, and expects
# status 2 for a bad file, with nothing printed.
set -u
mode=$1 sim=$2 script=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

if [ "$mode" = reproducible ]; then
  for args in "--seed 1000 --script $script --every 100" "--seed 4000000000 --random 7 --frames 5000" \
              "--seed 77 --random 3 --shadow" "--seed 5 --computer 0 --random 7 --frames 4000 --stats" \
              "--seed 6 --computer both --frames 3000" "--seed 6 --computer 0:2 --computer 1:3 --frames 3000 --stats"; do
    "$sim" $args >"$tmp/a" || { echo "failed: $args"; fail=1; }
    "$sim" $args >"$tmp/b" || { echo "failed: $args"; fail=1; }
    cmp -s "$tmp/a" "$tmp/b" || { echo "output differs: $args"; fail=1; }
    grep -q '^player 1: score' "$tmp/a" || { echo "no wells printed: $args"; fail=1; }
  done
  # Another seed deals other pieces.
  "$sim" --seed 123456789 --script "$script" --every 100 >"$tmp/c"
  "$sim" --seed 1000 --script "$script" --every 100 >"$tmp/a"
  cmp -s "$tmp/a" "$tmp/c" && { echo "seeds 1000 and 123456789 printed the same"; fail=1; }
  # The random seed that once left the generator at 0 varies its inputs: it
  # must not play like a player holding Left all the time.
  "$sim" --random 15410147969449583195 --frames 3000 >"$tmp/a"
  "$sim" --script <(echo '3000 left left') >"$tmp/c"
  cmp -s "$tmp/a" "$tmp/c" && { echo "random seed 15410147969449583195 only holds Left"; fail=1; }
  exit $fail
fi

if [ "$mode" = levels ]; then
  # Level 5 is the computer without a level; a level per player; the
  # slowest level alone keeps to a casual pace, reacts later and presses
  # less often than the full computer.
  for p in 0 1 both; do
    "$sim" --seed 11 --computer $p --frames 3000 --stats >"$tmp/a"
    "$sim" --seed 11 --computer $p:5 --frames 3000 --stats >"$tmp/b"
    cmp -s "$tmp/a" "$tmp/b" || { echo "--computer $p and $p:5 differ"; fail=1; }
  done
  "$sim" --seed 11 --computer 0:1 --computer 1:4 --frames 3000 >"$tmp/c"
  "$sim" --seed 11 --computer 1:4 --computer 0:1 --frames 3000 >"$tmp/d"
  cmp -s "$tmp/c" "$tmp/d" || { echo "the order of the options matters"; fail=1; }
  cmp -s <(head -n 24 "$tmp/b") "$tmp/c" && { echo "levels 1 and 4 play as level 5"; fail=1; }
  "$sim" --seed 7919 --computer 0:1 --frames 6000 --stats >"$tmp/one"
  "$sim" --seed 7919 --computer 0 --frames 6000 --stats >"$tmp/five"
  read -r pieces1 press1 first1 < <(awk '/^player 0: rows/ { n = $6 } /^player 0: presses/ { print n, $4, $8 }' "$tmp/one")
  read -r pieces5 press5 first5 < <(awk '/^player 0: rows/ { n = $6 } /^player 0: presses/ { print n, $4, $8 }' "$tmp/five")
  [ "$pieces1" -ge 20 ] && [ "$pieces1" -le 48 ] || { echo "level 1 placed $pieces1 pieces in 60 s"; fail=1; }
  [ "$press1" -le 300 ] || { echo "level 1 pressed $press1 times in 60 s"; fail=1; }
  [ "$first5" -eq 1 ] && [ "$first1" -ge 30 ] || { echo "first presses after $first1 (level 1) and $first5 frames"; fail=1; }
  [ "$pieces5" -ge 500 ] || { echo "level 5 placed only $pieces5 pieces"; fail=1; }
  exit $fail
fi

if [ "$mode" = replay ]; then
  for args in "--seed 1000 --script $script --shadow --every 7 --frames 300" "--seed 4000000000 --random 7 --frames 5000" \
              "--seed 9 --random 2" "--seed 3 --computer 1 --random 4 --frames 3000" \
              "--seed 3 --computer 0:1 --computer 1:3 --frames 4000"; do
    "$sim" $args --record "$tmp/m.rec" >"$tmp/a" || { echo "failed: $args --record"; fail=1; }
    "$sim" --replay "$tmp/m.rec" >"$tmp/b" || { echo "replay of $args: status $?"; fail=1; }
    n=$(grep -c '^digest ' "$tmp/m.rec")
    grep -qx "replay: all $n digests matched" "$tmp/b" || { echo "replay of $args: $(tail -n 1 "$tmp/b")"; fail=1; }
    # The same winners, then the same wells.
    grep -v '^replay: ' "$tmp/b" | cmp -s <(grep '^match ' "$tmp/a"; tail -n 24 "$tmp/a") - ||
      { echo "replay of $args prints other wells or winners"; fail=1; }
  done
  # Bad files: status 2, the line named, no wells.
  bad() {
    local what=$1 want=$2
    "$sim" --replay "$tmp/bad" >"$tmp/out" 2>"$tmp/err"; local rc=$?
    if [ $rc -ne 2 ] || ! grep -q "$want" "$tmp/err" || [ -s "$tmp/out" ]; then
      echo "$what: status $rc, message: $(cat "$tmp/err")"; fail=1
    fi
  }
  : >"$tmp/bad"; bad "empty" "line 1: empty file"
  head -c 700 "$tmp/m.rec" >"$tmp/bad"; bad "truncated" "cut short"
  head -c 3000 /dev/urandom >"$tmp/bad"; bad "binary" "line 1: "
  sed '1s/ 1 / 2 /' "$tmp/m.rec" >"$tmp/bad"; bad "future version" "line 1: recording format 2 is newer"
  { head -n 5 "$tmp/m.rec"; head -c 20000000 /dev/zero | tr '\0' '7'; } >"$tmp/bad"; bad "long line" "line 6: longer than"
  rm -f "$tmp/bad"; bad "missing" "cannot open the recording"
  "$sim" --replay "$tmp/m.rec" --shadow >/dev/null 2>&1; [ $? -eq 2 ] || { echo "--replay with --shadow accepted"; fail=1; }
  exit $fail
fi

expect2() {
  local what=$1; shift
  "$@" >"$tmp/out" 2>"$tmp/err"
  local rc=$?
  if [ $rc -ne 2 ] || ! grep -q '^blocktide-sim: ' "$tmp/err"; then
    echo "$what: status $rc, message: $(head -n 1 "$tmp/err")"; fail=1
  fi
}
printf '5 left\n' >"$tmp/short";      expect2 "two words" "$sim" --script "$tmp/short"
printf '5 jump none\n' >"$tmp/word";  expect2 "unknown action" "$sim" --script "$tmp/word"
printf '0 left none\n' >"$tmp/zero";  expect2 "zero frames" "$sim" --script "$tmp/zero"
printf -- '-3 left none\n' >"$tmp/neg"; expect2 "negative frames" "$sim" --script "$tmp/neg"
printf '5x left none\n' >"$tmp/junk"; expect2 "junk count" "$sim" --script "$tmp/junk"
printf '5 left none fall\n' >"$tmp/four"; expect2 "four words" "$sim" --script "$tmp/four"
head -c 2000 /dev/zero | tr '\0' 'x' >"$tmp/long"; expect2 "long line" "$sim" --script "$tmp/long"
expect2 "missing script" "$sim" --script "$tmp/nonexistent"
expect2 "no input" "$sim" --seed 5
expect2 "both inputs" "$sim" --script "$script" --random 1
expect2 "seed too large" "$sim" --seed 4294967296 --random 1
expect2 "seed not a number" "$sim" --seed -1 --random 1
expect2 "missing value" "$sim" --random
expect2 "every zero" "$sim" --random 1 --every 0
expect2 "unknown option" "$sim" --random 1 --fast
expect2 "computer 2" "$sim" --computer 2
expect2 "computer missing" "$sim" --random 1 --computer
for value in 0:0 0:6 1:9 both:0 0: 0:x 0:2x 0:-1 2:3 :3 0:1:2; do
  expect2 "computer $value" "$sim" --computer "$value"
done
grep -q 'the level is a number from 1 to 5' "$tmp/err" || { echo "a bad level's message: $(head -n 1 "$tmp/err")"; fail=1; }
expect2 "a player twice" "$sim" --computer 0:2 --computer 0:3
expect2 "both and a player" "$sim" --computer both --computer 1:2
# The computer in place of the random player for player 1 clears rows.
"$sim" --seed 9 --computer 1 --random 4 --frames 3000 --stats >"$tmp/c1"
awk '/^player 1: rows/ { exit !($4 >= 20) }' "$tmp/c1" || { echo "the computer cleared few rows: $(tail -n 1 "$tmp/c1")"; fail=1; }
grep -q 'script line 1: unknown action' <("$sim" --script "$tmp/word" 2>&1) || { echo "message lacks the line"; fail=1; }

# Refused with a message that names the cause and shows no raw byte.
expect_message() {
  local what=$1 text=$2; shift 2
  expect2 "$what" "$@"
  grep -qF -- "$text" "$tmp/err" || { echo "$what: no '$text' in: $(head -n 1 "$tmp/err")"; fail=1; }
  LC_ALL=C grep -q '[^[:print:]]' "$tmp/err" && { echo "$what: raw bytes in the message"; fail=1; }
}
printf '1 none none\n5 left none\0junk\n1 fall fall\n' >"$tmp/nul"
expect_message "NUL in a line" 'script line 2: control character \x00 at column 12' "$sim" --script "$tmp/nul"
printf '5 left\033[2J none\n' >"$tmp/esc"
expect_message "escape in a line" 'line 1: control character \x1B' "$sim" --script "$tmp/esc"
printf '5 left none\r\n1\tfall\tfall\r\n' | "$sim" --script - >/dev/null || { echo "CRLF and tabs refused"; fail=1; }
printf '60000000 left none\n1 none none\n40000001 none none\n' >"$tmp/total"
expect_message "total frames" 'script line 3: the script runs past 100000000 frames' "$sim" --script "$tmp/total"
expect_message "byte in an argument" 'unknown argument: --x\x1B[31m' "$sim" --random 1 $'--x\e[31m'
exit $fail
