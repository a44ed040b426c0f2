# Two test hosts joined by a veth pair, for the end-to-end tests and the load benchmark.
# Source this file; call make_hosts, then drop_hosts (also from a trap).
#   host side "meter" (where Velmora runs): 198.51.100.2 on veth "vm0"
#   peer side "peer": 198.51.100.1 and 192.0.2.1 on veth "vp0"
# IPv6 is off and the neighbours are static, so the interface counters hold only the IPv4
# traffic the test makes. Addresses come from the documentation ranges only.

METER_NS="velmora-meter-$$"
PEER_NS="velmora-peer-$$"
METER_ADDR=198.51.100.2
PEER_ADDR=198.51.100.1
PEER_ADDR2=192.0.2.1

need_root() {
  if [ "$(id -u)" -ne 0 ] || ! ip netns list >/dev/null 2>&1; then
    echo "SKIP: needs root and network namespaces" >&2
    exit 77
  fi
}

in_meter() { ip netns exec "$METER_NS" "$@"; }
in_peer() { ip netns exec "$PEER_NS" "$@"; }

make_hosts() {
  ip netns add "$METER_NS"
  ip netns add "$PEER_NS"
  ip link add vm0 netns "$METER_NS" type veth peer name vp0 netns "$PEER_NS"
  for ns in "$METER_NS" "$PEER_NS"; do
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    ip netns exec "$ns" ip link set lo up
  done
  in_meter sysctl -qw net.ipv6.conf.vm0.disable_ipv6=1
  in_peer sysctl -qw net.ipv6.conf.vp0.disable_ipv6=1
  in_meter ip addr add "$METER_ADDR/24" dev vm0
  in_peer ip addr add "$PEER_ADDR/24" dev vp0
  in_peer ip addr add "$PEER_ADDR2/24" dev vp0
  # veth hands an offloaded super-packet through whole and counts it once; with the offloads
  # off every packet has its wire size, so the link's counters are the wire's.
  in_meter ethtool -K vm0 tso off gso off tx-udp-segmentation off gro off >/dev/null
  in_peer ethtool -K vp0 tso off gso off tx-udp-segmentation off gro off >/dev/null
  in_meter ip link set vm0 up
  in_peer ip link set vp0 up
  in_meter ip route add 192.0.2.0/24 dev vm0
  local meter_mac peer_mac
  meter_mac=$(in_meter cat /sys/class/net/vm0/address)
  peer_mac=$(in_peer cat /sys/class/net/vp0/address)
  in_meter ip neigh replace "$PEER_ADDR" lladdr "$peer_mac" dev vm0 nud permanent
  in_meter ip neigh replace "$PEER_ADDR2" lladdr "$peer_mac" dev vm0 nud permanent
  in_peer ip neigh replace "$METER_ADDR" lladdr "$meter_mac" dev vp0 nud permanent
}

drop_hosts() {
  ip netns pids "$METER_NS" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
  ip netns pids "$PEER_NS" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
  ip netns del "$METER_NS" 2>/dev/null || true
  ip netns del "$PEER_NS" 2>/dev/null || true
}

# IP-level bytes through the meter's veth so far: Ethernet headers (14 bytes a frame) taken off.
ip_bytes() {
  local s=/sys/class/net/vm0/statistics
  in_meter sh -c "echo \$(( \$(cat $s/rx_bytes) + \$(cat $s/tx_bytes) - 14 * (\$(cat $s/rx_packets) + \$(cat $s/tx_packets)) ))"
}
