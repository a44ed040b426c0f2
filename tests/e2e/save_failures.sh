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
. "$here/helpers.sh"
need_root
e2e_setup

# stop_and_repair REPAIR: ends velmora with SIGTERM; REPAIR (a function name or "") runs once
# the failing save at exit has been said, while it is being retried. Sets `status`.
stop_and_repair() {
  if [ -z "$1" ]; then
    stop_velmora TERM
    return
  fi
  kill -TERM "$velmora_pid"
  wait_until 30 grep -q "^velmora: could not save" "$velmora_log" || fail "the failing save was not said within 30 s"
  f=$(ls "$dir"/profiles*/Default.xml)
  echo "stored while failing: down $(total "$f" down), up $(total "$f" up)"
  "$1"
  await_velmora_end SIGTERM
}

traffic() { # some UDP to the peer and a ping back; returns once the counters settled
  in_peer timeout 10 nc -u -l 5001 >/dev/null &
  wait_until 10 udp_listening "$PEER_NS" 5001 || fail "no listener"
  in_meter timeout 10 nc -u -w1 -s "$METER_ADDR" "$PEER_ADDR" 5001 < <(for _ in $(seq 30); do head -c 1200 /dev/zero; sleep 0.01; done)
  in_meter ping -q -c 3 -i 0.2 -s 1000 "$PEER_ADDR" >/dev/null
  wait_until 10 counters_settled
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
# Lazily detached: the program retrying its save may hold the mount busy at that instant.
repair_readonly() { nsenter -t "$velmora_pid" -m umount -l "$dir/profiles"; }
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
    e2e_mounts+=("$dir")
  fi
  mkdir -p "$dir/profiles"
  write_profile "$dir/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
  start_velmora "$dir" "$dir.log" # next to DIR, since DIR may fill up
  read -r rx0 tx0 < <(rx_tx)
  traffic
  "break_$fault"
  repair=
  [ "$repaired" = yes ] && repair="repair_$fault"
  echo "--- $fault, repaired: $repaired"
  stop_and_repair "$repair"
  read -r rx1 tx1 < <(rx_tx)
  said=$(grep '^velmora: ' "$dir.log" || true)
  echo "exit status $status"
  echo "$said"
  # The usage database fails on the same disk: "(and 1 more)" follows the first failure.
  grep -Eq "^velmora: could not save .*profiles.*: $reason( \(and [0-9]+ more\))?; the totals are kept in memory" <<<"$said" ||
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
start_velmora "$dir" "$dir.log"
open=$(ls "/proc/$velmora_pid/fd" | wc -l)
prlimit --pid "$velmora_pid" --nofile=$((open + 6)):$((open + 6))
read -r rx0 tx0 < <(rx_tx)
traffic
stop_velmora TERM
read -r rx1 tx1 < <(rx_tx)
echo "--- descriptor limit $((open + 6)) ($open open), exit status $status"
# (The first line says which packet source counts.)
grep '^velmora: ' "$dir.log" | grep -v '^velmora: counting ' && fail "a save failed under the descriptor limit"
[ "$status" -eq 0 ] || fail "exit status $status under the descriptor limit"
for f in "$dir"/profiles/*.xml; do
  whole_file "$f" || fail "$f is not whole"
  same_as_stored $((tx1 - tx0)) "$(total "$f" up)" || fail "$(basename "$f") was not saved"
done
echo "all $(ls "$dir"/profiles/*.xml | wc -l) profiles saved under a limit of $((open + 6)) descriptors"
echo "save failures: passed"
