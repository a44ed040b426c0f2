#!/usr/bin/env bash
# Memory and CPU of the real program under load: Velmora runs in a network namespace while a
# peer namespace sends it a steady flood of small UDP packets (100k packets/s by default).
# Prints resident memory after the first minute and at the end, and the CPU seconds used.
# Targets: no growth of resident memory after the first minute; at most 10% of one core.
# Usage: bench/load_soak.sh BUILD-DIR [SECONDS] [PACKETS-PER-SECOND]     (as root)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build/default}")
seconds=${2:-300}
rate=${3:-100000}
. "$top/tests/e2e/netns.sh"
. "$top/tests/e2e/profiles.sh"
need_root

work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; drop_hosts; rm -rf "$work"' EXIT
make_hosts
mkdir -p "$work/profiles"
write_profile "$work/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
write_profile "$work/profiles" Web.xml Web "$METER_ADDR" "0:10.*.*.* 1:*.*.*.*" "0:80 1:0"

(cd "$work" && exec ip netns exec "$METER_NS" env QT_QPA_PLATFORM=offscreen "$build/velmora" >"$work/log" 2>&1) &
shell=$!
sleep 2
pid=$(pgrep -P "$shell" velmora || echo "$shell")
rss() { awk '/VmRSS/ { print $2 }' "/proc/$pid/status"; }
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$pid/stat"; }

cpu0=$(cpu)
rss0=$(rss)
in_peer "$build/bench/udp_pacer" "$METER_ADDR" 9 "$rate" "$seconds" >"$work/sent" &
pacer=$!
rss1=
if [ "$seconds" -gt 60 ]; then sleep 60; rss1=$(rss); fi
wait "$pacer"
rss2=$(rss)
cpu1=$(cpu)
kill -TERM "$pid"
wait "$shell" 2>/dev/null || true
pid=
used=$(awk -v a="$cpu0" -v b="$cpu1" 'BEGIN { printf "%.2f", b - a }')
echo "flood: $(cat "$work/sent") packets in $seconds s (target $rate/s)"
echo "resident memory: start ${rss0} kB, after 60 s ${rss1:-n/a} kB, end ${rss2} kB"
echo "CPU: $used s in $seconds s = $(awk -v u="$used" -v s="$seconds" 'BEGIN { printf "%.1f", 100 * u / s }')% of one core"
