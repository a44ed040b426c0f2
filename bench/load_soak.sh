#!/usr/bin/env bash
# Memory and CPU of the real program under load: Velmora runs in a network namespace while a
# peer namespace sends it a steady flood of small UDP packets (100k packets/s by default).
# Prints resident memory when the capture is up, after the first minute (and the first periodic
# save of the profiles) and at the end, the CPU seconds used (process and per thread), the rate
# the meter's interface really received, and how many of those packets the program counted
# (the rest were dropped on the way to it: the packet ring was full).
# Targets: no growth of resident memory after the first minute; at most 10% of one core.
# Usage: bench/load_soak.sh BUILD-DIR [SECONDS] [PACKETS-PER-SECOND]     (as root)
#        RSS_EVERY=N samples memory every N s instead of 10.
#        PROGRAM=velmorad measures the service binary (daemon/velmorad) instead of the window's.
#        BESIDE=tcpdump also runs `tcpdump -w /dev/null` on the same interface and prints its
#        resident memory next to the program's.
#        MAX_RSS_KB=N (with CHECK=1) also fails when resident memory ever exceeds N kB.
#        UPLOAD_MB=N replaces the flood with an upload of N MiB over TCP from the program's
#        namespace to the peer (offloads off: every packet at its wire size, as a card without
#        offloads or a VPN's tunnel delivers them), and compares the Default profile's upload
#        with the IP bytes the interface sent.
#        BUSY=1 keeps both cores busy meanwhile (one CPU-bound process on each).
#        COUNTING=ring|tc passes --counting to the program (default: the kernel source where it
#        loads); with the kernel source the helper's resident memory and CPU are printed too.
#        CHECK=1 exits non-zero when a target is missed (CI runs it so, for a shorter time):
#        resident memory more than 256 kB above the 70 s sample later on, more than 10% of one
#        core, or packets the program did not count.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build/default}")
seconds=${2:-300}
rate=${3:-100000}
payload=18 # 46-byte IP packets
every=${RSS_EVERY:-10} # seconds between memory samples
. "$top/tests/e2e/netns.sh"
. "$top/tests/e2e/profiles.sh"
need_root
program=${PROGRAM:-velmora}
case "$program" in
  velmora) program_binary="$build/velmora" ;;
  velmorad) program_binary="$build/daemon/velmorad" ;;
  *) echo "load_soak: PROGRAM is velmora or velmorad" >&2; exit 1 ;;
esac
for binary in "$program_binary" "$build/bench/udp_pacer"; do
  [ -x "$binary" ] || { echo "load_soak: build $binary first" >&2; exit 1; }
done

work=$(mktemp -d)
pid=
beside=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; [ -n "$beside" ] && kill -9 "$beside" 2>/dev/null; drop_hosts; rm -rf "$work"' EXIT
make_hosts
mkdir -p "$work/profiles"
write_profile "$work/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
write_profile "$work/profiles" Web.xml Web "$METER_ADDR" "0:10.*.*.* 1:*.*.*.*" "0:80 1:0"

# `ip netns exec` and `env` both exec, so $! is the program itself; checked below all the same.
(cd "$work" && exec ip netns exec "$METER_NS" env QT_QPA_PLATFORM=offscreen "$program_binary" \
   ${COUNTING:+--counting "$COUNTING"} >"$work/log" 2>&1) &
pid=$!
capture_up=
for _ in $(seq 100); do
  sleep 0.1
  if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" != "$program" ]; then
    pid=$(ip netns pids "$METER_NS" | while read -r p; do if [ "$(cat "/proc/$p/comm")" = "$program" ]; then echo "$p"; fi; done | head -n1)
    [ -n "$pid" ] || continue
  fi
  if grep -qxE 'velmora-(capture|kernel)' "/proc/$pid"/task/*/comm 2>/dev/null; then capture_up=1; break; fi
done
[ -n "$capture_up" ] || { cat "$work/log"; echo "load_soak: the program did not open its capture" >&2; exit 1; }

rss() { awk '/VmRSS/ { print $2 }' "/proc/${1:-$pid}/status"; }
ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/${1:-$pid}/stat"; } # utime + stime
# The kernel source's helper process, when the program counts with it.
helper=$(pgrep -P "$pid" -x velmora-bpf | head -n1 || true)
helper_ticks0=${helper:+$(ticks "$helper")}
# One line per thread: "tid name ticks" (the name may hold spaces: it sits between the parentheses).
thread_ticks() {
  for stat in "/proc/$pid"/task/*/stat; do
    awk '{ tid = $1; name = $0; sub(/^[^(]*\(/, "", name); sub(/\) [^)]*$/, "", name); gsub(/ /, "_", name)
           rest = $0; sub(/^.*\) /, "", rest); split(rest, f, " "); print tid, name, f[12] + f[13] }' "$stat"
  done
}
counter() { in_meter cat "/sys/class/net/vm0/statistics/$1"; }
hz=$(getconf CLK_TCK)

