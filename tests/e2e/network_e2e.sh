#!/usr/bin/env bash
# End to end: a network match between two windows, each on a desk of its own
# (a virtual display and a Wine prefix with its own Wine server), over
# loopback. The host waits; the joiner joins and presses Start; keys are
# held on both desks; screen grabs of both desks, both games frozen at once,
# show the wells equal cell for cell; the joiner's path, through a forwarder
# (udp_cut.py), is cut for 10 s: both games stand still, both titles count
# down the 30 s they wait, and the match goes on, the wells equal again; a
# second joiner is refused without disturbing the match; Stop on
# the host brings the title to both; a Config capture on the joiner that no
# key ends outlasts the 5 s the host waits, yet both stay connected; both recordings hold the same digests
# and one replays in the simulator and in the window; closing the joiner
# tells the host at once; a killed joiner's host counts down its wait, and
# Leave in the system menu ends it at once; a join to the
# closed host gives up with a message; a match joined by [::1]:PORT agrees
# as the first over IPv6; an invite-code match through a lobby,
# hosted and joined through the system menu, agrees as the first.
#   network_e2e.sh GAME_EXE BUILD_DIR NATIVE_SIM [SECONDS [DIALOG_PROBE [LOBBY]]]
# The first desk is the build's (tools/wine-env.sh); the script starts and
# stops the second: display BLOCKTIDE_SECOND_DISPLAY (default :98), prefix
# BUILD_DIR/wineprefix-desk2. UDP port BLOCKTIDE_NET_PORT (default 43414),
# on 127.0.0.1 and ::1 only, and the native lobby (beside NATIVE_SIM) on that port + 50; the
# forwarder's port is the system's pick. It prints the figures it measures (CPU, frame rate, the
# time the host takes to see the joiner go, the countdown's start and the
# time back after the cut); none of them is asserted.
set -u
game=${1:?game exe}; build=$(cd "${2:?build dir}" && pwd); sim=${3:?native simulator}; seconds=${4:-12}
probe=${5:-$build/tests/e2e/e2e_dialog_probe.exe}
lobby=${6:-$(dirname "$sim")/../lobby/blocktide-lobby}
. "$(dirname "$0")/e2e_lib.sh"
. "$(dirname "$0")/network_cut.sh"
use_build_environment "$build"
e2e_begin "$build" network
port=${BLOCKTIDE_NET_PORT:-43414}
hpid=""; jpid=""; extra=""; fpid=""
cleanup() {
  for p in $hpid $jpid $extra $fpid; do kill "$p" 2>/dev/null; done
  stop_second_desk
  rm -rf "$work"
}
trap cleanup EXIT
[ -x "$sim" ] || fail "no native simulator at $sim: build the native preset first"
start_second_desk "${BLOCKTIDE_SECOND_DISPLAY:-:98}" "$build/wineprefix-desk2" "$work" ||
  fail "no second desk: set BLOCKTIDE_SECOND_DISPLAY"
for desk in a b; do on_$desk; wine reg delete "$VENDOR_KEY" /f >/dev/null 2>&1; done

