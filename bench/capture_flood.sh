#!/usr/bin/env bash
# Floods small UDP packets between two network namespaces for a few seconds at the sender's
# ceiling and compares the program's capture with tcpdump on the same flood: packets sent,
# packets captured, kernel drops and CPU seconds of the capturing process.
#
#   bench/capture_flood.sh [build-dir] [seconds]      (as root; default build/dev, 3 s)
#
# FAMILY=6 floods over IPv6 (2001:db8::/64, 66-byte IP packets) instead of IPv4 (192.0.2.0/24).
# BUSY=1 keeps both cores busy during the three floods (one CPU-bound process on each, ended
# before the bulk transfer and on any exit).
#
# Target: captured equals sent, zero drops, capture CPU per packet no higher than tcpdump's.
# A third run counts the same flood with the kernel source (its programs' time per packet from
# kernel.bpf_stats_enabled, and the reading process's CPU).
#
# Then a bulk TCP transfer (BULK_MB, default 200) from a sender through a router namespace that
# segments in software to a receiver that receives with GRO: for the program's capture and for
# tcpdump, on the sender (TSO) and on the receiver (GRO), the packets seen and their IP bytes
# against the wire's (the receiver's receive counters), and what the program counted.
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

bulk_sender="velmora-bulk-send-$$"
bulk_router="velmora-bulk-route-$$"
bulk_receiver="velmora-bulk-recv-$$"
busy=
stop_busy() {
    [ -z "$busy" ] || { kill $busy 2>/dev/null || true; wait $busy 2>/dev/null || true; busy=; }
}
cleanup() {
    stop_busy
    for ns in "$near" "$far" "$bulk_sender" "$bulk_router" "$bulk_receiver"; do
        ip netns del "$ns" 2>/dev/null || true
    done
    rm -f "/tmp/velmora-bulk-$$".*
}
trap cleanup EXIT

# Two namespaces joined by a veth pair; no IPv6 and static neighbours, so the link carries
# nothing but the flood.
for ns in "$near" "$far"; do
    ip netns add "$ns"
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
done
ip -n "$near" link add vf0 type veth peer name vf1 netns "$far"
if [ "${FAMILY:-4}" = 6 ]; then
    # IPv6 on the link alone: static addresses, no link-local ones, no duplicate detection.
    near_address=2001:db8::1; far_address=2001:db8::2; prefix=64
    ip netns exec "$near" sysctl -qw net.ipv6.conf.vf0.addr_gen_mode=1 net.ipv6.conf.vf0.disable_ipv6=0
    ip netns exec "$far" sysctl -qw net.ipv6.conf.vf1.addr_gen_mode=1 net.ipv6.conf.vf1.disable_ipv6=0
    nodad=nodad
else
    near_address=192.0.2.1; far_address=192.0.2.2; prefix=24; nodad=
fi
ip -n "$near" addr add "$near_address/$prefix" dev vf0 $nodad
ip -n "$far" addr add "$far_address/$prefix" dev vf1 $nodad
ip -n "$near" link set vf0 up
ip -n "$far" link set vf1 up
ip -n "$near" neigh replace "$far_address" lladdr "$(ip netns exec "$far" cat /sys/class/net/vf1/address)" dev vf0 nud permanent
ip -n "$far" neigh replace "$near_address" lladdr "$(ip netns exec "$near" cat /sys/class/net/vf0/address)" dev vf1 nud permanent

listen=$((seconds + 2))
flood() { ip netns exec "$far" "$counter" flood "$near_address" "$port" "$seconds" | sed 's/sent=//'; }

if [ "${BUSY:-0}" = 1 ]; then
    for _ in 1 2; do (exec timeout $((3 * seconds + 60)) sh -c 'while :; do :; done') & busy="$busy $!"; done
fi

# 1. The program's capture (packet ring and accounting).
out=$(mktemp)
ip netns exec "$near" "$counter" count "$near_address" "$port" "$listen" >"$out" &
capture_pid=$!
sleep 1
sent=$(flood)
wait "$capture_pid"
read -r captured drops cpu < <(sed 's/captured=//; s/drops=//; s/cpu=//' "$out")
rm -f "$out"

# 2. tcpdump on the same flood, writing to /dev/null.
ip netns exec "$near" "$counter" sink "$near_address" "$port" "$listen" &
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

