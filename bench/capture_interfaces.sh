#!/usr/bin/env bash
# The program's cost against the number of interfaces: runs the real program in a network
# namespace holding N interfaces (one end of a veth pair each), each up with a local address
# (documentation ranges only), and prints its resident memory and threads once the address watcher has seen them
# all, and the time from SIGTERM to its exit.
#
#   sudo bench/capture_interfaces.sh [build-dir] [interface-counts...]   (default build/default 1 200)
#
# Target: memory, threads and exit time do not grow with the interfaces.
set -euo pipefail

build=${1:-build/default}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1 200)
binary=$(realpath "$build/velmora")
[ "$(id -u)" -eq 0 ] || { echo "capture_interfaces: needs root (network namespaces)" >&2; exit 1; }

ns="velmora-ifaces-$$"
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The Nth address (1-based) of 203.0.113.0/24, then 198.51.100.0/24, then 192.0.2.0/24.
address_of() {
  local n=$1 nets=(203.0.113 198.51.100 192.0.2)
  echo "${nets[$(((n - 1) / 250))]}.$(((n - 1) % 250 + 1))"
}

printf '%-10s %-12s %-8s %-10s\n' interfaces "rss (kB)" threads "exit (s)"
for count in "${counts[@]}"; do
  [ "$count" -ge 1 ] && [ "$count" -le 750 ] || { echo "1 to 750 interfaces" >&2; exit 1; }
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  for n in $(seq "$count"); do
    echo "link add vd$n type veth peer name vp$n"
    echo "addr add $(address_of "$n")/32 dev vd$n"
    echo "link set vd$n up"
  done | ip -n "$ns" -batch -
  mkdir -p "$work/run$count/profiles"
  (cd "$work/run$count" && exec ip netns exec "$ns" env QT_QPA_PLATFORM=offscreen "$binary" >"$work/log$count" 2>&1) &
  pid=$!
  sleep 5 # the watcher's first pass, and the window settled
  kill -0 "$pid" 2>/dev/null || { cat "$work/log$count"; exit 1; }
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
  threads=$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status")
  start=$(date +%s.%N)
  kill -TERM "$pid"
  while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
  wait "$pid" 2>/dev/null || true
  end=$(date +%s.%N)
  pid=
  printf '%-10s %-12s %-8s %-10.2f\n' "$count" "$rss" "$threads" "$(echo "$end - $start" | bc)"
  ip netns del "$ns"
done
