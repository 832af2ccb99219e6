# The network test's cut (sourced by network_e2e.sh after e2e_lib.sh, and
# using the script's own helpers and desks): the joiner's path through
# udp_cut.py, and the cut of that path in the middle of a match.

# Starts the forwarder to the host's $port, which cuts for $cut s at SIGUSR1;
# sets fpid and fport, the port the joiner joins.
start_forwarder() {
  python3 "$(dirname "${BASH_SOURCE[0]}")/udp_cut.py" "$port" --cut $cut --seconds 240 >"$work/cut.out" 2>&1 &
  fpid=$!; fport=""
  for _ in $(seq 1 50); do fport=$(awk '$1 == "port" { print $2 }' "$work/cut.out"); [ -n "$fport" ] && break; sleep 0.1; done
  [ -n "$fport" ] || fail "no forwarder: $(cat "$work/cut.out")"
}

# The title while a match waits on a silent peer.
countdown='^BlockTide - waiting for the other player \(([0-9]+) s\)$'
# Each desk's wells, from screen grabs $1-a.png and $1-b.png, into frozen_$1_$d.
grab_wells() {
  local d
  on_a; import -window root "$work/$1-a.png" & shot_a=$!
  on_b; import -window root "$work/$1-b.png" & shot_b=$!
  wait $shot_a $shot_b
  for d in a b; do
    eval "ox=\$ox_$d; oy=\$oy_$d; frozen_$1_$d=\$(cells $1-$d \"\$WELL0\")\$(cells $1-$d \"\$WELL1\")"
  done
}
# One look at desk $1's title at $2 ms into the cut, against what the
# countdown so far (seen_$1: its first ms, left_$1: the last N, back_$1: the
# ms it was connected again) allows.
look_at_title() {
  local d=$1 t=$2 title n seen left
  title=$(title_of "$d" "$(eval echo \$wid_$d)")
  eval "seen=\$seen_$d; left=\$left_$d"
  if [[ $title =~ $countdown ]]; then
    n=${BASH_REMATCH[1]}
    [ "$t" -ge 900 ] || fail "desk $d: '$title' after only $t ms of silence"
    [ "$t" -le $((cut * 1000 + 3000)) ] || fail "desk $d: '$title' 3 s after the path returned"
    # 30 s less the silence so far, give or take the look's own lateness.
    [ $((2 * (n * 1000 + t))) -ge 57000 ] && [ $((2 * (n * 1000 + t))) -le 63000 ] ||
      fail "desk $d: '$title' after $t ms of silence"
    [ -z "$left" ] || [ "$n" -le "$left" ] || fail "desk $d: the countdown went up from $left to $n s at $t ms"
    [ -n "$seen" ] || eval "seen_$d=$t; first_$d=$n"
    eval "left_$d=$n"
  elif [[ $title == "BlockTide - connected to 127.0.0.1 (delay "* ]]; then
    [ -z "$seen" ] && [ "$t" -ge 2500 ] && fail "desk $d: no countdown after $t ms of silence: '$title'"
    [ -n "$seen" ] && [ "$t" -lt $((cut * 1000 - 100)) ] && fail "desk $d: '$title' at $t ms, within the cut"
    [ -n "$seen" ] && eval "back_$d=$t"
  else
    fail "desk $d at $t ms into the cut: '$title'; $(cat "$work/host.err" "$work/join.err")"
  fi
  return 0
}

# The forwarder drops everything both ways for $cut s in the match between
# wid_a (the host) and wid_b. Both games stand still (keys held meanwhile
# move nothing: each desk's wells are the same 2 s and 8.5 s into the cut);
# from 1 s of silence each title says "waiting for the other player (N s)",
# N the seconds left of 30, never going up nor back to "connected" until the
# path returns; both keep sending into the cut, and both are connected again
# soon after it. Sets paused: the ms from the cut until both were.
cut_match() {
  local t d c1 c2 cut_at grabs held
  seen_a=""; seen_b=""; first_a=""; first_b=""; left_a=""; left_b=""; back_a=""; back_b=""
  kill -USR1 "$fpid"; cut_at=$(date +%s%N); grabs=0; held=0
  while [ -z "$back_a" ] || [ -z "$back_b" ]; do
    t=$((($(date +%s%N) - cut_at) / 1000000))
    [ "$t" -le $((cut * 1000 + 5000)) ] || fail "not connected again 5 s after the cut: '$(title_of a "$wid_a")', '$(title_of b "$wid_b")'"
    for d in a b; do eval "[ -n \"\$back_$d\" ]" || look_at_title $d $t; done
    if [ $grabs -eq 0 ] && [ "$t" -ge 2000 ]; then grab_wells cut1; grabs=1; fi
    if [ $grabs -eq 1 ] && [ "$t" -ge 8500 ]; then grab_wells cut2; grabs=2; fi
    if [ "$t" -lt $((cut * 1000 - 500)) ] && [ $((t / 500)) -gt $held ]; then
      held=$((t / 500))
      on_a; hold "${keys[RANDOM % ${#keys[@]}]}" 0.04; on_b; hold "${keys[RANDOM % ${#keys[@]}]}" 0.04
    fi
    sleep 0.05
  done
  [ $grabs -eq 2 ] || fail "the cut's screens were not grabbed"
  for d in a b; do
    eval "c1=\$frozen_cut1_$d; c2=\$frozen_cut2_$d"
    [ "$(differing "$c1" "$c2")" -eq 0 ] || fail "desk $d: the wells moved during the cut: $(differing "$c1" "$c2") cells"
  done
  for _ in $(seq 1 20); do grep -q "^forwarding again" "$work/cut.out" && break; sleep 0.05; done
  grep -q "^forwarding again" "$work/cut.out" || fail "the forwarder: $(cat "$work/cut.out")"
  [[ $(grep "^forwarding again" "$work/cut.out") =~ dropped\ ([0-9]+)\ from\ the\ joiner,\ ([0-9]+)\ from ]] &&
    [ "${BASH_REMATCH[1]}" -gt 0 ] && [ "${BASH_REMATCH[2]}" -gt 0 ] ||
    fail "a side sent nothing into the cut: $(grep "^forwarding again" "$work/cut.out")"
  ! grep -q "network match ended" "$work/host.err" "$work/join.err" || fail "ended by the cut: $(cat "$work/host.err" "$work/join.err")"
  echo "a ${cut} s cut: the countdown from $seen_a ms on the host ($first_a s to $left_a s), $seen_b ms on the joiner" \
    "($first_b s to $left_b s); connected again $((back_a - cut * 1000)) and $((back_b - cut * 1000)) ms after the path returned;" \
    "$(grep -o 'dropped.*' "$work/cut.out")"
  paused=$((back_a > back_b ? back_a : back_b))
}
