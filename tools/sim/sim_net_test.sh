#!/usr/bin/env bash
# Network matches of blocktide-sim on 127.0.0.1: two simulators through
# blocktide-relay (delay, jitter, loss, duplicates, reordering) print the same
# wells as a local run of the same inputs; while they play, a second joiner
# is refused and a second host cannot take the port; a killed joiner is
# lost; a joiner nobody answers gives up; bad network arguments exit with 2.
# Straight over 127.0.0.1 and [::1] the same match has the same wells and
# delay; a malformed address exits with 2 and its reason.
# By invite code through blocktide-lobby: the same wells, the code and path
# lines; an unknown code and a silent lobby end with status 3. A lost match's
# recording is closed. Every port is one the system picks: the hosts and the
# relay bind port 0 and print the port they got; the lobby, which takes only
# a given port, gets one the system just handed out and gave back.
set -u
sim=$1 relay=$2 lobby=$3
tmp=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$tmp"' EXIT
fail=0
# The number after PREFIX on a line of FILE, waited for (5 s at most); 0 if none.
port_in() {
  local n=""
  for _ in $(seq 50); do
    n=$(sed -n "s/^$2\([0-9][0-9]*\)\$/\1/p" "$1" | head -n 1)
    [ -n "$n" ] && break
    sleep 0.1
  done
  echo "${n:-0}"
}
# A UDP socket on 127.0.0.1 that never answers, held while the script runs
# (the joiner and the lobby client nobody answers); its port goes to FILE.
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
print("silent on port %d" % s.getsockname()[1], flush=True)
time.sleep(120)' >"$tmp/silent.out" &
pids+=($!)
emptyPort=$(port_in "$tmp/silent.out" 'silent on port ')
# A host on a port of the system's choice: $host and $hostPort.
start_host() {
  local err=$1; shift
  "$sim" --host 0 "$@" 2>"$err" &
  host=$!
  pids+=($host)
  hostPort=$(port_in "$err" 'hosting on UDP port ')
}

start_host "$tmp/host.err" --seed 1000 --random 7 --shadow --frames 400 --every 200 --record "$tmp/host.rec" \
  >"$tmp/host.out"
"$relay" --listen 0 --to $hostPort --delay 20 --jitter 10 --loss 5 --duplicate 2 --reorder 2 \
         --seconds 40 2>"$tmp/relay.err" &
pids+=($!)
relayPort=$(port_in "$tmp/relay.err" 'blocktide-relay: listening on port ')
"$sim" --join 127.0.0.1:$relayPort --random 7 --shadow --frames 400 --every 200 >"$tmp/join.out" 2>"$tmp/join.err" &
join=$!
pids+=($join)
sleep 1
# The port is taken: a second joiner is refused, the match goes on.
"$sim" --join 127.0.0.1:$hostPort --random 1 --frames 100 >"$tmp/third.out" 2>"$tmp/third.err"
rc=$?
if [ $rc -ne 3 ] || ! grep -q "a match is already being played" "$tmp/third.err"; then
  echo "second joiner: status $rc, $(cat "$tmp/third.err")"; fail=1
fi
# The port is taken by the host: a second host cannot use it.
"$sim" --host $hostPort --random 1 >/dev/null 2>"$tmp/second.err"; rc=$?
if [ $rc -ne 3 ] || ! grep -q "cannot use UDP port $hostPort" "$tmp/second.err"; then
  echo "second host: status $rc, $(cat "$tmp/second.err")"; fail=1
fi
wait $host; hostStatus=$?
wait $join; joinStatus=$?
if [ $hostStatus -ne 0 ] || [ $joinStatus -ne 0 ]; then
  echo "relayed match: host $hostStatus, joiner $joinStatus"; cat "$tmp/host.err" "$tmp/join.err"; fail=1
