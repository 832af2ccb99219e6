#!/usr/bin/env bash
# A dropped path does not end the match: two simulators play FRAMES frames
# in network namespaces this script makes and removes (sim_netns.sh: a
# "public" bridge with the lobby, MASQUERADE routers), and mid-match each
# case breaks the path its own way:
#   - all forwarding on the joiner's router dropped for 2, 10 and 25 s, then
#     restored: by address (the host on the public segment, the joiner
#     behind a NAT) and by invite code (both behind port-keeping NATs: the
#     path is direct);
#   - the joiner's NAT (--random-fully) forgets its mapping (conntrack -F):
#     its next datagram leaves from a new port, which the host must follow;
#   - the joiner, on the public segment, changes its address;
#   - an invite match's direct path cut for good (the lobby still reached):
#     both sides must move to the lobby's relay within 5 s of the cut;
#   - a cut of 40 s: both sides must end, the other player's program having
#     stopped answering, with status 3;
#   - a stranger on the public segment resends datagrams the joiner sent to
#     the host (captured on the joiner's router) from its own address: the
#     host must not move.
# But for the 40 s cut, both sides must end with status 0 and the wells of a
# local run: the match a local run of two level-5 computers plays, as a
# script (one player out, the other on: no restart), so that every frame of
# the network match is known. Prints each case's statuses and figures: the
# silence and the time from the path's return to the next frame (the
# simulators' resume lines), the relay's time after the cut, the stranger's
# datagrams and the host's count of those it dropped unproven.
# Needs root, ip, iptables, conntrack and python3: without them it says so
# and skips (77).
set -u
sim=$1 lobby=$2 frames=${3:-6000}
tag="d$$"  # interface names stay within 15 characters
tmp=$(mktemp -d)
pids=()
. "${BASH_SOURCE%/*}/sim_netns.sh"
trap netns_cleanup EXIT
netns_require "The dropped-path test"
command -v conntrack >/dev/null && command -v python3 >/dev/null ||
  skip "it needs conntrack and python3 (tools/setup.sh installs them)"

lead=10      # seconds of play before the path breaks
limit=170    # no simulator runs longer than this
nowms() { date +%s%3N; }

# Waits up to $3 seconds for a line matching $2 in file $1.
await() {
  local i
  for i in $(seq $(($3 * 20))); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.05; done
  return 1
}

# The stranger's tools (python3 stranger.py): "capture IFACE ADDRESS PORT COUNT FILE" keeps the
# payloads of COUNT UDP datagrams sent to ADDRESS:PORT that pass IFACE (5 s
# at most), one hex line each; "resend ADDRESS PORT SECONDS FILE" sends them
# all to ADDRESS:PORT every 20 ms for SECONDS and prints how many it sent.
cat >"$tmp/stranger.py" <<'EOF'
import socket, sys, time
if sys.argv[1] == "capture":
    iface, address, port, count, out = sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
    # All protocols: only such a socket sees what the interface sends.
    s = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
    s.bind((iface, 0))
    s.settimeout(1)
    kept, end = [], time.time() + 5
    while len(kept) < count and time.time() < end:
        try:
            frame = s.recv(65535)
        except socket.timeout:
            continue
        ip = frame[14:]
        udp = ip[(ip[0] & 15) * 4:]
        if (frame[12:14] == b"\x08\x00" and ip[9] == 17 and socket.inet_ntoa(ip[16:20]) == address
                and int.from_bytes(udp[2:4], "big") == port):
            kept.append(udp[8:].hex())
    with open(out, "w") as f:
        f.write("".join(k + "\n" for k in kept))
else:
    address, port, seconds, source = sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), sys.argv[5]
    payloads = [bytes.fromhex(line) for line in open(source).read().split()]
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sent, end = 0, time.time() + seconds
    while payloads and time.time() < end:
        for p in payloads:
            s.sendto(p, (address, port))
            sent += 1
        time.sleep(0.02)
    print(sent)
EOF

# The figures of a side's resume line after its longest silence: "S R".
resumed() {
  sed -n 's/.*answers again after \([0-9]*\) ms of silence; the next frame ran \([0-9]*\) ms later$/\1 \2/p' "$1" |
    sort -n | tail -n 1
}

