#!/usr/bin/env bash
# The lobby's figures of docs/PERFORMANCE.md: blocktide-lobby pinned to one
# core with room for 4096 rooms, and blocktide-lobby-load on the other core
# registering 4000 rooms from as many loopback addresses, joining 1024 of them
# and relaying through 4, 64, 256 and 1024 rooms (5 s each) with direct
# round trips in the same run; it prints the figures and the lobby's summary.
# Usage: bash tools/lobby_figures.sh BUILD_DIR [--smoke] [PORT]
# (--smoke: 16 rooms, 2 and 4 relaying for 1 s, the ctest's run). UDP PORT
# (default 42600) to PORT+17 on 127.0.0.1 and PORT+1, PORT+2 on 127.1.x.1 to
# 127.16.x.1 (the hosts) and from 127.64.x.1 (the joiners), one address a
# /24, as the lobby counts its limits by network; every process stops by
# itself within about 2 minutes.
set -u
build=${1:?usage: lobby_figures.sh BUILD_DIR [--smoke] [PORT]}
shift
args=(--rooms 4000 --relay 4,64,256,1024 --step-seconds 5)
if [ "${1:-}" = --smoke ]; then
  args=(--rooms 16 --relay 2,4 --step-seconds 1)
  shift
fi
port=${1:-42600}
lobby=$build/tools/lobby/blocktide-lobby
tool=$build/tools/lobby/blocktide-lobby-load
tmp=$(mktemp -d)
lobbyPid=
cleanup() {
  [ -n "$lobbyPid" ] && kill -TERM "$lobbyPid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# One core for the lobby, the other for the load; on one core they share it.
lobbyCore=0; toolCore=1
[ "$(nproc)" -ge 2 ] || toolCore=0

taskset -c $lobbyCore "$lobby" --port "$port" --rooms 4096 --seconds 110 >"$tmp/lobby.out" 2>"$tmp/lobby.err" &
lobbyPid=$!
for _ in $(seq 50); do
  grep -q listening "$tmp/lobby.out" 2>/dev/null && break
  sleep 0.1
done
if ! grep -q listening "$tmp/lobby.out"; then
  echo "FAIL: blocktide-lobby did not start"; cat "$tmp/lobby.err"; exit 1
fi
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "lobby on core $lobbyCore (PID $lobbyPid), load on core $toolCore"
timeout 100 taskset -c $toolCore "$tool" --port "$port" --pid "$lobbyPid" "${args[@]}"
status=$?
kill -TERM "$lobbyPid"
wait "$lobbyPid"
lobbyStatus=$?
lobbyPid=
grep 'lobby summary' "$tmp/lobby.out"
echo "lobby: $(grep -c '^room ' "$tmp/lobby.out") room event lines"
if [ $status -ne 0 ] || [ $lobbyStatus -ne 0 ]; then
  echo "FAIL: the load tool's status $status, the lobby's $lobbyStatus"; cat "$tmp/lobby.err"; exit 1
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