if [ "${BESIDE:-}" = tcpdump ]; then
  (exec ip netns exec "$METER_NS" tcpdump -i vm0 -n -q -w /dev/null >"$work/tcpdump.log" 2>&1) &
  beside=$!
  for _ in $(seq 100); do grep -q "listening on" "$work/tcpdump.log" && break; sleep 0.1; done
fi

busy=
if [ "${BUSY:-0}" = 1 ]; then
  for _ in 1 2; do (exec timeout $((seconds + 60)) sh -c 'while :; do :; done') & busy="$busy $!"; done
fi
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; [ -n "$beside" ] && kill -9 "$beside" 2>/dev/null; [ -n "$busy" ] && kill $busy 2>/dev/null; drop_hosts; rm -rf "$work"' EXIT

rx_packets0=$(counter rx_packets)
tx_ip_bytes() { in_meter sh -c "echo \$(( \$(cat /sys/class/net/vm0/statistics/tx_bytes) - 14 * \$(cat /sys/class/net/vm0/statistics/tx_packets) ))"; }
tx_bytes0=$(tx_ip_bytes)
thread_ticks >"$work/threads0"
ticks0=$(ticks)
rss0=$(rss)
start=$(date +%s.%N)
if [ -n "${UPLOAD_MB:-}" ]; then
  in_peer timeout $((seconds + 60)) nc -l 5001 >/dev/null &
  for _ in $(seq 50); do in_peer ss -Hltn "sport = :5001" | grep -q . && break; sleep 0.1; done
  (head -c "$((UPLOAD_MB << 20))" /dev/zero | in_meter timeout $((seconds + 60)) nc -N "$PEER_ADDR" 5001
   echo "$UPLOAD_MB MiB uploaded" >"$work/sent") &
else
  in_peer "$build/bench/udp_pacer" "$METER_ADDR" 9 "$rate" "$seconds" "$payload" >"$work/sent" &
fi
pacer=$!
# Resident memory every $every s while the flood runs.
(
  t=0
  while kill -0 "$pacer" 2>/dev/null; do
    sleep "$every"; t=$((t + every))
    kill -0 "$pacer" 2>/dev/null && echo "$t $(rss) ${beside:+$(rss "$beside")}"
  done
) >"$work/rss" &
sampler=$!
wait "$pacer"
elapsed=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
kill "$sampler" 2>/dev/null || true
wait "$sampler" 2>/dev/null || true
sleep 0.5 # the ring hands over a block at the latest 50 ms after its first packet
rss2=$(rss)
if [ -n "$beside" ]; then
  beside_rss=$(rss "$beside")
  kill -TERM "$beside"; wait "$beside" 2>/dev/null || true; beside=
fi
ticks1=$(ticks)
thread_ticks >"$work/threads1"
if [ -n "$helper" ]; then helper_rss=$(rss "$helper"); helper_ticks1=$(ticks "$helper"); fi
rx_packets1=$(counter rx_packets)
tx_bytes=$(($(tx_ip_bytes) - tx_bytes0))
rx_bytes=$(in_meter sh -c "echo \$(( \$(cat /sys/class/net/vm0/statistics/rx_bytes) - 14 * \$(cat /sys/class/net/vm0/statistics/rx_packets) ))")