# 3. The kernel source on the same flood: its programs' own time (kernel.bpf_stats_enabled) and
# the reading process's CPU, which reads the flow tables once a second.
stats_before=$(sysctl -n kernel.bpf_stats_enabled)
sysctl -qw kernel.bpf_stats_enabled=1
out=$(mktemp)
ip netns exec "$near" "$counter" kernel "$near_address" "$port" "$listen" >"$out" &
kernel_pid=$!
sleep 1
kernel_sent=$(flood)
wait "$kernel_pid"
sysctl -qw kernel.bpf_stats_enabled="$stats_before"
read -r kernel_captured kernel_cpu kernel_runs kernel_run_ns < <(sed 's/captured=//; s/drops=[0-9]* //; s/cpu=//; s/runs=//; s/run_ns=//' "$out")
rm -f "$out"

per_packet() { awk -v c="$1" -v n="$2" 'BEGIN { printf "%.0f", (n > 0 ? c * 1e9 / n : 0) }'; }
row='%-10s %12s %12s %10s %10s %12s %12s\n'
printf "$row" tool sent captured drops cpu_s cpu_ns/pkt sent/s
printf "$row" velmora "$sent" "$captured" "$drops" "$cpu" "$(per_packet "$cpu" "$captured")" "$((sent / seconds))"
printf "$row" tcpdump "$tcpdump_sent" "$tcpdump_captured" "$tcpdump_drops" "$tcpdump_cpu" \
    "$(per_packet "$tcpdump_cpu" "$tcpdump_captured")" "$((tcpdump_sent / seconds))"
printf "$row" kernel "$kernel_sent" "$kernel_captured" 0 "$kernel_cpu" \
    "$(per_packet "$kernel_cpu" "$kernel_captured")" "$((kernel_sent / seconds))"
echo "kernel source: its programs ran $kernel_runs times for $kernel_run_ns ns:" \
    "$(awk -v n="$kernel_run_ns" -v r="$kernel_runs" 'BEGIN { printf "%.0f", (r > 0 ? n / r : 0) }') ns a run" \
    "($(per_packet "$(awk -v n="$kernel_run_ns" 'BEGIN { printf "%.9f", n / 1e9 }')" "$kernel_captured") ns per flood packet)"

stop_busy

