#!/usr/bin/env bash
# The network figures of docs/PERFORMANCE.md: two blocktide-sim processes
# play over UDP on 127.0.0.1 (seeded random players on both sides; when both
# are out the host starts the next match), and each prints its figures (delay, round
# trip, frames that waited, frames a second, CPU, datagrams) to the standard
# error; the wells both print must be the same.
#   1. loopback; 2. through blocktide-relay (80 ms round trip, 10 ms jitter,
#   5 % loss and 1 % duplicates each way, 1 % held back out of order);
#   3. loopback while 10,000 junk datagrams go to the host's port;
#   4. a far peer: through the relay at 400 and at 600 ms round trip.
# Usage: bash tools/net_figures.sh BUILD_DIR [FRAMES] [FLOOD_FRAMES]
# (defaults 30000 and 3000: about 5 minutes per run, 30 s for the flood).
# Ports 42500 to 42520 on 127.0.0.1 only; every process stops by itself.
set -u
build=${1:?usage: net_figures.sh BUILD_DIR [FRAMES] [FLOOD_FRAMES]}
frames=${2:-30000}
floodFrames=${3:-3000}
sim=$build/tools/sim/blocktide-sim
relay=$build/tools/relay/blocktide-relay
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0

# run NAME HOSTPORT JOINPORT FRAMES: the match; both sides' figures printed.
run() {
  local name=$1 hostPort=$2 joinPort=$3 n=$4
  "$sim" --host "$hostPort" --seed 1000 --random 7 --frames "$n" --stats >"$tmp/host.out" 2>"$tmp/host.err" &
  local host=$!
  sleep 0.3
  "$sim" --join "127.0.0.1:$joinPort" --random 7 --frames "$n" --stats >"$tmp/join.out" 2>"$tmp/join.err"
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

run loopback 42500 42500 "$frames"

"$relay" --listen 42511 --to 42510 --delay 40 --jitter 10 --loss 5 --duplicate 1 --reorder 1 \
         --seconds $((frames / 100 + 60)) 2>"$tmp/relay.err" &
relayPid=$!
run relay 42510 42511 "$frames"
wait $relayPid
cat "$tmp/relay.err"

( sleep 5; "$relay" --junk 42520 --count 10000 --rate 2000 --seed 5 ) 2>"$tmp/junk.err" &
junkPid=$!
run flood 42520 42520 "$floodFrames"
wait $junkPid
cat "$tmp/junk.err"

for oneWay in 200 300; do
  "$relay" --listen 42531 --to 42530 --delay $oneWay --jitter 10 --loss 2 \
           --seconds $((floodFrames / 100 + 60)) 2>"$tmp/relay.err" &
  relayPid=$!
  run "far, $((2 * oneWay)) ms round trip" 42530 42531 "$floodFrames"
  wait $relayPid
done
exit $status
