# The network namespace helpers the namespace tests source (the NAT matrix,
# the dropped-path test): namespaces, veth pairs, the "public" bridge, NAT
# routers, players behind them, IPv6 beside. No route leads out, and only
# the namespaces' own addresses are used. The sourcing script sets tag (the
# prefix of every namespace it makes), tmp and pids, and traps netns_cleanup.

netns_cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  # The cases make theirs in subshells: every namespace of this run's tag,
  # and what this run still has running in them (a lobby, a cut short case).
  for n in $(ip netns list 2>/dev/null | awk '{print $1}' | grep "^$tag"); do
    local inside
    inside=$(ip netns pids "$n" 2>/dev/null)
    [ -z "$inside" ] || kill $inside 2>/dev/null
    ip netns del "$n"
    rm -rf "/etc/netns/$n"
  done
  rm -rf "$tmp"
}

# Skips (77) with "$1 skipped: why" where the namespaces cannot be made.
netns_require() {
  local label=$1
  skip() { echo "$label skipped: $1"; exit 77; }
  [ "$(id -u)" -eq 0 ] || skip "it needs root for network namespaces"
  command -v ip >/dev/null && command -v iptables >/dev/null && command -v ip6tables >/dev/null ||
    skip "it needs ip, iptables and ip6tables"
  ip netns add "${tag}t" 2>/dev/null || skip "network namespaces cannot be made here"
  ip netns exec "${tag}t" iptables -t nat -A POSTROUTING -j MASQUERADE --random-fully 2>/dev/null ||
    skip "iptables cannot make a NAT in a namespace here"
}

inns() { local n=$1; shift; ip netns exec "$n" "$@"; }
# No duplicate address detection: until it ends (a second or more) a new
# link-local address cannot speak for neighbour discovery, and IPv6 would
# lose to IPv4 for reasons of the test's own making.
newns() {
  ip netns add "$1" && inns "$1" ip link set lo up &&
    inns "$1" sysctl -qw net.ipv6.conf.default.accept_dad=0 net.ipv6.conf.all.accept_dad=0
}
# A veth pair: name $2 in namespace $1, name $4 in namespace $3.
veth() { ip link add "$2" netns "$1" type veth peer name "$4" netns "$3"; }

# The public segment: a bridge in namespace P with the lobby at 198.51.100.1.
public() {
  local p=$1
  newns "$p"
  inns "$p" ip link add br0 type bridge
  inns "$p" ip addr add 198.51.100.1/24 dev br0
  inns "$p" ip link set br0 up
}
# Plugs interface $2 of namespace $1 into the bridge as $3, address $4.
plug() {
  local n=$1 inner=$2 outer=$3 address=$4 p=$5
  veth "$n" "$inner" "$p" "$outer"
  inns "$p" ip link set "$outer" master br0 up
  inns "$n" ip addr add "$address/24" dev "$inner"
  inns "$n" ip link set "$inner" up
}
# A router R on the public segment at $2 doing NAT (MASQUERADE, with
# --random-fully when $3 is "random") for the LAN 10.0.$4.0/24 on a bridge.
# Unasked datagrams to the router itself are dropped, as a home router's
# firewall does, so they leave no connection entry behind.
router() {
  local r=$1 wan=$2 kind=$3 lan=$4 p=$5
  newns "$r"
  plug "$r" wan "${r}w" "$wan" "$p"
  inns "$r" ip link add lan type bridge
  inns "$r" ip addr add "10.0.$lan.1/24" dev lan
  inns "$r" ip link set lan up
  inns "$r" sysctl -qw net.ipv4.ip_forward=1
  local extra=""
  [ "$kind" = random ] && extra="--random-fully"
  inns "$r" iptables -t nat -A POSTROUTING -o wan -j MASQUERADE $extra
  inns "$r" iptables -A INPUT -i wan -p udp -j DROP
}
# A player's namespace behind router R at 10.0.$3.$4.
behind() {
  local n=$1 r=$2 lan=$3 last=$4
  newns "$n"
  veth "$n" eth0 "$r" "${n}l"
  inns "$r" ip link set "${n}l" master lan up
  inns "$n" ip addr add "10.0.$lan.$last/24" dev eth0
  inns "$n" ip link set eth0 up
  inns "$n" ip route add default via "10.0.$lan.1"
}
# IPv6 for router R (public side 2001:db8:100::$2, LAN 2001:db8:$3::/64)
# and its player at 2001:db8:$3::2: routed, no NAT, and a firewall that lets
# in only what answers what went out. The other router is at $4, with LAN $5.
dual() {
  local r=$1 wan=$2 lan=$3 n=$4 otherWan=$5 otherLan=$6 p=$7
  inns "$r" ip addr add "2001:db8:100::$wan/64" dev wan nodad
  inns "$r" ip addr add "2001:db8:$lan::1/64" dev lan nodad
  inns "$r" sysctl -qw net.ipv6.conf.all.forwarding=1
  inns "$r" ip route add "2001:db8:$otherLan::/64" via "2001:db8:100::$otherWan"
  inns "$r" ip6tables -A FORWARD -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT
  inns "$r" ip6tables -A FORWARD -i wan -j DROP
  inns "$r" ip6tables -A INPUT -i wan -p udp -j DROP
  inns "$p" ip route add "2001:db8:$lan::/64" via "2001:db8:100::$wan"
  inns "$n" ip addr add "2001:db8:$lan::2/64" dev eth0 nodad
  inns "$n" ip route add default via "2001:db8:$lan::1"
}
# The lobby's name, with both families, in namespace $1's own hosts file.
lobby_name() {
  mkdir -p "/etc/netns/$1"
  printf '2001:db8:100::1 lobby.test\n198.51.100.1 lobby.test\n127.0.0.1 localhost\n' >"/etc/netns/$1/hosts"
}