# Sets wid/ox/oy on the current desk for a title pattern.
window_on() { on_$1; find_game_window "$2" || fail "desk $1: no window titled $2"; }
click() { xdotool mousemove $((ox + $1)) $((oy + $2)) click 1; }
title_of() { on_$1; xdotool getwindowname "$2" 2>/dev/null; }
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d", s }'; }
# A well's cells from a screenshot ("left top width height"), 200 characters:
# . white, o a block.
cells() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage -sample '10x20!' txt:- |
    awk -F'[ ,:]+' 'NR > 1 { printf "%s", ($0 ~ /#FFFFFF/) ? "." : "o" }'
}
# A join on desk b that cannot begin: waits up to SECONDS for its message,
# which must say WHY; the window stays as $extra.
join_refused() {
  local name=$1 seconds=$2 why=$3 what=$4
  on_b
  wine "$game" --join "127.0.0.1:$port" --unattended 2>"$work/$name.err" &
  extra=$!
  for _ in $(seq 1 $((seconds * 10))); do grep -qF "$why" "$work/$name.err" && break; sleep 0.1; done
  grep -q "^blocktide: The network match could not begin: $why\\." "$work/$name.err" ||
    fail "$what: $(cat "$work/$name.err")"
}
differing() { awk -v a="$1" -v b="$2" 'BEGIN { n = 0; for (i = 1; i <= length(a); i++) n += substr(a, i, 1) != substr(b, i, 1); print n }'; }
# Random keys held on both desks for $1 seconds.
keys=(a d s q w f)
play_keys() {
  local end=$((SECONDS + $1))
  while [ $SECONDS -lt $end ]; do
    on_a; hold "${keys[RANDOM % ${#keys[@]}]}" "0.0$((3 + RANDOM % 7))"
    on_b; hold "${keys[RANDOM % ${#keys[@]}]}" "0.0$((3 + RANDOM % 7))"
    sleep "0.$((RANDOM % 3))"
  done
}
# Both games frozen at once (SIGSTOP), both desks grabbed, both thawed (as
# $1-a.png, $1-b.png): the wells must be equal cell for cell. Frozen, the two
# stand at most the delay's few frames apart, and with no key held only a
# gravity tick in those frames moves a piece on one desk alone; such a pair
# is grabbed again (at most 5 pairs, 0.3 s apart). A real difference stays.
wells_agree() {
  local try n p ca cb
  for try in 1 2 3 4 5; do
    kill -STOP "$hpid" "$jpid"
    on_a; import -window root "$work/$1-a.png" & shot_a=$!
    on_b; import -window root "$work/$1-b.png" & shot_b=$!
    wait $shot_a $shot_b
    kill -CONT "$hpid" "$jpid"
    n=0
    for p in 0 1; do
      ox=$ox_a; oy=$oy_a; ca[p]=$(cells "$1-a" "${WELL[p]}")
      ox=$ox_b; oy=$oy_b; cb[p]=$(cells "$1-b" "${WELL[p]}")
      [ "$(tr -cd o <<<"${ca[p]}" | wc -c)" -gt 0 ] || fail "$1: well $p is empty on the host's screen"
      n=$((n + $(differing "${ca[p]}" "${cb[p]}")))
    done
    [ "$n" -eq 0 ] && { echo "$1: both wells equal cell for cell on the two screens (pair $try)"; return 0; }
    echo "$1: pair $try: $n cells differ, grabbed again"
    sleep 0.3
  done
  fail "$1: the wells differ between the desks in 5 pairs of screens: $n cells in the last"
}
# The two recordings $1.rec and $2.rec hold the same digests, at least $3.
same_digests() {
  grep '^digest' "$work/$1.rec" >"$work/$1.digests"
  grep '^digest' "$work/$2.rec" >"$work/$2.digests"
  [ "$(wc -l <"$work/$1.digests")" -ge "$3" ] || fail "$(wc -l <"$work/$1.digests") digests in $1.rec"
  cmp -s "$work/$1.digests" "$work/$2.digests" ||
    fail "$1 and $2: the digests differ: $(diff "$work/$1.digests" "$work/$2.digests" | head -n 4)"
}

# 1. The host waits, the joiner joins through the forwarder: both titles say so.
cut=10
start_forwarder
on_a
wine "$game" --host "$port" --record "$work/host.rec" --unattended 2>"$work/host.err" &
hpid=$!; gpid=$hpid
window_on a "^BlockTide - waiting for a player on port $port\$"; wid_a=$wid; ox_a=$ox; oy_a=$oy
on_b
wine "$game" --join "127.0.0.1:$fport" --record "$work/join.rec" --unattended 2>"$work/join.err" &
jpid=$!
window_on b '^BlockTide - connected to 127\.0\.0\.1 \(delay [0-9]+ frames\)$'; wid_b=$wid; ox_b=$ox; oy_b=$oy
on_a
for _ in $(seq 1 50); do title_of a "$wid_a" | grep -q '^BlockTide - connected to 127\.0\.0\.1 (delay' && break; sleep 0.1; done
title=$(title_of a "$wid_a")
[[ $title =~ ^BlockTide\ -\ connected\ to\ 127\.0\.0\.1\ \(delay\ ([0-9]+)\ frames\)$ ]] || fail "host's title: $title"
delay=${BASH_REMATCH[1]}
echo "connected, input delay $delay frames"

