#!/usr/bin/env bash
# Floods small UDP packets between two network namespaces for a few seconds at the sender's
# ceiling and compares the program's capture with tcpdump on the same flood: packets sent,
# packets captured, kernel drops and CPU seconds of the capturing process.
#
#   bench/capture_flood.sh [build-dir] [seconds]      (as root; default build/dev, 3 s)
#
# Target: captured equals sent, zero drops, capture CPU per packet no higher than tcpdump's.
# CPU is what the capturing process spends itself (user + system); the kernel's work of
# copying packets into the ring runs in the sender's softirq for both tools alike.
set -euo pipefail

build=${1:-build/dev}
seconds=${2:-3}
counter="$build/bench/capture_counter"
port=9999
near="velmora-flood-near-$$"
far="velmora-flood-far-$$"

if [ "$(id -u)" -ne 0 ]; then
    echo "capture_flood: needs root (network namespaces, packet sockets)" >&2
    exit 1
fi
[ -x "$counter" ] || { echo "capture_flood: build $counter first (ninja -C $build capture_counter)" >&2; exit 1; }
command -v tcpdump >/dev/null || { echo "capture_flood: tcpdump is missing (scripts/deps)" >&2; exit 1; }

cleanup() {
    ip netns del "$near" 2>/dev/null || true
    ip netns del "$far" 2>/dev/null || true
}
trap cleanup EXIT

# Two namespaces joined by a veth pair; no IPv6 and static neighbours, so the link carries
# nothing but the flood.
for ns in "$near" "$far"; do
    ip netns add "$ns"
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
done
ip -n "$near" link add vf0 type veth peer name vf1 netns "$far"
ip -n "$near" addr add 192.0.2.1/24 dev vf0
ip -n "$far" addr add 192.0.2.2/24 dev vf1
ip -n "$near" link set vf0 up
ip -n "$far" link set vf1 up
ip -n "$near" neigh replace 192.0.2.2 lladdr "$(ip netns exec "$far" cat /sys/class/net/vf1/address)" dev vf0 nud permanent
ip -n "$far" neigh replace 192.0.2.1 lladdr "$(ip netns exec "$near" cat /sys/class/net/vf0/address)" dev vf1 nud permanent

listen=$((seconds + 2))
flood() { ip netns exec "$far" "$counter" flood 192.0.2.1 "$port" "$seconds" | sed 's/sent=//'; }

# 1. The program's capture (packet ring and accounting).
out=$(mktemp)
ip netns exec "$near" "$counter" count 192.0.2.1 "$port" "$listen" >"$out" &
capture_pid=$!
sleep 1
sent=$(flood)
wait "$capture_pid"
read -r captured drops cpu < <(sed 's/captured=//; s/drops=//; s/cpu=//' "$out")
rm -f "$out"

# 2. tcpdump on the same flood, writing to /dev/null.
ip netns exec "$near" "$counter" sink 192.0.2.1 "$port" "$listen" &
sink_pid=$!
log=$(mktemp)
ip netns exec "$near" tcpdump -i vf0 -n -w /dev/null "udp dst port $port" 2>"$log" &
tcpdump_pid=$!
sleep 1
tcpdump_sent=$(flood)
sleep 1
# utime + stime of tcpdump in clock ticks (proc(5), /proc/pid/stat fields 14 and 15).
ticks=$(awk '{ print $14 + $15 }' "/proc/$tcpdump_pid/stat")
kill -INT "$tcpdump_pid"
wait "$tcpdump_pid" || true
wait "$sink_pid"
tcpdump_cpu=$(awk -v t="$ticks" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.3f", t / hz }')
tcpdump_captured=$(sed -n 's/^\([0-9]*\) packets captured.*/\1/p' "$log")
tcpdump_drops=$(sed -n 's/^\([0-9]*\) packets dropped by kernel.*/\1/p' "$log")
rm -f "$log"

per_packet() { awk -v c="$1" -v n="$2" 'BEGIN { printf "%.0f", (n > 0 ? c * 1e9 / n : 0) }'; }
row='%-10s %12s %12s %10s %10s %12s %12s\n'
printf "$row" tool sent captured drops cpu_s cpu_ns/pkt sent/s
printf "$row" velmora "$sent" "$captured" "$drops" "$cpu" "$(per_packet "$cpu" "$captured")" "$((sent / seconds))"
printf "$row" tcpdump "$tcpdump_sent" "$tcpdump_captured" "$tcpdump_drops" "$tcpdump_cpu" \
    "$(per_packet "$tcpdump_cpu" "$tcpdump_captured")" "$((tcpdump_sent / seconds))"

status=0
[ "$captured" = "$sent" ] || { echo "capture_flood: captured $captured of $sent" >&2; status=1; }
[ "$drops" = 0 ] || { echo "capture_flood: kernel dropped $drops" >&2; status=1; }
# The two runs see different packet counts (the sender's rate varies): compare per packet.
ours=$(per_packet "$cpu" "$captured")
theirs=$(per_packet "$tcpdump_cpu" "$tcpdump_captured")
[ "$ours" -le "$theirs" ] ||
    echo "capture_flood: capture CPU ${ours} ns/packet above tcpdump's ${theirs} ns/packet" >&2
exit "$status"
