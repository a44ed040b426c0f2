# What the end-to-end scripts share: the test hosts (netns.sh), profile files (profiles.sh),
# starting the program under test in the meter's namespace and waiting until it counts,
# stopping it and taking its status, the failure exit, and the cleanup on any exit.
# Source it after setting `binary`; then call need_root, e2e_setup (makes the hosts and a work
# directory, $work). Every wait is for a condition, bounded in time, so a loaded machine only
# makes the tests slower.
here=${here:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}
. "$here/netns.sh"
. "$here/profiles.sh"

work=
velmora_pid=
velmora_log=
e2e_mounts=()

# Ends what the test started, whatever way it ends: the program, mounts (detached lazily, as a
# busy one cannot be unmounted otherwise), the namespaces and the work directory.
e2e_cleanup() {
  [ -n "$velmora_pid" ] && kill -9 "$velmora_pid" 2>/dev/null || true
  local m
  for m in "${e2e_mounts[@]}"; do umount -l "$m" 2>/dev/null || true; done
  drop_hosts
  [ -n "$work" ] && rm -rf "$work"
}

e2e_setup() {
  work=$(mktemp -d)
  trap e2e_cleanup EXIT
  make_hosts
}

fail() {
  echo "FAIL: $*" >&2
  [ -n "$velmora_log" ] && [ -f "$velmora_log" ] && cat "$velmora_log" >&2
  exit 1
}

# wait_until SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds; false on timeout.
wait_until() {
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

# The program's capture thread runs, or the thread that takes the kernel source's flows: from
# now on its packets are counted.
capture_running() { grep -qxE 'velmora-(capture|kernel)' "/proc/$velmora_pid"/task/*/comm 2>/dev/null; }

# start_velmora DIR LOG [OPTION...]: the program in DIR, in the meter's namespace, its output in
# LOG; returns once it counts (at most 30 s).
start_velmora() {
  local dir=$1
  velmora_log=$2
  shift 2
  (cd "$dir" && exec ip netns exec "$METER_NS" env QT_QPA_PLATFORM=offscreen \
      ASAN_OPTIONS=detect_leaks=0 "$binary" "$@" >"$velmora_log" 2>&1) &
  velmora_pid=$!
  wait_until 30 capture_running || fail "velmora did not start counting within 30 s"
}

# stop_velmora SIGNAL: sends it and waits for the end; sets `status`.
stop_velmora() {
  kill "-$1" "$velmora_pid"
  await_velmora_end "SIG$1"
}

# await_velmora_end WHAT: waits (at most 30 s) for the program to end after WHAT; sets `status`.
await_velmora_end() {
  wait_until 30 eval '! kill -0 "$velmora_pid" 2>/dev/null' || fail "velmora still running 30 s after $1"
  status=0
  wait "$velmora_pid" 2>/dev/null || status=$?
  velmora_pid=
}

# rx_tx: the IP-level bytes the meter's interface received and sent so far, "rx tx".
rx_tx() {
  local s=/sys/class/net/vm0/statistics
  in_meter sh -c "echo \$(( \$(cat $s/rx_bytes) - 14 * \$(cat $s/rx_packets) )) \$(( \$(cat $s/tx_bytes) - 14 * \$(cat $s/tx_packets) ))"
}

# udp_listening NS PORT: a UDP socket is bound to PORT in the namespace.
udp_listening() { ip netns exec "$1" ss -Hlun "sport = :$2" | grep -q .; }
tcp_listening() { ip netns exec "$1" ss -Hltn "sport = :$2" | grep -q .; }

# Interface counters settle once the last packet's way through the stack is done: two equal
# readings 0.2 s apart.
counters_settled() {
  local a b
  a=$(rx_tx); sleep 0.2; b=$(rx_tx)
  [ "$a" = "$b" ]
}