# 2. A second joiner is refused and says why; the match goes on.
join_refused second 10 'a match is already being played' "second joiner"
kill "$extra"; wait "$extra" 2>/dev/null; extra=""

# 3. Start on the joiner; keys held on both desks for the match.
ox=$ox_b; oy=$oy_b; on_b; xdotool windowfocus --sync "$wid_b"; click $START; started=$(date +%s%N)
on_a; xdotool windowfocus --sync "$wid_a"
sleep 0.5
cpu_a=$(cpu_ns $hpid); cpu_b=$(cpu_ns $jpid); begin=$(date +%s%N)
RANDOM=21
play_keys "$seconds"
elapsed=$((($(date +%s%N) - begin) / 1000000))
cpu_a=$(($(cpu_ns $hpid) - cpu_a)); cpu_b=$(($(cpu_ns $jpid) - cpu_b))
awk -v a=$cpu_a -v b=$cpu_b -v t=$elapsed 'BEGIN { printf "CPU during %.1f s of play: host %.2f %%, joiner %.2f %% of a core\n", t / 1000, a / 1e4 / t, b / 1e4 / t }'

# 4. Both desks grabbed at once: the wells equal cell for cell.
wells_agree ipv4

# 4b. The joiner's path cut for $cut s (network_cut.sh): both wait, counting
#     down, and the match goes on, the wells equal again.
cut_match
play_keys 4
wells_agree after-cut

# 5. Stop on the host: both wells of both desks show the title.
ox=$ox_a; oy=$oy_a; on_a; click $STOP; stopped=$(date +%s%N)
sleep 0.5
red() {
  local name=$1; set -- $2
  convert "$work/$name.png" -crop "$3x$4+$((ox + $1))+$((oy + $2))" +repage -fill black +opaque '#FF0000' \
    -fill white -opaque '#FF0000' -format '%[fx:round(mean*w*h)]' info:
}
on_a; import -window root "$work/a-stop.png"; on_b; import -window root "$work/b-stop.png"
for d in a b; do
  eval "ox=\$ox_$d; oy=\$oy_$d"
  for p in 0 1; do [ "$(red $d-stop "${WELL[p]}")" -gt 100 ] || fail "desk $d, well $p: no title after Stop"; done
done

# 5b. Between matches the joiner opens Config and clicks a field: the key
#     capture waits longer than the host's 5 s of patience, and neither side
#     may lose the other meanwhile. Escape then cancels the dialog.
[ -f "$probe" ] || fail "no dialog probe at $probe"
ox=$ox_b; oy=$oy_b; on_b; xdotool windowfocus --sync "$wid_b"
open_config1 1001
set -- $dialog_control
xdotool mousemove "$1" "$2" click 1
sleep 7
for d in a b; do
  eval "t=\$(title_of $d \$wid_$d)"
  [[ $t == "BlockTide - connected to 127.0.0.1"* ]] || fail "desk $d after a 7 s capture on the joiner: title '$t'"
done
on_b; xdotool key Escape
dialog_closed "Escape after the capture" 1001
echo "a 7 s Config capture on the joiner: both still connected"

