#!/usr/bin/env bash
# The network figures of docs/PERFORMANCE.md: two blocktide-sim processes
# play over UDP on 127.0.0.1 (seeded random players on both sides; when both
# are out the host starts the next match), and each prints its figures (delay, round
# trip, frames that waited, frames a second, CPU, datagrams) to the standard
# error; the wells both print must be the same.
#   1. loopback; 2. through blocktide-relay (80 ms round trip, 10 ms jitter,
#   5 % loss and 1 % duplicates each way, 1 % held back out of order);
#   3. loopback while 10,000 junk datagrams go to the host's port;
#   4. a far peer: through the relay at 400 and at 600 ms round trip;
#   5. the families: the same match joined by [::1] and by 127.0.0.1, the
#   delay chosen and the frames a second of each, and their ratio.
# Usage: bash tools/net_figures.sh BUILD_DIR [FRAMES] [FLOOD_FRAMES] [families]
# (defaults 30000 and 3000: about 5 minutes per run, 30 s for the flood and
# for each family; "families" runs step 5 alone).
# Ports BLOCKTIDE_NET_PORT (default 42500) to it + 40, on 127.0.0.1 and ::1
# only; every process stops by itself.
set -u
build=${1:?usage: net_figures.sh BUILD_DIR [FRAMES] [FLOOD_FRAMES] [families]}
frames=${2:-30000}
floodFrames=${3:-3000}
only=${4:-}
base=${BLOCKTIDE_NET_PORT:-42500}
sim=$build/tools/sim/blocktide-sim
relay=$build/tools/relay/blocktide-relay
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0

# run NAME HOSTPORT JOINPORT FRAMES [HOST]: the match, joined at HOST
# (127.0.0.1 unless given); both sides' figures printed.
run() {
  local name=$1 hostPort=$2 joinPort=$3 n=$4 at=${5:-127.0.0.1}
  "$sim" --host "$hostPort" --seed 1000 --random 7 --frames "$n" --stats >"$tmp/host.out" 2>"$tmp/host.err" &
  local host=$!
  sleep 0.3
  "$sim" --join "$at:$joinPort" --random 7 --frames "$n" --stats >"$tmp/join.out" 2>"$tmp/join.err"
  local joinStatus=$?
  wait $host
  local hostStatus=$?
  echo "== $name: host status $hostStatus, joiner status $joinStatus"
  grep -h 'network' "$tmp/host.err" "$tmp/join.err"
  if [ $hostStatus -ne 0 ] || [ $joinStatus -ne 0 ] || ! cmp -s "$tmp/host.out" "$tmp/join.out"; then
    echo "$name: the two sides differ or failed"; cat "$tmp/host.err" "$tmp/join.err"; status=1
  else
    echo "$name: both sides printed the same wells ($(head -n 1 "$tmp/host.out"))"
  fi
}

# The families: one match each way in turn, the host's figures compared.
families() {
  local at name
  for at in 127.0.0.1 '[::1]'; do
    name=${at//[][]/}
    run "by $name" $((base + 40)) $((base + 40)) "$floodFrames" "$at"
    grep -o 'delay [0-9]* frames' "$tmp/host.err" | awk '{ print $2 }' >"$tmp/delay-$name"
    grep -o '[0-9.]* frames/s' "$tmp/host.err" | awk '{ print $1 }' >"$tmp/fps-$name"
  done
  awk -v d4="$(cat "$tmp/delay-127.0.0.1")" -v d6="$(cat "$tmp/delay-::1")" \
      -v f4="$(cat "$tmp/fps-127.0.0.1")" -v f6="$(cat "$tmp/fps-::1")" 'BEGIN {
    printf "::1 against 127.0.0.1: delay %s against %s frames (ratio %.2f), %s against %s frames/s (ratio %.3f)\n",
      d6, d4, (d4 > 0 ? d6 / d4 : 0), f6, f4, (f4 > 0 ? f6 / f4 : 0) }'
}
if [ "$only" = families ]; then
  families
  exit $status
fi

run loopback $base $base "$frames"

"$relay" --listen $((base + 11)) --to $((base + 10)) --delay 40 --jitter 10 --loss 5 --duplicate 1 --reorder 1 \
         --seconds $((frames / 100 + 60)) 2>"$tmp/relay.err" &
relayPid=$!
run relay $((base + 10)) $((base + 11)) "$frames"
wait $relayPid
cat "$tmp/relay.err"

( sleep 5; "$relay" --junk $((base + 20)) --count 10000 --rate 2000 --seed 5 ) 2>"$tmp/junk.err" &
junkPid=$!
run flood $((base + 20)) $((base + 20)) "$floodFrames"
wait $junkPid
cat "$tmp/junk.err"

for oneWay in 200 300; do
  "$relay" --listen $((base + 31)) --to $((base + 30)) --delay $oneWay --jitter 10 --loss 2 \
           --seconds $((floodFrames / 100 + 60)) 2>"$tmp/relay.err" &
  relayPid=$!
  run "far, $((2 * oneWay)) ms round trip" $((base + 30)) $((base + 31)) "$floodFrames"
  wait $relayPid
done
families
exit $status
