#!/usr/bin/env bash
# The NAT matrix: two simulators play by invite code through blocktide-lobby,
# each behind its own kind of NAT, all on this machine in network namespaces
# that this script makes and removes (veth pairs, a "public" bridge with the
# lobby, routers doing NAT with iptables; no route leads out, and only the
# namespaces' own addresses are used). Each case plays FRAMES frames, both
# sides must print the local run's wells with status 0, and the path must be
# direct where the NAT kind allows punching and relayed where it does not.
# One case gives both players IPv6 beside the IPv4 NAT that defeats
# punching, each router's IPv6 firewall dropping what it did not ask for
# (ip6tables conntrack); the lobby is then a name with both families (the
# namespaces' own hosts files), and the path must be direct over IPv6;
# another gives the lobby's name both families but the players no IPv6, and
# they must play over IPv4 as ever.
# Two cases run the lobby as two processes over one Redis (a redis-server of
# the public namespace's own, its loopback only): the host asks process A
# (port 41415), its friend process B (port 41416), behind NATs that keep
# ports (direct) and that pick new ones (relayed, by A); skipped without
# redis-server.
# Prints the path and the time from the join to the first frame per case.
# Needs root, ip, iptables and ip6tables: without them it says so and skips (77).
set -u
sim=$1 lobby=$2 frames=${3:-3000}
tag="b$$"  # interface names stay within 15 characters
tmp=$(mktemp -d)
pids=()
# The helpers: newns, veth, public, plug, router, behind, dual, lobby_name.
. "${BASH_SOURCE%/*}/sim_netns.sh"
trap netns_cleanup EXIT
netns_require "NAT matrix"