# 6. Closing the joiner: the host's title is "BlockTide" again and it says why.
# Waits (up to 10 s) for the host's title to be "BlockTide" and its message
# to say `why`; prints the time since $gone.
host_told() {
  on_a
  for _ in $(seq 1 200); do
    grep -q "$1" "$work/host.err" && [ "$(title_of a "$wid_a")" = BlockTide ] && break
    sleep 0.05
  done
  [ "$(title_of a "$wid_a")" = BlockTide ] || fail "host's title after the joiner went: $(title_of a "$wid_a")"
  grep -q "^blocktide: The network match ended: $1\\." "$work/host.err" || fail "host's message: $(cat "$work/host.err")"
  echo "$2: the host's title and message after $((($(date +%s%N) - gone) / 1000000)) ms"
}
on_b; xdotool windowfocus --sync "$wid_b"
xdotool keydown alt; sleep 0.1; xdotool keydown F4; gone=$(date +%s%N); sleep 0.1; xdotool keyup F4; xdotool keyup alt
host_told 'the other player left the network match' "joiner closed"
for _ in $(seq 1 100); do kill -0 "$jpid" 2>/dev/null || break; sleep 0.1; done
wait "$jpid"; rc=$?; jpid=""
[ "$rc" -eq 0 ] || fail "joiner's exit code $rc: $(cat "$work/join.err")"
kill "$fpid"; wait "$fpid" 2>/dev/null; fpid=""

# 7. The two recordings: the same digests, frames at 100 a second; one
#    replays in the simulator.
wid=$wid_a; gpid=$hpid; close_with_alt_f4; hpid=""
[ "$rc" -eq 0 ] || fail "host's exit code $rc: $(cat "$work/host.err")"
same_digests host join $((seconds / 2))
digests=$(wc -l <"$work/host.digests")
grep -q '^stop$' "$work/join.rec" || fail "the host's Stop is not in the joiner's recording"
"$sim" --replay "$work/join.rec" >"$work/sim.out" 2>"$work/sim.err" || fail "simulator: status $?: $(cat "$work/sim.err")"
grep -q "^replay: all $digests digests matched$" "$work/sim.out" || fail "simulator: $(tail -n 1 "$work/sim.out")"
frames=$(awk '$1 == "frames" { n += $2 } END { print n + 0 }' "$work/host.rec")
awk -v d=$digests -v f=$frames -v t=$(((stopped - started) / 1000000 - paused)) \
  'BEGIN { printf "%d digests alike in both recordings; %d frames in %.1f s from Start to Stop, the cut left out: %.1f a second\n", d, f, t / 1000, f * 1000 / t }'

# The joiner's recording replays in the window too, every digest matched.
on_a
wine "$game" --replay "$work/join.rec" --unattended 2>"$work/replay.err"; rc=$?
[ "$rc" -eq 0 ] || fail "window replay of the joiner's recording: exit code $rc: $(cat "$work/replay.err")"

# Opens the item `up` places from the bottom of the system menu on desk $1.
system_menu() {
  on_$1; eval "xdotool windowfocus --sync \$wid_$1"
  xdotool keydown alt; sleep 0.05; xdotool key space; sleep 0.05; xdotool keyup alt; sleep 0.5
  for _ in $(seq 1 "$2"); do xdotool key Up; sleep 0.1; done
  xdotool key Return
}

# 8. A killed joiner: the host finds it silent and, from 1 s on, counts down
#    its wait in the title; Leave (the system menu's last item) ends it at
#    once, before the 30 s, and the window plays on.
on_a
wine "$game" --host "$port" --unattended 2>"$work/host.err" &
hpid=$!
window_on a "^BlockTide - waiting for a player on port $port\$"; wid_a=$wid
on_b
wine "$game" --join "127.0.0.1:$port" --unattended 2>/dev/null &
jpid=$!
window_on b '^BlockTide - connected to 127\.0\.0\.1'
sleep 1
kill -9 "$jpid"; gone=$(date +%s%N); wait "$jpid" 2>/dev/null; jpid=""
for _ in $(seq 1 60); do [[ $(title_of a "$wid_a") =~ $countdown ]] && break; sleep 0.05; done
title=$(title_of a "$wid_a")
[[ $title =~ $countdown ]] || fail "host's title 3 s after the joiner was killed: '$title'; $(cat "$work/host.err")"
echo "joiner killed: '${title#BlockTide - }' on the host after $((($(date +%s%N) - gone) / 1000000)) ms"
system_menu a 1; left=$(date +%s%N)
for _ in $(seq 1 40); do [ "$(title_of a "$wid_a")" = BlockTide ] && break; sleep 0.025; done
[ "$(title_of a "$wid_a")" = BlockTide ] || fail "host's title 1 s after Leave: '$(title_of a "$wid_a")'"
echo "Leave while waiting: the host's title is BlockTide after $((($(date +%s%N) - left) / 1000000)) ms"
! grep -q "stopped answering" "$work/host.err" || fail "the host ended by silence, not by Leave: $(cat "$work/host.err")"
kill -0 "$hpid" 2>/dev/null || fail "the host's window did not go on after Leave"
wid=$wid_a; gpid=$hpid; close_with_alt_f4; hpid=""
[ "$rc" -eq 0 ] || fail "host's exit code after Leave $rc: $(cat "$work/host.err")"