fi
"$sim" --seed 1000 --random 7 --shadow --frames 400 --every 200 >"$tmp/local.out"
cmp -s "$tmp/host.out" "$tmp/join.out" || { echo "host and joiner print different wells"; fail=1; }
cmp -s "$tmp/host.out" "$tmp/local.out" || { echo "the network match differs from the local one"; fail=1; }
grep -q "delay [1-9] frames" "$tmp/host.err" || { echo "no figures: $(cat "$tmp/host.err")"; fail=1; }
# The same match straight over 127.0.0.1 and over [::1]: the wells of the
# local run both times, and the same delay chosen by either family.
for target in 127.0.0.1 '[::1]'; do
  start_host "$tmp/direct.err" --seed 1000 --random 7 --shadow --frames 400 --every 200 >"$tmp/direct.out"
  "$sim" --join "$target:$hostPort" --random 7 --shadow --frames 400 --every 200 >"$tmp/direct-join.out" \
         2>"$tmp/direct-join.err"; joinStatus=$?
  wait $host; hostStatus=$?
  if [ $hostStatus -ne 0 ] || [ $joinStatus -ne 0 ]; then
    echo "over $target: host $hostStatus, joiner $joinStatus"; cat "$tmp/direct.err" "$tmp/direct-join.err"; fail=1
  fi
  cmp -s "$tmp/direct.out" "$tmp/local.out" && cmp -s "$tmp/direct-join.out" "$tmp/local.out" ||
    { echo "over $target: the wells differ from the local run"; fail=1; }
  grep -o 'delay [0-9]* frames' "$tmp/direct.err" | head -n 1 >"$tmp/delay-$target"
done
[ -s "$tmp/delay-127.0.0.1" ] && cmp -s "$tmp/delay-127.0.0.1" "$tmp/delay-[::1]" ||
  { echo "delays: $(cat "$tmp/delay-127.0.0.1") by IPv4, $(cat "$tmp/delay-[::1]") by IPv6"; fail=1; }
# The host's recording of the network match replays to its wells.
"$sim" --replay "$tmp/host.rec" >"$tmp/replay.out" || { echo "the host's recording does not replay"; fail=1; }
grep -v '^replay: ' "$tmp/replay.out" | cmp -s <(tail -n 24 "$tmp/host.out") - || { echo "the replay prints other wells"; fail=1; }

# A joiner killed mid-match: the host waits for it, counting down the 30 s
# of silence it allows, then says so; its recording is closed, ending in
# "digest end", and replays.
start_host "$tmp/lost.err" --random 2 --frames 3000 --record "$tmp/lost.rec" >/dev/null
"$sim" --join 127.0.0.1:$hostPort --random 3 --frames 3000 >/dev/null 2>&1 &
join=$!
pids+=($join)
sleep 1
kill -9 $join
began=$(date +%s)
wait $host; rc=$?
took=$(( $(date +%s) - began ))
if [ $rc -ne 3 ] || ! grep -q "the other player's program stopped answering" "$tmp/lost.err" || [ $took -gt 33 ] ||
   [ $took -lt 29 ] || [ "$(grep -c '^BlockTide - waiting for the other player ([0-9]* s)$' "$tmp/lost.err")" -ne 29 ]; then
  echo "lost joiner: status $rc after $took s, $(cat "$tmp/lost.err")"; fail=1
fi
tail -n 1 "$tmp/lost.rec" | grep -q '^digest end ' || { echo "the lost match's recording is not closed"; fail=1; }
"$sim" --replay "$tmp/lost.rec" >/dev/null 2>"$tmp/err" || { echo "the lost match does not replay: $(cat "$tmp/err")"; fail=1; }

# Nobody at the port: the joiner gives up after 10 s.
"$sim" --join 127.0.0.1:$emptyPort --random 1 >/dev/null 2>"$tmp/none.err"; rc=$?
if [ $rc -ne 3 ] || ! grep -q "no answer from 127.0.0.1:$emptyPort within 10 s" "$tmp/none.err"; then
  echo "nobody hosting: status $rc, $(cat "$tmp/none.err")"; fail=1
fi