bulk_tcp() {
    local mb=${BULK_MB:-200} s=$bulk_sender r=$bulk_router d=$bulk_receiver ns
    for ns in "$s" "$r" "$d"; do
        ip netns add "$ns"
        ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
        ip -n "$ns" link set lo up
    done
    ip -n "$s" link add vs0 type veth peer name vr0 netns "$r"
    ip -n "$r" link add vr1 type veth peer name vd0 netns "$d"
    ip -n "$s" addr add 198.51.100.1/24 dev vs0
    ip -n "$r" addr add 198.51.100.2/24 dev vr0
    ip -n "$r" addr add 203.0.113.2/24 dev vr1
    ip -n "$d" addr add 203.0.113.1/24 dev vd0
    ip -n "$s" link set vs0 up; ip -n "$r" link set vr0 up; ip -n "$r" link set vr1 up; ip -n "$d" link set vd0 up
    ip -n "$s" neigh replace 198.51.100.2 lladdr "$(ip netns exec "$r" cat /sys/class/net/vr0/address)" dev vs0 nud permanent
    ip -n "$r" neigh replace 198.51.100.1 lladdr "$(ip netns exec "$s" cat /sys/class/net/vs0/address)" dev vr0 nud permanent
    ip -n "$r" neigh replace 203.0.113.1 lladdr "$(ip netns exec "$d" cat /sys/class/net/vd0/address)" dev vr1 nud permanent
    ip -n "$d" neigh replace 203.0.113.2 lladdr "$(ip netns exec "$r" cat /sys/class/net/vr1/address)" dev vd0 nud permanent
    ip -n "$s" route add 203.0.113.0/24 via 198.51.100.2
    ip -n "$d" route add 198.51.100.0/24 via 203.0.113.2
    ip netns exec "$r" sysctl -qw net.ipv4.ip_forward=1
    ip netns exec "$r" ethtool -K vr0 tso off gso off tx-udp-segmentation off >/dev/null
    ip netns exec "$r" ethtool -K vr1 tso off gso off tx-udp-segmentation off >/dev/null
    ip netns exec "$d" ethtool -K vd0 gro on >/dev/null

    rx() { ip netns exec "$d" cat "/sys/class/net/vd0/statistics/rx_$1"; }
    # veth counts a packet it receives through NAPI (GRO on) from its IP header on, else with
    # the Ethernet header: find out with one ping of 84 IP bytes.
    local b0 p0 link
    b0=$(rx bytes); p0=$(rx packets)
    ip netns exec "$s" ping -c 1 -W 2 203.0.113.1 >/dev/null
    link=$(( ($(rx bytes) - b0) / ($(rx packets) - p0) - 84 ))

    local file=/tmp/velmora-bulk-$$ flow="src 198.51.100.1 and dst 203.0.113.1"
    ip netns exec "$s" "$counter" wire 198.51.100.1 0 8 >"$file.vs" &
    local vs_pid=$!
    ip netns exec "$d" "$counter" wire 203.0.113.1 0 8 >"$file.vd" &
    local vd_pid=$!
    ip netns exec "$s" tcpdump -i vs0 -n -s 128 -w "$file.ps" "$flow" 2>/dev/null &
    local ps_pid=$!
    ip netns exec "$d" tcpdump -i vd0 -n -s 128 -w "$file.pd" "$flow" 2>/dev/null &
    local pd_pid=$!
    ip netns exec "$d" timeout 20 nc -l 5001 >/dev/null &
    sleep 1
    b0=$(rx bytes); p0=$(rx packets)
    head -c "$((mb << 20))" /dev/zero | ip netns exec "$s" timeout 20 nc -N 203.0.113.1 5001
    sleep 1
    local wire_packets=$(( $(rx packets) - p0 ))
    local wire_bytes=$(( $(rx bytes) - b0 - link * wire_packets ))
    kill -INT "$ps_pid" "$pd_pid"
    wait "$ps_pid" "$pd_pid" "$vs_pid" "$vd_pid" || true

    # tcpdump's packets and IP bytes: the total length of each IP header it printed.
    dump() { tcpdump -r "$1" -n -v 2>/dev/null | sed -n 's/.*proto [A-Z]* ([0-9]*), length \([0-9]*\)).*/\1/p' |
             awk '{ n++; b += $1 } END { printf "%d %d\n", n, b }'; }
    field() { sed -n "s/.*$2=\([0-9]*\).*/\1/p" "$1"; }
    local bulk_row='%-9s %-8s %10s %10s %12s %13s %13s %13s\n'
    echo
    echo "bulk TCP, $mb MiB from 198.51.100.1 through a segmenting router to 203.0.113.1 (GRO on)"
    printf "$bulk_row" side tool seen wire seen_bytes wire_bytes counted_bytes counted/wire
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (b > 0 ? a / b : 0) }'; }
    local n b
    printf "$bulk_row" sender velmora "$(field "$file.vs" seen_up)" "$wire_packets" "$(field "$file.vs" seen_bytes_up)" \
        "$wire_bytes" "$(field "$file.vs" bytes_up)" "$(ratio "$(field "$file.vs" bytes_up)" "$wire_bytes")"
    read -r n b < <(dump "$file.ps")
    printf "$bulk_row" sender tcpdump "$n" "$wire_packets" "$b" "$wire_bytes" "$b" "$(ratio "$b" "$wire_bytes")"
    printf "$bulk_row" receiver velmora "$(field "$file.vd" seen_down)" "$wire_packets" "$(field "$file.vd" seen_bytes_down)" \
        "$wire_bytes" "$(field "$file.vd" bytes_down)" "$(ratio "$(field "$file.vd" bytes_down)" "$wire_bytes")"
    read -r n b < <(dump "$file.pd")
    printf "$bulk_row" receiver tcpdump "$n" "$wire_packets" "$b" "$wire_bytes" "$b" "$(ratio "$b" "$wire_bytes")"
    echo "(velmora: seen and seen_bytes are the socket's packets as delivered; counted_bytes what it"
    echo " accounts: the wire packets of each super-packet. wire packets counted: sender $(field "$file.vs" wire_up), receiver $(field "$file.vd" wire_down))"
}
bulk_tcp

status=0
[ "$captured" = "$sent" ] || { echo "capture_flood: captured $captured of $sent" >&2; status=1; }
[ "$drops" = 0 ] || { echo "capture_flood: kernel dropped $drops" >&2; status=1; }
[ "$kernel_captured" = "$kernel_sent" ] || { echo "capture_flood: the kernel source counted $kernel_captured of $kernel_sent" >&2; status=1; }
# The two runs see different packet counts (the sender's rate varies): compare per packet.
ours=$(per_packet "$cpu" "$captured")
theirs=$(per_packet "$tcpdump_cpu" "$tcpdump_captured")
[ "$ours" -le "$theirs" ] ||
    echo "capture_flood: capture CPU ${ours} ns/packet above tcpdump's ${theirs} ns/packet" >&2
exit "$status"