# 9. Joining the closed host: no answer, said plainly; the window plays on.
join_refused late 15 "no answer from 127.0.0.1:$port within 10 s" "join to a closed host"
kill -0 "$extra" 2>/dev/null || fail "the window did not go on after the refusal"
kill "$extra"; wait "$extra" 2>/dev/null; extra=""

# 9b. By IPv6 on ::1, the joiner given "[::1]:PORT": both titles write the
#     other side in brackets with its port (the delay is printed beside
#     IPv4's when it differs), and the wells and digests agree as in 4 and 7.
on_a
wine "$game" --host "$port" --record "$work/host6.rec" --unattended 2>"$work/host6.err" &
hpid=$!
window_on a "^BlockTide - waiting for a player on port $port\$"; wid_a=$wid; ox_a=$ox; oy_a=$oy
on_b
wine "$game" --join "[::1]:$port" --record "$work/join6.rec" --unattended 2>"$work/join6.err" &
jpid=$!
find_game_window "^BlockTide - connected to \[::1\]:$port \(delay [0-9]+ frames\)\$" ||
  fail "joiner by IPv6: '$(title_of b "$(xdotool search --name '^BlockTide' | head -n 1)")'; $(cat "$work/join6.err")"
wid_b=$wid; ox_b=$ox; oy_b=$oy
for _ in $(seq 1 50); do title_of a "$wid_a" | grep -q '^BlockTide - connected to \[::1\]:' && break; sleep 0.1; done
title=$(title_of a "$wid_a")
[[ $title =~ ^BlockTide\ -\ connected\ to\ \[::1\]:[0-9]+\ \(delay\ ([0-9]+)\ frames\)$ ]] ||
  fail "host's title by IPv6: $title"
[ "${BASH_REMATCH[1]}" = "$delay" ] || echo "note: delay ${BASH_REMATCH[1]} frames by IPv6, $delay by IPv4"
echo "by IPv6: $(title_of b "$wid_b" | sed 's/^BlockTide - //'); the host: ${title#BlockTide - }"
ox=$ox_b; oy=$oy_b; on_b; xdotool windowfocus --sync "$wid_b"; click $START
on_a; xdotool windowfocus --sync "$wid_a"
sleep 0.5
play_keys 6
wells_agree ipv6
ox=$ox_a; oy=$oy_a; on_a; click $STOP; sleep 0.5
on_b; wid=$wid_b; gpid=$jpid; close_with_alt_f4; jpid=""
[ "$rc" -eq 0 ] || fail "IPv6 joiner's exit code $rc: $(cat "$work/join6.err")"
on_a; wid=$wid_a; gpid=$hpid; close_with_alt_f4; hpid=""
[ "$rc" -eq 0 ] || fail "IPv6 host's exit code $rc: $(cat "$work/host6.err")"
same_digests host6 join6 2
echo "by IPv6: $(wc -l <"$work/host6.digests") digests alike in both recordings"

