#!/usr/bin/env bash
# velmorad stays inside the sandbox its unit sets: run in a network namespace under strace while
# traffic goes by, a metrics file written and the profiles saved at SIGTERM, every system call
# it makes is one the unit's SystemCallFilter lines allow (as systemd-analyze expands their
# groups), and every socket it opens is of a family RestrictAddressFamilies allows.
# Usage: unit_sandbox.sh velmora.service.in /path/to/velmorad      Exit 77 = skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")/../e2e" && pwd)
unit=$1
binary=$(realpath "$2")
. "$here/helpers.sh"
need_root
for tool in strace systemd-analyze ping; do
  command -v "$tool" >/dev/null || { echo "SKIP: no $tool" >&2; exit 77; }
done
# A sanitizer's run time makes system calls of its own that the service never makes.
if ldd "$binary" | grep -qE 'lib(asan|tsan|ubsan)'; then echo "SKIP: a sanitizer build" >&2; exit 77; fi
e2e_setup

# The groups of a filter, expanded to system call names.
expand() {
  local name
  for name in "$@"; do
    case $name in
      @*) systemd-analyze syscall-filter "$name" | awk 'NR > 1 && !/^ *#/ && NF { print $1 }' |
            while read -r inner; do expand "$inner"; done ;;
      *) echo "$name" ;;
    esac
  done
}
allowed=() denied=()
while IFS= read -r line; do
  value=${line#SystemCallFilter=}
  if [[ $value == ~* ]]; then read -ra names <<<"${value#\~}"; denied+=("${names[@]}")
  else read -ra names <<<"$value"; allowed+=("${names[@]}"); fi
done < <(grep '^SystemCallFilter=' "$unit")
[ "${#allowed[@]}" -gt 0 ] || fail "the unit has no allow-list of system calls"
comm -23 <(expand "${allowed[@]}" | sort -u) <(expand "${denied[@]}" | sort -u) >"$work/allowed"
families=$(sed -n 's/^RestrictAddressFamilies=//p' "$unit")

mkdir -p "$work/data/profiles"
write_profile "$work/data/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
(cd "$work/data" && exec ip netns exec "$METER_NS" strace -f -qq -o "$work/trace" "$binary" \
    --metrics-file "$work/data/velmora.prom" >"$work/log" 2>&1) &
tracer=$!
# (Its kernel counting helper, velmora-bpf, runs in the namespace too.)
velmorad_pid() { ip netns pids "$METER_NS" | while read -r p; do if [ "$(cat "/proc/$p/comm" 2>/dev/null)" = velmorad ]; then echo "$p"; fi; done | head -n1; }
wait_until 30 eval '[ -n "$(velmorad_pid)" ] && [ -s "$work/data/velmora.prom" ]' || fail "velmorad did not start"
velmora_pid=$(velmorad_pid)
wait_until 30 capture_running || fail "velmorad did not start counting"
in_peer ping -q -c 20 -i 0.05 "$METER_ADDR" >/dev/null
kill -TERM "$velmora_pid"
wait "$tracer" || fail "velmorad ended with status $?: $(cat "$work/log")"
velmora_pid=
grep -q "stopped, profiles saved" "$work/log" || fail "no save at the end: $(cat "$work/log")"

used=$(sed -E 's/^[0-9]+ +//; s/^<\.\.\. ([a-z_0-9]+) resumed>.*/\1(/' "$work/trace" | grep -oE '^[a-z_0-9]+\(' | tr -d '(' | sort -u)
outside=$(comm -23 <(echo "$used") "$work/allowed")
[ -z "$outside" ] || fail "system calls the unit's filter refuses: $(echo $outside)"
for family in $(grep -oE '^[0-9]+ +socket\((AF|PF)_[A-Z0-9]+' "$work/trace" | grep -oE '(AF|PF)_[A-Z0-9]+' | sort -u); do
  grep -qw "AF_${family#*_}" <<<"$families" || fail "a socket of family $family, which the unit refuses"
done
echo "velmorad used $(wc -w <<<"$used") system calls, all allowed; socket families: $(grep -oE 'socket\((AF|PF)_[A-Z0-9]+' "$work/trace" | sort -u | cut -d'(' -f2 | tr '\n' ' ')"
