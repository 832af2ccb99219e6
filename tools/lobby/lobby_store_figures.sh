#!/usr/bin/env bash
# The figures of the lobby over one Redis in docs/PERFORMANCE.md, in one run:
# blocktide-lobby alone (in memory), then one, two and three processes with
# --store over a redis-server of this script's own (127.0.0.1, a port the
# system picks, no disk), each with a blocktide-lobby-load of its own at once
# (ROOMS registrations, then JOINS joins and 5 s of relaying through them).
# Prints rooms registered and joined a second (summed over the processes) as
# ratios against the lobby alone, the store's calls per registration and per
# join (each one round trip), Redis's memory per waiting room, and the relay's
# datagrams a second. Usage: bash tools/lobby/lobby_store_figures.sh BUILD_DIR [ROOMS] [JOINS]
# Every process stops by itself within about two minutes.
set -u
build=${1:?usage: lobby_store_figures.sh BUILD_DIR [ROOMS] [JOINS]}
rooms=${2:-2000} joins=${3:-256}
lobby=$build/tools/lobby/blocktide-lobby
tool=$build/tools/lobby/blocktide-lobby-load
tmp=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$tmp"' EXIT
command -v redis-server >/dev/null || { echo "no redis-server (tools/setup.sh installs it)"; exit 77; }
redisPort=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
redis-server --port "$redisPort" --bind 127.0.0.1 --save "" --appendonly no >"$tmp/redis.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do redis-cli -p "$redisPort" ping >/dev/null 2>&1 && break; sleep 0.1; done
cli() { redis-cli -p "$redisPort" "$@"; }
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(redis-server --version | cut -d' ' -f1-3)"

# One run named N of COUNT processes (N 0: the lobby alone); the figures summed in $tmp/runN.
run() {
  local n=$1 count=${2:-$1} i
  [ "$n" -eq 0 ] && count=1
  cli flushall >/dev/null
  local memBefore; memBefore=$(cli info memory | sed -n 's/^used_memory:\([0-9]*\).*/\1/p')
  local lobbyPids=() toolPids=()
  for i in $(seq 1 "$count"); do
    local port=$((43000 + 100 * i))
    local store=(--store "redis://127.0.0.1:$redisPort" --public "127.0.0.1:$port")
    [ "$n" -eq 0 ] && store=()
    "$lobby" --port "$port" --rooms 4096 --seconds 100 "${store[@]}" >"$tmp/lobby$n.$i" 2>&1 &
    lobbyPids+=($!); pids+=($!)
  done
  sleep 1
  for i in $(seq 1 "$count"); do
    timeout 90 "$tool" --port $((43000 + 100 * i)) --pid "${lobbyPids[$((i - 1))]}" --rooms "$rooms" \
      --relay "$joins" --step-seconds 5 >"$tmp/load$n.$i" 2>&1 &
    toolPids+=($!); pids+=($!)
  done
  for p in "${toolPids[@]}"; do wait "$p"; done
  local memAfter; memAfter=$(cli info memory | sed -n 's/^used_memory:\([0-9]*\).*/\1/p')
  local keys; keys=$(cli dbsize)
  for p in "${lobbyPids[@]}"; do kill -TERM "$p"; wait "$p"; done
  cat "$tmp"/load$n.* | awk -v n="$n" -v mem=$((memAfter - memBefore)) -v keys="$keys" '
    /^rooms registered:/ { for (i = 1; i <= NF; i++) if ($i == "second") r += $(i - 2); regs += $3 }
    /^rooms joined:/ { for (i = 1; i <= NF; i++) if ($i == "second") j += $(i - 2); js += $3 }
    /relayed datagrams a second:/ { d += $5 }
    END { printf "%s %.0f %.0f %d %d %.0f %d %s\n", n, r, j, regs, js, d, mem, keys }' >"$tmp/run$n"
  cat "$tmp"/lobby$n.* | sed -n 's/^blocktide-lobby: \([0-9]*\) calls to the store.*/\1/p' |
    awk '{ s += $1 } END { print s + 0 }' >>"$tmp/run$n"
}
# The store's calls: a registration-only run (1 join) gives the calls per
# registration; the joins' are what the full run adds.
for n in 0 1 2 3; do run "$n"; done
savedJoins=$joins; joins=1; run 9 1; joins=$savedJoins
read -r _ r0 j0 _ _ d0 _ _ < <(head -n 1 "$tmp/run0")
read -r _ _ _ regs9 js9 _ mem9 keys9 < <(head -n 1 "$tmp/run9"); calls9=$(tail -n 1 "$tmp/run9")
read -r _ _ _ regs1 js1 _ _ _ < <(head -n 1 "$tmp/run1"); calls1=$(tail -n 1 "$tmp/run1")
perReg=$(awk -v c="$calls9" -v r="$regs9" -v j="$js9" 'BEGIN { printf "%.2f", (c - j * 2) / r }')
perJoin=$(awk -v c="$calls1" -v r="$regs1" -v j="$js1" -v p="$perReg" 'BEGIN { printf "%.2f", (c - r * p) / j }')
echo "the lobby alone: $r0 rooms registered a second, $j0 joined, $d0 relayed datagrams a second"
for n in 1 2 3; do
  read -r _ r j _ _ d _ _ < <(head -n 1 "$tmp/run$n")
  awk -v n="$n" -v r="$r" -v j="$j" -v d="$d" -v r0="$r0" -v j0="$j0" -v d0="$d0" 'BEGIN {
    printf "%d process(es) over one Redis: %.0f registered a second (%.2f of the lobby alone), %.0f joined (%.2f),", n, r, r / r0, j, j / j0
    printf " %.0f relayed datagrams a second (%.2f)\n", d, d / d0 }'
done
echo "store calls (round trips): $perReg a registration, $perJoin a join"
awk -v m="$mem9" -v k="$keys9" -v r="$regs9" 'BEGIN { printf "Redis memory: %.0f bytes a waiting room, with its network'"'"'s count (%d keys for %d rooms, each from a /24 of its own)\n", m / r, k, r }'
