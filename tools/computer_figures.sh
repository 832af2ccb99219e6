#!/usr/bin/env bash
# The computer player's figures from the simulator over fixed seeds:
#   alone  - against an idle opponent, 20 seeds of 30,000 frames: rows
#            cleared per piece, pieces placed and the level reached (medians)
#   versus - against the seeded random player, 100 matches: the computer's wins
# Usage: tools/computer_figures.sh SIM [alone|versus|both]
set -eu
sim=${1:?simulator}; what=${2:-both}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

if [ "$what" = alone ] || [ "$what" = both ]; then
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
if [ "$what" = versus ] || [ "$what" = both ]; then
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