# One case: its namespaces, the two simulators, the break at $lead s; the
# verdict in $tmp/$name.result. Layouts: "address" (the host on the public
# segment at .10, the joiner behind a port-keeping NAT), "random" (the same
# behind --random-fully), "public" (the joiner on the segment at .11),
# "invite" (both behind port-keeping NATs, the lobby at .1).
play() {
  local name=$1 layout=$2 event=$3 label=$4
  local p="${tag}${name}p" a="${tag}${name}a" b="${tag}${name}b" s="${tag}${name}s"
  local x="${p}x" y="${p}y" out="$tmp/$name"
  public "$p"
  case $layout in
    invite) router "$x" 198.51.100.2 keep 1 "$p"; behind "$a" "$x" 1 2 ;;
    *) newns "$a"; plug "$a" eth0 "${a}u" 198.51.100.10 "$p" ;;
  esac
  case $layout in
    public) newns "$b"; plug "$b" eth0 "${b}u" 198.51.100.11 "$p"
            # The old address's removal keeps the new one, added beside it.
            inns "$b" sysctl -qw net.ipv4.conf.eth0.promote_secondaries=1 ;;
    random) router "$y" 198.51.100.3 random 2 "$p"; behind "$b" "$y" 2 2 ;;
    *) router "$y" 198.51.100.3 keep 2 "$p"; behind "$b" "$y" 2 2 ;;
  esac
  [ "$event" = stranger ] && { newns "$s"; plug "$s" eth0 "${s}u" 198.51.100.20 "$p"; }

  local script="$tmp/match.script" port="" join=() seen=() figure="" lobbyPid=""
  if [ "$layout" = invite ]; then
    inns "$p" timeout $((limit + 10)) "$lobby" --port 41415 --seconds "$limit" >"$out.lobby" 2>&1 &
    lobbyPid=$!
    sleep 0.3
    inns "$a" timeout $limit "$sim" --lobby 198.51.100.1 --host-invite --script "$script" --frames "$frames" \
       >"$out.host" 2>"$out.host.err" &
    local host=$!
    await "$out.host.err" '^invite code: ' 5
    join=(--lobby 198.51.100.1 --join-invite "$(sed -n 's/^invite code: //p' "$out.host.err")")
  else
    inns "$a" timeout $limit "$sim" --host 0 --script "$script" --frames "$frames" >"$out.host" 2>"$out.host.err" &
    local host=$!
    await "$out.host.err" '^hosting on UDP port ' 5
    port=$(sed -n 's/^hosting on UDP port //p' "$out.host.err")
    join=(--join "198.51.100.10:$port")
  fi
  inns "$b" timeout $limit "$sim" "${join[@]}" --script "$script" --frames "$frames" >"$out.join" 2>"$out.join.err" &
  local joiner=$!
  local began
  began=$(nowms)
  if [ "$event" = stranger ]; then
    # A few of the joiner's datagrams as they leave its router for the host.
    sleep 3
    inns "$y" python3 "$tmp/stranger.py" capture wan 198.51.100.10 "$port" 8 "$out.caught"
  fi
  sleep "$(awk -v b="$began" -v n="$(nowms)" -v l=$lead 'BEGIN { w = l - (n - b) / 1000; print (w > 0 ? w : 0) }')"

  local cut restore=""
  cut=$(nowms)
  case $event in
    cut40)
      inns "$y" iptables -I FORWARD -j DROP
      (sleep 40; inns "$y" iptables -D FORWARD -j DROP) &
      restore=$! ;;
    cut*)
      inns "$y" iptables -I FORWARD -j DROP
      sleep "${event#cut}"
      inns "$y" iptables -D FORWARD -j DROP
      # The resume lines by this script's clock, from the path's return.
      local back side
      back=$(nowms)
      for side in host join; do
        if await "$out.$side.err" 'answers again after' 10; then seen+=($(($(nowms) - back))); else seen+=(none); fi
      done ;;
    flush) inns "$y" conntrack -F 2>/dev/null ;;
    move) inns "$b" ip addr add 198.51.100.12/24 dev eth0
          inns "$b" ip addr del 198.51.100.11/24 dev eth0 ;;
    relay)
      # Only between the routers' public addresses: the lobby still answers.
      inns "$y" iptables -I FORWARD -s 198.51.100.2 -j DROP
      inns "$y" iptables -I FORWARD -d 198.51.100.2 -j DROP
      local side
      for side in host join; do
        if await "$out.$side.err" 'the direct path fell silent: relayed over' 10; then
          seen+=($(($(nowms) - cut)))
        else
          seen+=(none)
        fi
      done ;;
    stranger)
      local sent
      sent=$(inns "$s" python3 "$tmp/stranger.py" resend 198.51.100.10 "$port" 4 "$out.caught") ;;
  esac

  wait $joiner
  local joinStatus=$? ended
  ended=$(nowms)
  wait $host
  local hostStatus=$?
  [ -n "$restore" ] && wait "$restore"
  [ -n "$lobbyPid" ] && kill "$lobbyPid" 2>/dev/null
  local want=0 verdict=ok
  [ "$event" = cut40 ] && want=3
  local h j
  h=$(resumed "$out.host.err") j=$(resumed "$out.join.err")
  if [ $hostStatus -ne $want ] || [ $joinStatus -ne $want ]; then
    verdict="status not $want"
  elif [ $want -eq 3 ]; then
    grep -q "stopped answering" "$out.host.err" && grep -q "stopped answering" "$out.join.err" ||
      verdict="not ended for the other player's silence"
  elif ! cmp -s "$out.host" "$tmp/local" || ! cmp -s "$out.join" "$tmp/local"; then
    verdict="the wells differ from the local run's"
  fi
  case $event in
    cut40) figure="; the joiner ended $((ended - cut)) ms after the cut" ;;
    cut*)
      figure="; silence ${h%% *}/${j%% *} ms, next frame ${h##* }/${j##* } ms after the first datagram back"
      figure+=", resume line ${seen[0]}/${seen[1]} ms after the path's return"
      [ "$layout" = invite ] && grep -q 'fell silent' "$out.host.err" "$out.join.err" && figure+=", relayed since"
      [ -n "$h" ] && [ -n "$j" ] || [ "$verdict" != ok ] || verdict="no resume line on both sides" ;;
    flush|move)
      local to
      to=$(sed -n 's/.*the other player moved to //p' "$out.host.err" | tail -n 1)
      figure="; the host followed the joiner to ${to:-nowhere}"
      local from=198.51.100.3:
      [ "$event" = move ] && from=198.51.100.12:
      case $to in "$from"*) ;; *) [ "$verdict" != ok ] || verdict="the host did not follow the joiner" ;; esac ;;
    relay)
      local said
      said=$(sed -n 's/.*the direct path fell silent: relayed over .* after \([0-9]*\) ms$/\1/p' \
               "$out.host.err" "$out.join.err" | paste -sd /)
      figure="; relayed ${seen[0]}/${seen[1]} ms after the cut (${said:-?} ms after the last direct datagram)"
      local t
      for t in "${seen[@]}"; do
        { [ "$t" != none ] && [ "$t" -le 5000 ]; } || [ "$verdict" != ok ] || verdict="not relayed within 5 s"
      done ;;
    stranger)
      local unproven
      unproven=$(sed -n 's/.*dropped for unproven: //p' "$out.host.err")
      figure="; the stranger resent $(wc -l <"$out.caught") of the joiner's datagrams $sent times, dropped unproven ${unproven:-0}"
      if grep -q "moved to" "$out.host.err"; then
        [ "$verdict" != ok ] || verdict="the host moved"
      elif [ ! -s "$out.caught" ] || [ "${sent:-0}" -eq 0 ]; then
        [ "$verdict" != ok ] || verdict="nothing captured or sent"
      fi ;;
  esac
  echo "$label: host $hostStatus, joiner $joinStatus$figure; $verdict" >"$out.result"
  if [ "$verdict" != ok ]; then
    cat "$out.host.err" "$out.join.err" >>"$out.result"
    [ -f "$out.lobby" ] && cat "$out.lobby" >>"$out.result"
  fi
}

