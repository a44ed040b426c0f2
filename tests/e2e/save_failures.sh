#!/usr/bin/env bash
# The real program when its saves fail. Velmora runs in a network namespace and counts bounded
# traffic; then the profile directory breaks (a small tmpfs filled up, a read-only bind mount,
# profiles/ replaced by a file) and the program is told to end. The save at exit fails, which
# must be said on standard error with the file and the reason. In the "recovers" cases the
# disk is repaired while the program retries, and it must end with status 0 and files holding
# exactly the kernel's byte counts; in the "stays broken" case it must say that it gave up and
# end with a non-zero status. A last run lowers the descriptor limit of the running program
# (prlimit) below what its 101 profiles need at once: every file must still be written.
# Usage: save_failures.sh /path/to/velmora      Exit 77 = skipped (not root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
. "$here/netns.sh"
. "$here/profiles.sh"
need_root

work=$(mktemp -d)
velmora_pid=
mounts=()
cleanup() {
  [ -n "$velmora_pid" ] && kill -9 "$velmora_pid" 2>/dev/null || true
  for m in "${mounts[@]}"; do umount -l "$m" 2>/dev/null || true; done
  drop_hosts
  rm -rf "$work"
}
trap cleanup EXIT
make_hosts

fail() { echo "FAIL: $*" >&2; [ -f "$dir.log" ] && cat "$dir.log" >&2; exit 1; }

rx_tx() {
  local s=/sys/class/net/vm0/statistics
  in_meter sh -c "echo \$(( \$(cat $s/rx_bytes) - 14 * \$(cat $s/rx_packets) )) \$(( \$(cat $s/tx_bytes) - 14 * \$(cat $s/tx_packets) ))"
}

start_velmora() { # DIR; the log goes next to it, "DIR.log", since DIR may fill up
  (cd "$1" && exec ip netns exec "$METER_NS" env QT_QPA_PLATFORM=offscreen \
      ASAN_OPTIONS=detect_leaks=0 "$binary" >"$1.log" 2>&1) &
  velmora_pid=$!
  sleep 3
  kill -0 "$velmora_pid" 2>/dev/null || fail "velmora did not start"
}

# Ends velmora with SIGTERM; REPAIR (a function name or "") runs 1.5 s later, while the save at
# exit is being retried. Sets `status`.
stop_velmora() { # REPAIR
  kill -TERM "$velmora_pid"
  if [ -n "$1" ]; then
    sleep 1.5
    f=$(ls "$dir"/profiles*/Default.xml)
    echo "stored while failing: down $(total "$f" down), up $(total "$f" up)"
    "$1"
  fi
  for _ in $(seq 150); do kill -0 "$velmora_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$velmora_pid" 2>/dev/null && fail "velmora still running 15 s after SIGTERM"
  status=0
  wait "$velmora_pid" || status=$?
  velmora_pid=
}

traffic() { # some UDP to the peer and a ping back; ends 0.2 s before the caller goes on
  in_peer timeout 10 nc -u -l 5001 >/dev/null &
  sleep 0.3
  in_meter timeout 10 nc -u -w1 -s "$METER_ADDR" "$PEER_ADDR" 5001 < <(for _ in $(seq 30); do head -c 1200 /dev/zero; sleep 0.01; done)
  in_meter ping -q -c 3 -i 0.2 -s 1000 "$PEER_ADDR" >/dev/null
  sleep 0.2
}

# Each fault: how to break profiles/ and how to repair it, in DIR (the program's directory).
break_full() {
  dd if=/dev/zero of="$dir/filler" bs=64k 2>/dev/null || true
}
repair_full() { rm -f "$dir/filler"; }
break_readonly() {
  nsenter -t "$velmora_pid" -m mount --bind "$dir/profiles" "$dir/profiles"
  nsenter -t "$velmora_pid" -m mount -o remount,bind,ro "$dir/profiles"
}
repair_readonly() { nsenter -t "$velmora_pid" -m umount "$dir/profiles"; }
break_file() {
  mv "$dir/profiles" "$dir/profiles.away"
  echo "not a directory" >"$dir/profiles"
}
repair_file() { rm "$dir/profiles"; mv "$dir/profiles.away" "$dir/profiles"; }