# By invite code on loopback: both print the local run's wells.
lobbyPort=$(python3 -c 'import socket
s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
s.bind(("::", 0))
print(s.getsockname()[1])' 2>/dev/null || python3 -c 'import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 0))
print(s.getsockname()[1])')
"$lobby" --port $lobbyPort --seconds 30 >"$tmp/lobby.out" 2>&1 &
pids+=($!)
sleep 0.2
"$sim" --lobby 127.0.0.1:$lobbyPort --host-invite --seed 1000 --random 7 --shadow --frames 400 --every 200 \
       >"$tmp/ihost.out" 2>"$tmp/ihost.err" &
host=$!
pids+=($host)
for _ in $(seq 50); do grep -q '^invite code: ' "$tmp/ihost.err" && break; sleep 0.1; done
code=$(sed -n 's/^invite code: //p' "$tmp/ihost.err" | tr 'A-Z' 'a-z' | tr -d -)  # typed in any case, no dash
"$sim" --lobby 127.0.0.1:$lobbyPort --join-invite "$code" --random 7 --shadow --frames 400 --every 200 \
       >"$tmp/ijoin.out" 2>"$tmp/ijoin.err"; joinStatus=$?
wait $host; hostStatus=$?
if [ $hostStatus -ne 0 ] || [ $joinStatus -ne 0 ] || ! grep -qx 'path: direct over IPv4' "$tmp/ihost.err" ||
   ! grep -qx 'path: direct over IPv4' "$tmp/ijoin.err"; then
  echo "invite: host $hostStatus, joiner $joinStatus"; cat "$tmp/ihost.err" "$tmp/ijoin.err"; fail=1
fi
cmp -s "$tmp/ihost.out" "$tmp/local.out" && cmp -s "$tmp/ijoin.out" "$tmp/local.out" ||
  { echo "the invited match differs from the local one"; fail=1; }
"$sim" --lobby 127.0.0.1:$lobbyPort --join-invite 2345-6789 --random 1 >/dev/null 2>"$tmp/err"; rc=$?
[ $rc -eq 3 ] && grep -q "knows no invite code 2345-6789" "$tmp/err" || { echo "unknown code: status $rc"; fail=1; }
"$sim" --lobby 127.0.0.1:$emptyPort --host-invite --random 1 >/dev/null 2>"$tmp/err"; rc=$?
[ $rc -eq 3 ] && grep -q "the lobby at 127.0.0.1:$emptyPort does not answer" "$tmp/err" ||
  { echo "no lobby: status $rc"; fail=1; }

expect2() {
  "$sim" "$@" >/dev/null 2>"$tmp/err"; local rc=$?
  [ $rc -eq 2 ] && grep -q '^blocktide-sim: ' "$tmp/err" || { echo "$*: status $rc"; fail=1; }
}
expect2 --host 65536 --random 1
expect2 --join 127.0.0.1 --random 1
expect2 --join :$hostPort --random 1
expect2 --host $hostPort --join 127.0.0.1:$hostPort --random 1
expect2 --host $hostPort --delay 41 --random 1
expect2 --delay 3 --random 1
expect2 --host $hostPort --computer 1 --random 1
expect2 --join 127.0.0.1:$hostPort --computer 0:3 --random 1
expect2 --computer --random 1
expect2 --host-invite --random 1
expect2 --lobby 127.0.0.1 --join-invite 2345-678O --random 1
expect2 --lobby 127.0.0.1:0 --host-invite --random 1
expect2 --lobby 127.0.0.1 --host-invite --join 127.0.0.1:$hostPort --random 1
# Addresses that cannot be: status 2 and the reason on its own line.
expect2_saying() {
  local why=$1; shift
  expect2 "$@"
  grep -qF "$why" "$tmp/err" || { echo "$*: no \"$why\" in $(cat "$tmp/err")"; fail=1; }
}
expect2_saying 'written [ADDRESS] or [ADDRESS]:PORT' --join '[::1' --random 1
expect2_saying 'a port is needed' --join 2001:db8::7 --random 1
expect2_saying 'is not an IPv6 address' --join 2001:db8::7:41414 --random 1
expect2_saying 'the interface after % must be its number' --join '[fe80::1%]:1' --random 1
expect2_saying 'brackets hold an IPv6 address' --join '[192.0.2.7]:1' --random 1
exit $fail
