#!/usr/bin/env bash
# The computer player's figures from the simulator over fixed seeds:
#   alone  - against an idle opponent, 20 seeds of 30,000 frames: rows
#            cleared per piece, pieces placed and the level reached (medians)
#   versus - against the seeded random player, 100 matches: the computer's wins
#   levels - each level alone against an idle opponent, 20 seeds of 6,000
#            frames (60 s): pieces a second, rows a piece, presses and
#            key-downs a second, frames from a piece's appearance to its
#            first press (medians, with the lowest and highest run)
#   ladder - level n + 1 against level n, 20 seeds in both side orders, up
#            to 18,000 frames (3 minutes) each: the first out loses, at the
#            end the higher score wins (equal scores: a draw)
# Usage: tools/computer_figures.sh SIM [alone|versus|levels|ladder|both|all]
#   (both: alone and versus; all: every figure)
set -eu
sim=${1:?simulator}; what=${2:-both}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

wants() { [ "$what" = "$1" ] || [ "$what" = all ] || { [ "$what" = both ] && [ "$1" != levels ] && [ "$1" != ladder ]; }; }
# "median low high" of a column of numbers
spread() { sort -g | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'; }

if wants alone; then
  tmp=$(mktemp)
  for seed in $(seq 1 20); do
    "$sim" --seed $((seed * 7919)) --computer 0 --frames 30000 --stats |
      awk -v seed=$seed '/^frame / { frame = $2 } /^player 0: score/ { level = $6; out = ($7 == "out") }
                         /^player 0: rows/ { printf "%d %d %d %.4f %d %d\n", seed, $4, $6, $4 / $6, level, out ? frame : -1 }' >>"$tmp"
  done
  echo "seed rows pieces rows/piece level out-at-frame (-1: still in after 30000)"
  cat "$tmp"
  echo "median rows/piece $(cut -d' ' -f4 "$tmp" | median)  pieces $(cut -d' ' -f3 "$tmp" | median)  level $(cut -d' ' -f5 "$tmp" | median)"
  rm -f "$tmp"
fi
if wants versus; then
  wins=0
  for seed in $(seq 1 100); do
    # A win: the random player tops out first, looked at every 100 frames.
    if "$sim" --seed $((seed * 104729)) --computer 0 --random "$seed" --frames 30000 --every 100 |
       awk '/^player 0: score/ { c = ($7 == "out") } /^player 1: score/ { r = ($7 == "out"); if (c || r) exit }
            END { exit !(r && !c) }'; then
      wins=$((wins + 1))
    fi
  done
  echo "wins against the random player: $wins of 100"
fi
if wants levels; then
  echo "level pieces/s rows/piece presses/s keydowns/s first-press-frames (median low high over 20 seeds of 6000 frames)"
  for level in 1 2 3 4 5; do
    tmp=$(mktemp)
    for seed in $(seq 1 20); do
      # The rates are per second the computer was in play.
      "$sim" --seed $((seed * 7919)) --computer 0:$level --frames 6000 --every 100 --stats |
        awk '/^frame / { frame = $2 } /^player 0: score/ { if ($7 == "out" && !out) out = frame }
             /^player 0: rows/ { rows = $4; pieces = $6 }
             /^player 0: presses/ { s = (out ? out : frame) / 100
                                    printf "%.3f %.4f %.2f %.2f %d\n", pieces / s, rows / pieces, $4 / s, $6 / s, $8 }' >>"$tmp"
    done
    printf '%d' "$level"
    for column in 1 2 3 4 5; do printf ' | %s' "$(cut -d' ' -f$column "$tmp" | spread)"; done
    echo
    rm -f "$tmp"
  done
fi
if wants ladder; then
  echo "step: wins of the stronger level, of the weaker, draws (40 matches of up to 18000 frames)"
  for weak in 1 2 3 4; do
    strong=$((weak + 1)); won=0; lost=0
    for seed in $(seq 1 20); do
      for side in 0 1; do
        # The stronger level plays player $side.
        if [ $side = 0 ]; then pair="--computer 0:$strong --computer 1:$weak"; else pair="--computer 0:$weak --computer 1:$strong"; fi
        winner=$("$sim" --seed $((seed * 104729)) $pair --frames 18000 --every 10 |
          awk '/^player 0: score/ { s0 = $4; o0 = ($7 == "out") }
               /^player 1: score/ { s1 = $4; o1 = ($7 == "out")
                                    if (o0 != o1) { print (o0 ? 1 : 0); done = 1; exit } }
               END { if (!done) print (s0 > s1 ? 0 : s1 > s0 ? 1 : "-") }')
        if [ "$winner" = "$side" ]; then won=$((won + 1)); elif [ "$winner" != - ]; then lost=$((lost + 1)); fi
      done
    done
    echo "level $strong against level $weak: $won $lost $((40 - won - lost))"
  done
fi