# fault, reason the program must give, repaired while retrying?
cases=(
  "full|No space left on device|yes"
  "readonly|Read-only file system|yes"
  "file|Not a directory|yes"
  "readonly|Read-only file system|no"
)
n=0
for entry in "${cases[@]}"; do
  IFS='|' read -r fault reason repaired <<<"$entry"
  n=$((n + 1))
  dir=$work/run$n
  mkdir -p "$dir"
  if [ "$fault" = full ]; then
    mount -t tmpfs -o size=1m tmpfs "$dir"
    mounts+=("$dir")
  fi
  mkdir -p "$dir/profiles"
  write_profile "$dir/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
  start_velmora "$dir"
  read -r rx0 tx0 < <(rx_tx)
  traffic
  "break_$fault"
  repair=
  [ "$repaired" = yes ] && repair="repair_$fault"
  echo "--- $fault, repaired: $repaired"
  stop_velmora "$repair"
  read -r rx1 tx1 < <(rx_tx)
  said=$(grep '^velmora: ' "$dir.log" || true)
  echo "exit status $status"
  echo "$said"
  grep -q "^velmora: could not save .*profiles.*: $reason; the totals are kept in memory" <<<"$said" ||
    fail "$fault: no line naming the file and \"$reason\""
  if [ "$repaired" = yes ]; then
    [ "$status" -eq 0 ] || fail "$fault: exit status $status after the disk recovered"
    grep -q "saved again" <<<"$said" || fail "$fault: recovery not said"
    f=$dir/profiles/Default.xml
    whole_file "$f" || fail "$fault: Default.xml is not whole"
    down=$(total "$f" down); up=$(total "$f" up)
    echo "totals after recovery: down $down (kernel $((rx1 - rx0))), up $up (kernel $((tx1 - tx0)))"
    same_as_stored $((rx1 - rx0)) "$down" && same_as_stored $((tx1 - tx0)) "$up" ||
      fail "$fault: counted traffic lost"
    [ $((tx1 - tx0)) -gt 30000 ] || fail "no traffic was made"
  else
    [ "$status" -ne 0 ] || fail "$fault: exit status 0 although the save at exit failed"
    grep -q "gave up saving at exit" <<<"$said" || fail "$fault: giving up not said"
  fi
done

# Descriptors: 101 profiles, and a limit a few above what the running program holds open.
dir=$work/descriptors
mkdir -p "$dir/profiles"
write_profile "$dir/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
for i in $(seq 100); do write_profile "$dir/profiles" "P$i.xml" "P$i" "$METER_ADDR" "1:*.*.*.*" "1:0"; done
start_velmora "$dir"
open=$(ls "/proc/$velmora_pid/fd" | wc -l)
prlimit --pid "$velmora_pid" --nofile=$((open + 6)):$((open + 6))
read -r rx0 tx0 < <(rx_tx)
traffic
stop_velmora ""
read -r rx1 tx1 < <(rx_tx)
echo "--- descriptor limit $((open + 6)) ($open open), exit status $status"
grep '^velmora: ' "$dir.log" && fail "a save failed under the descriptor limit"
[ "$status" -eq 0 ] || fail "exit status $status under the descriptor limit"
for f in "$dir"/profiles/*.xml; do
  whole_file "$f" || fail "$f is not whole"
  same_as_stored $((tx1 - tx0)) "$(total "$f" up)" || fail "$(basename "$f") was not saved"
done
echo "all $(ls "$dir"/profiles/*.xml | wc -l) profiles saved under a limit of $((open + 6)) descriptors"
echo "save failures: passed"
