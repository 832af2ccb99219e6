#!/usr/bin/env bash
# The lobby of three processes over one Redis, on 127.0.0.1: a redis-server
# of the test's own (a port the system picks, no disk: --save "" --appendonly
# no; stopped by its process id) and three blocktide-lobby --store. A host at
# process A and its friend at process B play the local run's match; process A
# killed while its host waits, the host re-attaches at another process and a
# friend joins with the same code; Redis stopped for 10 s, the processes say
# "the lobby is unavailable" and log it once, and give a new code within 2 s
# of its return. Prints the figures; skips (77) without redis-server or a
# lobby built with the Redis store.
set -u
sim=$1 lobby=$2
redis=$(command -v redis-server || true)
[ -n "$redis" ] || { echo "SKIP: no redis-server (tools/setup.sh installs it)"; exit 77; }
"$lobby" --help | grep -q -- '--store URL' || { echo "SKIP: this blocktide-lobby has no Redis store"; exit 77; }
tmp=$(mktemp -d)
pids=()
redisPid=""
trap 'for p in "${pids[@]}" $redisPid; do kill "$p" 2>/dev/null; done; rm -rf "$tmp"' EXIT
fail=0
free_port() {  # a TCP or UDP port the system just handed out and gave back
  python3 -c 'import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM if sys.argv[1] == "udp" else socket.SOCK_STREAM)
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' "$1"
}
ms() { date +%s%3N; }
redisPort=$(free_port tcp)
start_redis() {
  "$redis" --port "$redisPort" --bind 127.0.0.1 --save "" --appendonly no --daemonize no >>"$tmp/redis.log" 2>&1 &
  redisPid=$!
  for _ in $(seq 50); do redis-cli -p "$redisPort" ping >/dev/null 2>&1 && return; sleep 0.1; done
  echo "redis-server did not start"; cat "$tmp/redis.log"; exit 1
}
start_redis
declare -A port pid
for p in a b c; do
  port[$p]=$(free_port udp)
  "$lobby" --port "${port[$p]}" --store "redis://127.0.0.1:$redisPort" --public "127.0.0.1:${port[$p]}" \
           --seconds 120 >"$tmp/lobby_$p.out" 2>&1 &
  pid[$p]=$!
  pids+=(${pid[$p]})
done
for p in a b c; do
  for _ in $(seq 50); do grep -q '^the store at .* answers' "$tmp/lobby_$p.out" && break; sleep 0.1; done
done
at() { echo "127.0.0.1:${port[$1]}"; }
code_in() {  # the invite code a host printed, waited for (5 s at most)
  for _ in $(seq 50); do grep -q '^invite code: ' "$1" && break; sleep 0.1; done
  sed -n 's/^invite code: //p' "$1" | head -n 1
}
"$sim" --seed 1000 --random 7 --frames 400 --every 200 >"$tmp/local.out"

# 1. A host at A, its friend at B: the same match as the local run.
"$sim" --lobby "$(at a)" --lobby-also "$(at b)" --lobby-also "$(at c)" --host-invite --seed 1000 --random 7 \
       --frames 400 --every 200 >"$tmp/h1.out" 2>"$tmp/h1.err" &
host=$!
code=$(code_in "$tmp/h1.err")
"$sim" --lobby "$(at b)" --join-invite "$code" --random 7 --frames 400 --every 200 >"$tmp/j1.out" 2>"$tmp/j1.err"
joinStatus=$?
wait $host; hostStatus=$?
if [ $hostStatus -ne 0 ] || [ $joinStatus -ne 0 ] || ! cmp -s "$tmp/h1.out" "$tmp/local.out" ||
   ! cmp -s "$tmp/j1.out" "$tmp/local.out"; then
  echo "across processes: host $hostStatus, joiner $joinStatus"; cat "$tmp/h1.err" "$tmp/j1.err"; fail=1
fi
grep -q "room $code joined by .*its host at another process" "$tmp/lobby_b.out" &&
  grep -q "room $code joined by" "$tmp/lobby_a.out" ||
  { echo "across processes: B took the Join and A told its host"; cat "$tmp/lobby_a.out" "$tmp/lobby_b.out"; fail=1; }