# The match: two level-5 computers' local run, its frames as a script.
"$sim" --seed 1000 --computer both --frames "$frames" --record "$tmp/computers.rec" >"$tmp/local"
awk '$1 == "frames" { a = $3; b = $4
       if (a == "" || a == "out") a = "none"; if (b == "" || b == "out") b = "none"; print $2, a, b }' \
  "$tmp/computers.rec" >"$tmp/match.script"
"$sim" --seed 1000 --script "$tmp/match.script" --frames "$frames" | cmp -s - "$tmp/local" ||
  { echo "FAIL: the computers' match played from its script differs"; exit 1; }

cases=("a2 address cut2 cut-2-s-by-address" "a10 address cut10 cut-10-s-by-address"
       "a25 address cut25 cut-25-s-by-address" "i2 invite cut2 cut-2-s-by-invite"
       "i10 invite cut10 cut-10-s-by-invite" "i25 invite cut25 cut-25-s-by-invite"
       "f random flush the-joiner's-NAT-mapping-flushed" "m public move the-joiner-moved-to-another-address"
       "r invite relay the-direct-path-cut-for-good" "x address cut40 cut-40-s"
       "s address stranger a-stranger-resending-the-joiner's-datagrams")
# The cases share nothing, so they play at once.
for c in "${cases[@]}"; do
  set -- $c
  play "$1" "$2" "$3" "${4//-/ }" &
  pids+=($!)
done
wait
fail=0
for c in "${cases[@]}"; do
  set -- $c
  if [ -f "$tmp/$1.result" ]; then
    head -n 1 "$tmp/$1.result" | sed 's/^/dropped path: /'
    grep -q '; ok$' "$tmp/$1.result" || { tail -n +2 "$tmp/$1.result"; fail=1; }
  else
    echo "dropped path: ${4//-/ }: no result"; fail=1
  fi
done
exit $fail