# One case: the namespaces, the lobby, the two simulators; the verdict in
# $tmp/$name.result.
play() {
  local name=$1 layout=$2 want=$3 label=$4 store=""
  local p="${tag}${name}p" a="${tag}${name}a" b="${tag}${name}b"
  case $layout in *+store) store=yes; layout=${layout%+store} ;; esac
  if [ -n "$store" ] && ! command -v redis-server >/dev/null; then
    echo "$label: skipped, no redis-server; ok" >"$tmp/$name.result"
    return
  fi
  public "$p"
  case $layout in
    none) newns "$a"; plug "$a" eth0 "${a}u" 198.51.100.10 "$p"
          newns "$b"; plug "$b" eth0 "${b}u" 198.51.100.11 "$p" ;;
    dual|v4only) ;;
    same) router "${p}r" 198.51.100.2 keep 1 "$p"; behind "$a" "${p}r" 1 2; behind "$b" "${p}r" 1 3 ;;
    *)    router "${p}x" 198.51.100.2 "${layout%/*}" 1 "$p"; behind "$a" "${p}x" 1 2
          router "${p}y" 198.51.100.3 "${layout#*/}" 2 "$p"; behind "$b" "${p}y" 2 2 ;;
  esac
  local lobbyAt=198.51.100.1
  if [ "$layout" = v4only ]; then
    router "${p}x" 198.51.100.2 keep 1 "$p"; behind "$a" "${p}x" 1 2
    router "${p}y" 198.51.100.3 keep 2 "$p"; behind "$b" "${p}y" 2 2
    inns "$p" ip addr add 2001:db8:100::1/64 dev br0 nodad
    lobby_name "$a"; lobby_name "$b"
    lobbyAt=lobby.test
  fi
  if [ "$layout" = dual ]; then
    router "${p}x" 198.51.100.2 random 1 "$p"; behind "$a" "${p}x" 1 2
    router "${p}y" 198.51.100.3 random 2 "$p"; behind "$b" "${p}y" 2 2
    inns "$p" ip addr add 2001:db8:100::1/64 dev br0 nodad
    dual "${p}x" 2 1 "$a" 3 2 "$p"
    dual "${p}y" 3 2 "$b" 2 1 "$p"
    lobby_name "$a"; lobby_name "$b"
    lobbyAt=lobby.test
  fi
  local out="$tmp/$name" joinAt=$lobbyAt
  if [ -n "$store" ]; then
    inns "$p" timeout 120 redis-server --port 6379 --bind 127.0.0.1 --save "" --appendonly no >"$out.redis" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do inns "$p" redis-cli -p 6379 ping >/dev/null 2>&1 && break; sleep 0.1; done
    inns "$p" timeout 120 "$lobby" --port 41416 --seconds 100 --store redis://127.0.0.1:6379 \
      --public 198.51.100.1:41416 >"$out.lobby2" 2>&1 &
    pids+=($!)
    joinAt=198.51.100.1:41416
  fi
  inns "$p" timeout 120 "$lobby" --port 41415 --seconds 100 ${store:+--store redis://127.0.0.1:6379} \
    ${store:+--public 198.51.100.1:41415} >"$out.lobby" 2>&1 &
  pids+=($!)
  sleep 0.3
  [ -z "$store" ] || sleep 0.5  # both processes have the store's keys
  inns "$a" timeout 100 "$sim" --lobby "$lobbyAt" --host-invite --random 8 --frames "$frames" \
     >"$out.host" 2>"$out.host.err" &
  local host=$!
  pids+=($host)
  for _ in $(seq 100); do grep -q '^invite code: ' "$out.host.err" && break; sleep 0.05; done
  local code
  code=$(sed -n 's/^invite code: //p' "$out.host.err")
  inns "$b" timeout 100 "$sim" --lobby "$joinAt" --join-invite "$code" --random 8 --frames "$frames" \
     >"$out.join" 2>"$out.join.err"
  local joinStatus=$?
  wait $host
  local hostStatus=$?
  local path took verdict=ok
  path=$(sed -n 's/^path: //p' "$out.join.err")
  took=$(sed -n 's/.*first frame after \([0-9]*\) ms.*/\1/p' "$out.join.err")
  if [ $hostStatus -ne 0 ] || [ $joinStatus -ne 0 ]; then
    verdict="status host $hostStatus, joiner $joinStatus"
  elif ! cmp -s "$out.host" "$tmp/local" || ! cmp -s "$out.join" "$tmp/local"; then
    verdict="the wells differ from the local run's"
  elif [ "$path" != "$want" ] || ! grep -qx "path: $want" "$out.host.err"; then
    verdict="path $path, not $want"
  fi
  echo "$label: path ${path:-none}, first frame ${took:-?} ms after the join; $verdict" >"$out.result"
  if [ "$verdict" != ok ]; then
    cat "$out.host.err" "$out.join.err" "$out.lobby" >>"$out.result"
    [ -z "$store" ] || cat "$out.lobby2" >>"$out.result"
  fi
}

"$sim" --seed 1000 --random 8 --frames "$frames" >"$tmp/local"  # nobody out in 3,000 frames: no restart
cases=("n none direct-over-IPv4 no-NAT" "k keep/keep direct-over-IPv4 both-port-keeping"
       "r1 random/keep relayed-over-IPv4 one-new-port-per-destination"
       "r2 random/random relayed-over-IPv4 both-new-port-per-destination"
       "s same direct-over-IPv4 both-behind-one-NAT"
       "d6 dual direct-over-IPv6 new-port-per-destination-and-IPv6-firewall"
       "v4 v4only direct-over-IPv4 a-lobby-of-both-families-and-players-without-IPv6"
       "ks keep/keep+store direct-over-IPv4 both-port-keeping,-host-at-process-A,-friend-at-B"
       "rs random/random+store relayed-over-IPv4 both-new-port-per-destination,-host-at-A,-friend-at-B")
# The cases share nothing, so they play at once.
for c in "${cases[@]}"; do
  set -- $c
  play "$1" "$2" "${3//-/ }" "$4" &
  pids+=($!)
done
wait
fail=0
for c in "${cases[@]}"; do
  set -- $c
  if [ -f "$tmp/$1.result" ]; then
    head -n 1 "$tmp/$1.result" | sed 's/^/NAT matrix: /'
    grep -q '; ok$' "$tmp/$1.result" || { tail -n +2 "$tmp/$1.result"; fail=1; }
  else
    echo "NAT matrix: $4: no result"; fail=1
  fi
done
exit $fail