# 10. By invite code through a lobby on 127.0.0.1, both through the system
#     menu (Alt+Space; the invite items are 5th and 4th from the bottom):
#     the host's title gives the code, the joiner types it, and the matches
#     agree as above.
[ -x "$lobby" ] || fail "no lobby program at $lobby"
lport=$((port + 50))
"$lobby" --port "$lport" --seconds 120 >"$work/lobby.out" 2>&1 &
lpid=$!; extra="$lpid"
# Opens the item `up` places from the bottom of the system menu on desk $1,
# then types each further argument into its dialog (titled $3), Tab between.
menu_dialog() {
  local d=$1 up=$2 title=$3; shift 3
  system_menu "$d" "$up"
  local w=""
  for _ in $(seq 1 50); do w=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1); [ -n "$w" ] && break; sleep 0.1; done
  [ -n "$w" ] || fail "desk $d: no dialog $title"
  xdotool windowfocus --sync "$w"; sleep 0.3
  local first=1
  for text in "$@"; do
    [ $first -eq 1 ] || { xdotool key Tab; sleep 0.1; }
    first=0
    xdotool key ctrl+a; xdotool type --delay 20 "$text"; sleep 0.1
  done
  xdotool key Return
}
on_a
wine "$game" --record "$work/host2.rec" --unattended 2>"$work/host2.err" &
hpid=$!; window_on a '^BlockTide$'; wid_a=$wid; ox_a=$ox; oy_a=$oy
on_b
wine "$game" --record "$work/join2.rec" --unattended 2>"$work/join2.err" &
jpid=$!; window_on b '^BlockTide$'; wid_b=$wid; ox_b=$ox; oy_b=$oy
menu_dialog a 5 'Host an internet match' "127.0.0.1:$lport"
code=""
for _ in $(seq 1 100); do
  [[ $(title_of a "$wid_a") =~ ^BlockTide\ -\ invite\ code\ ([2-9A-Z]{4}-[2-9A-Z]{4}),\ waiting\ for\ a\ player$ ]] &&
    code=${BASH_REMATCH[1]} && break
  sleep 0.1
done
[ -n "$code" ] || fail "host's title without a code: $(title_of a "$wid_a"); $(cat "$work/host2.err")"
# Typed as a player might: lower case, no dash.
typed=$(tr -d - <<<"$code" | tr A-Z a-z)
menu_dialog b 4 'Join an internet match' "127.0.0.1:$lport" "$typed"
connected='^BlockTide - connected to 127\.0\.0\.1 \((direct|relayed) over IPv4, delay [0-9]+ frames\)$'
for d in a b; do
  for _ in $(seq 1 100); do title_of $d "$(eval echo \$wid_$d)" | grep -Eq "$connected" && break; sleep 0.1; done
  title_of $d "$(eval echo \$wid_$d)" | grep -Eq "$connected" ||
    fail "desk $d after the code: $(title_of $d "$(eval echo \$wid_$d)"); $(cat "$work/host2.err" "$work/join2.err")"
done
echo "invite code $code: $(title_of a "$wid_a" | sed 's/^BlockTide - //')"
[ "$(on_b; wine reg query "$SETTINGS_KEY" /v Lobby 2>/dev/null | tr -d '\r' | awk '$1 == "Lobby" { print $3 }')" = "127.0.0.1:$lport" ] ||
  fail "the joiner did not store its lobby"
ox=$ox_b; oy=$oy_b; on_b; xdotool windowfocus --sync "$wid_b"; click $START
on_a; xdotool windowfocus --sync "$wid_a"
end=$((SECONDS + 5))
while [ $SECONDS -lt $end ]; do
  on_a; hold "${keys[RANDOM % ${#keys[@]}]}" 0.05
  on_b; hold "${keys[RANDOM % ${#keys[@]}]}" 0.05
  sleep 0.2
done
ox=$ox_a; oy=$oy_a; on_a; click $STOP; sleep 0.5
on_b; wid=$wid_b; gpid=$jpid; close_with_alt_f4; jpid=""
on_a; wid=$wid_a; gpid=$hpid; close_with_alt_f4; hpid=""
same_digests host2 join2 1
echo "invite match: $(wc -l <"$work/host2.digests") digests alike in both recordings"
for desk in a b; do on_$desk; wine reg delete "$SETTINGS_KEY" /v Lobby /f >/dev/null 2>&1; done
echo "PASS"