echo "across processes: host at A, friend at B: host $hostStatus, joiner $joinStatus, same wells"

# 2. Process A killed while its host waits: the host re-attaches, the friend joins at C.
"$sim" --lobby "$(at a)" --lobby-also "$(at b)" --lobby-also "$(at c)" --host-invite --seed 1000 --random 7 \
       --frames 400 --every 200 >"$tmp/h2.out" 2>"$tmp/h2.err" &
host=$!
pids+=($host)
code=$(code_in "$tmp/h2.err")
kill -9 "${pid[a]}"; killedMs=$(ms)
wait "${pid[a]}" 2>/dev/null
for _ in $(seq 150); do grep -q '^invite: re-attached' "$tmp/h2.err" && break; sleep 0.1; done
reattachMs=$(( $(ms) - killedMs ))
grep -q '^invite: re-attached' "$tmp/h2.err" || { echo "killed process: the host never re-attached"; fail=1; }
"$sim" --lobby "$(at c)" --join-invite "$code" --random 7 --frames 400 --every 200 >"$tmp/j2.out" 2>"$tmp/j2.err"
joinStatus=$?
wait $host; hostStatus=$?
if [ $hostStatus -ne 0 ] || [ $joinStatus -ne 0 ] || ! cmp -s "$tmp/h2.out" "$tmp/local.out" ||
   ! cmp -s "$tmp/j2.out" "$tmp/local.out"; then
  echo "killed process: host $hostStatus, joiner $joinStatus"; cat "$tmp/h2.err" "$tmp/j2.err"; fail=1
fi
echo "killed process: A killed while its host waited; re-attached after ${reattachMs} ms;" \
     "the friend joined $code at C: host $hostStatus, joiner $joinStatus"

# 3. Redis stopped for 10 s: "the lobby is unavailable", said once; a new code within 2 s of its return.
kill "$redisPid"; wait "$redisPid" 2>/dev/null; redisPid=""
sleep 0.5
"$sim" --lobby "$(at b)" --host-invite --random 1 >/dev/null 2>"$tmp/h3.err"; hostStatus=$?
"$sim" --lobby "$(at c)" --join-invite 2345-6789 --random 1 >/dev/null 2>"$tmp/j3.err"; joinStatus=$?
hostSaid=$(sed -n 's/^blocktide-sim: //p' "$tmp/h3.err"); joinSaid=$(sed -n 's/^blocktide-sim: //p' "$tmp/j3.err")
[ $hostStatus -eq 3 ] && [ "$hostSaid" = "the lobby is unavailable" ] && [ $joinStatus -eq 3 ] &&
  [ "$joinSaid" = "the lobby is unavailable" ] ||
  { echo "Redis stopped: host $hostStatus ($hostSaid), joiner $joinStatus ($joinSaid)"; fail=1; }
sleep 9.5
said=$(grep -c 'is unavailable: players are told' "$tmp/lobby_b.out")
[ "$said" -eq 1 ] || { echo "Redis stopped: process B said it $said times"; fail=1; }
start_redis; backMs=$(ms)
newCode=""
while [ $(( $(ms) - backMs )) -lt 5000 ] && [ -z "$newCode" ]; do
  timeout 0.5 "$sim" --lobby "$(at b)" --host-invite --random 1 >/dev/null 2>"$tmp/h4.err"
  newCode=$(sed -n 's/^invite code: //p' "$tmp/h4.err")
  [ -n "$newCode" ] || sleep 0.1
done
codeMs=$(( $(ms) - backMs ))
[ -n "$newCode" ] && [ $codeMs -le 2000 ] || { echo "Redis back: no new code within 2 s ($codeMs ms)"; fail=1; }
echo "Redis stopped 10 s: the host was told \"$hostSaid\", the friend \"$joinSaid\"; B logged it $said time(s);" \
     "a new code ($newCode) ${codeMs} ms after Redis was back"
echo "== lobby logs"; for p in a b c; do sed "s/^/$p: /" "$tmp/lobby_$p.out" | grep -v '^.: room' ; done
[ $fail -eq 0 ] && echo "lobby over a store: every check passed"
exit $fail
