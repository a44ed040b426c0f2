#!/usr/bin/env bash
# The capability a packet tool needs is used once and never reaches code the user loads. A copy
# of the program is given cap_net_raw and run as user nobody in a network namespace, with
# QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS naming a plugin that tries to open a packet socket
# when loaded. The plugin must be refused, /proc/PID/status of every thread must show empty
# capability sets, and the program must still count every IPv4 byte of the link exactly,
# also across a SIGSTOP of 2 s while 200 echo requests a second (and their replies) go by.
# Without CAP_BPF the kernel refuses the counting programs: the program counts with the packet
# ring and says why in its first line.
# Usage: privilege.sh /path/to/velmora /path/to/probe_plugins     Exit 77 = skipped (not root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
plugins=$(realpath "$2")
. "$here/helpers.sh"
need_root
for tool in setcap setpriv ping; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing" >&2; exit 77; }
done
[ -f "$plugins/generic/libvelmora_socket_probe.so" ] || { echo "FAIL: no probe plugin in $plugins" >&2; exit 1; }

e2e_setup
velmora_log=$work/run/velmora.log

# Everything nobody needs, readable by nobody; only the run directory writable.
chmod 755 "$work"
cp "$binary" "$work/velmora"
setcap cap_net_raw+ep "$work/velmora" || { echo "SKIP: setcap refused here" >&2; exit 77; }
getcap "$work/velmora" | grep -q cap_net_raw || fail "the copy holds no file capability"
mkdir -p "$work/plugins/generic" "$work/run/profiles"
cp "$plugins/generic/libvelmora_socket_probe.so" "$work/plugins/generic/"
chmod -R a+rX "$work/plugins"
write_profile "$work/run/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
chown -R nobody "$work/run"
probe=$work/run/probe

(cd "$work/run" && exec ip netns exec "$METER_NS" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$work/plugins" QT_QPA_GENERIC_PLUGINS=velmoraprobe \
    VELMORA_PROBE_RESULT="$probe" ASAN_OPTIONS=detect_leaks=0 "$work/velmora" >"$work/run/velmora.log" 2>&1) &
velmora_pid=$!
wait_until 30 capture_running || fail "velmora did not start counting within 30 s"
[ "$(stat -c %U "/proc/$velmora_pid")" = nobody ] || fail "velmora does not run as nobody"

# The plugin was loaded and its packet socket refused (EPERM = 1).
wait_until 30 test -f "$probe" || fail "the probe plugin was never loaded: the test proves nothing"
echo "plugin: $(cat "$probe")"
[ "$(cat "$probe")" = "refused 1" ] || fail "the user's plugin got: $(cat "$probe")"

# No thread holds a capability.
for status in /proc/"$velmora_pid"/task/*/status; do
  grep -E '^Cap(Inh|Prm|Eff|Amb):' "$status" | grep -vq '0000000000000000$' &&
    fail "a thread holds capabilities: $(grep ^Cap "$status" | tr '\n' ' ')"
done
grep -E '^Cap(Prm|Eff):' "/proc/$velmora_pid/status"
grep -q "counting with the packet ring: the kernel refused the counting programs: Operation not permitted; they need CAP_BPF and CAP_NET_ADMIN" \
  "$velmora_log" || fail "the choice of the packet ring and its reason were not said"

# Traffic while the program is stopped for 2 s: the ring holds it.
read -r rx0 tx0 < <(rx_tx)
in_peer ping -q -c 600 -i 0.005 -s 200 "$METER_ADDR" >/dev/null &
pinger=$!
sleep 0.5
kill -STOP "$velmora_pid"
sleep 2
kill -CONT "$velmora_pid"
wait "$pinger" || fail "the echo requests were not all answered"
wait_until 10 counters_settled
read -r rx1 tx1 < <(rx_tx)

stop_velmora TERM

file=$work/run/profiles/Default.xml
whole_file "$file" || fail "Default.xml is not whole"
down=$(total "$file" down); up=$(total "$file" up)
echo "Default: down $down (kernel $((rx1 - rx0))), up $up (kernel $((tx1 - tx0)))"
same_as_stored $((rx1 - rx0)) "$down" || fail "download $down, kernel $((rx1 - rx0))"
same_as_stored $((tx1 - tx0)) "$up" || fail "upload $up, kernel $((tx1 - tx0))"
[ $((rx1 - rx0)) -gt 600 ] || fail "no traffic was made"
grep -q "kernel dropped" "$work/run/velmora.log" && fail "the capture lost packets: $(cat "$work/run/velmora.log")"
echo "e2e privilege: passed"