kill -TERM "$pid"
for _ in $(seq 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
wait "$pid" 2>/dev/null || true
pid=

received=$((rx_packets1 - rx_packets0))
used=$(awk -v a="$ticks0" -v b="$ticks1" -v hz="$hz" 'BEGIN { printf "%.2f", (b - a) / hz }')
# The program saves its profiles a minute after it starts (and every minute after): the
# reference is the first sample past that first save.
rss1=$(awk '$1 >= 70 { print $2; exit }' "$work/rss")
echo "flood: $(cat "$work/sent") packets sent in ${elapsed} s (target $rate/s); the meter's interface received $received ($(awk -v n="$received" -v s="$elapsed" 'BEGIN { printf "%.0f", n / s }')/s)"
echo "resident memory: start ${rss0} kB, after 70 s (first minute and first save) ${rss1:-n/a} kB, end ${rss2} kB"
echo "resident memory every $every s (kB): $(awk '{ printf "%s%d", (NR > 1 ? " " : ""), $2 }' "$work/rss")"
if [ -n "${beside_rss:-}" ]; then
  echo "beside it, tcpdump -w /dev/null on the same interface: resident memory at the end ${beside_rss} kB, every $every s (kB): $(awk '{ printf "%s%d", (NR > 1 ? " " : ""), $3 }' "$work/rss")"
fi
if [ -n "$rss1" ]; then
  awk '$1 >= 70 { if (min == "" || $2 < min) min = $2; if ($2 > max) max = $2 }
       END { printf "resident memory from 70 s on: min %d kB, max %d kB\n", min, max }' "$work/rss"
fi
echo "counting: $(grep -m1 -oE 'counting (in the kernel|with the packet ring|nothing).*' "$work/log")"
if [ -n "$helper" ]; then
  echo "kernel counting helper (velmora-bpf): resident memory ${helper_rss} kB, CPU $(awk -v a="$helper_ticks0" -v b="$helper_ticks1" -v hz="$hz" 'BEGIN { printf "%.2f", (b - a) / hz }') s"
fi
echo "CPU: $used s in $elapsed s = $(awk -v u="$used" -v s="$elapsed" 'BEGIN { printf "%.1f", 100 * u / s }')% of one core"
echo "CPU per thread (s):"
awk -v hz="$hz" 'NR == FNR { before[$1] = $3; next }
                 { used = ($3 - before[$1]) / hz; if (used > 0) printf "  %-16s %6.2f\n", $2, used }' \
    "$work/threads0" "$work/threads1"
# The Default profile counts every packet of the interface (IP bytes, as its day totals); what
# it lacks was lost before the program saw it (packet socket ring full: kernel drops).
if [ -n "${UPLOAD_MB:-}" ] && whole_file "$work/profiles/Default.xml"; then
  # What the program wrote, and the peer's replies, are both in the day totals: the upload
  # is compared, with the IP bytes the interface sent since the start.
  counted=$(total "$work/profiles/Default.xml" up)
  rx_bytes=$tx_bytes
  awk -v c="$counted" -v r="$tx_bytes" 'BEGIN {
    printf "counted upload: %.0f of %.0f sent IP bytes (%.4f): ", c, r, c / r
    if (sprintf("%.6g", r) + 0 == c + 0) print "every packet"
    else printf "about %.0f full-size packets missed\n", (r - c) / 1500 }'
elif whole_file "$work/profiles/Default.xml"; then
  counted=$(total "$work/profiles/Default.xml" down)
  awk -v c="$counted" -v r="$rx_bytes" -v size=$((payload + 28)) 'BEGIN {
    printf "counted: %.0f of %.0f received IP bytes (totals are saved with six significant digits): ", c, r
    if (sprintf("%.6g", r) + 0 == c + 0) print "every packet"
    else printf "about %.0f packets missed\n", (r - c) / size }'
else
  echo "counted: no saved Default profile (see the program's log below)"; cat "$work/log"
  counted=-1
fi

if [ "${CHECK:-0}" = 1 ]; then
  missed=""
  if [ -n "$rss1" ]; then
    grown=$(awk -v ref="$rss1" '$1 >= 70 && $2 > max { max = $2 } END { print max - ref }' "$work/rss")
    [ "$grown" -le 256 ] || missed="$missed; resident memory grew $grown kB after the first minute"
  fi
  if [ -n "${MAX_RSS_KB:-}" ]; then
    peak=$(awk -v end="$rss2" '$2 > max { max = $2 } END { print (end > max ? end : max) }' "$work/rss")
    [ "$peak" -le "$MAX_RSS_KB" ] || missed="$missed; resident memory reached $peak kB (at most $MAX_RSS_KB)"
  fi
  awk -v u="$used" -v s="$elapsed" 'BEGIN { exit !(u <= 0.10 * s) }' || missed="$missed; CPU above 10% of one core"
  awk -v c="$counted" -v r="$rx_bytes" 'BEGIN { exit !(sprintf("%.6g", r) + 0 == c + 0) }' ||
    missed="$missed; not every packet was counted"
  if [ -n "$missed" ]; then echo "load_soak: target missed${missed}" >&2; exit 1; fi
  echo "load_soak: targets met"
fi
