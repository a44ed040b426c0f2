#!/usr/bin/env bash
# Velmora's quotas on a real X11 desktop (Xvfb, openbox, trayer) with a real notification
# daemon (dunst) on a session bus of its own, counting ping traffic in a network namespace.
# A day quota of 200 kB with a warning at 25%: the warning and the limit are each told once,
# as a Notify call to org.freedesktop.Notifications, recorded by dbus-monitor; the crossings
# are kept, so a restart tells neither again, until a raised limit makes another quota.
# Usage: quota_desktop.sh /path/to/velmora      Exit 77 = skipped (tools missing or not root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
. "$here/x11_desktop.sh"
need_x11_desktop
for tool in dunst dbus-daemon dbus-monitor dbus-send; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing; scripts/deps installs it" >&2; exit 77; }
done

work=$(mktemp -d)
velmora_pid=
helper_pids=()
cleanup() {
  local pid
  for pid in $velmora_pid "${helper_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null
  drop_hosts
  stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT

# A session bus on a socket path (an abstract socket would not be seen from the namespace).
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$work/bus.conf" --fork --print-address=3 --print-pid=4 3>"$work/bus.address" 4>"$work/bus.pid"
bus_pid=$(cat "$work/bus.pid")
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
export DBUS_SESSION_BUS_ADDRESS

make_hosts
start_desktop "$work"
dunst >"$work/dunst.log" 2>&1 &
helper_pids+=($!)
notification_service_runs() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications | grep -q 'boolean true'
}
wait_until 20 notification_service_runs || { cat "$work/dunst.log" >&2; fail "dunst did not start"; }
dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
  >"$work/notify.log" 2>&1 &
helper_pids+=($!)
wait_until 10 test -s "$work/notify.log" || fail "dbus-monitor did not start"

data=$work/data
mkdir -p "$data/profiles"
export XDG_CONFIG_HOME=$work/config
write_profile "$data/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
cat >"$data/quotas.json" <<'JSON'
{"quotas": [{"profile": "Default", "period": "day", "direction": "total",
             "limit_bytes": 200000, "warn_percent": 25}]}
JSON

start_velmora() {
  (cd "$data" && exec ip netns exec "$METER_NS" env ASAN_OPTIONS=detect_leaks=0 "$binary" >>"$work/velmora.log" 2>&1) &
  velmora_pid=$!
  wait_until 30 has_main_window "$velmora_pid" || { cat "$work/velmora.log" >&2; fail "no main window"; }
}
has_main_window() { [ -n "$(main_window "$1")" ]; }
notifications() { grep -c 'member=Notify' "$work/notify.log" || true; }
told() { grep -A6 'member=Notify' "$work/notify.log" | grep -q "string \"$1\""; }

step "start, traffic over the warning and the limit"
start_velmora
# About 10 kB a second both ways together, for at most 60 s: the warning after about 5 s,
# the limit after about 20 s, checks every 5 s.
in_peer timeout 60 ping -q -c 600 -i 0.1 -s 1000 "$METER_ADDR" >/dev/null 2>&1 &
ping_pid=$!
helper_pids+=($ping_pid)
wait_until 40 told "Quota warning: Default" || { cat "$work/notify.log" "$work/velmora.log" >&2; fail "no warning told"; }
wait_until 50 told "Quota used up: Default" || { cat "$work/notify.log" "$work/velmora.log" >&2; fail "no limit told"; }
kill "$ping_pid" 2>/dev/null || true
[ "$(notifications)" -eq 2 ] || { cat "$work/notify.log" >&2; fail "expected 2 notifications, saw $(notifications)"; }
grep -A6 'member=Notify' "$work/notify.log"
test -s "$data/quota-crossings.json" || fail "the crossings were not kept"

step "restart: no crossing is told again"
kill -TERM "$velmora_pid"
wait "$velmora_pid" 2>/dev/null || true
start_velmora
# Two checks go by (every 5 s) before the count is taken again.
sleep 11
[ "$(notifications)" -eq 2 ] || { cat "$work/notify.log" >&2; fail "a crossing was told again after the restart"; }

step "a raised limit: another quota, its warning told afresh"
kill -TERM "$velmora_pid"
wait "$velmora_pid" 2>/dev/null || true
cat >"$data/quotas.json" <<'JSON'
{"quotas": [{"profile": "Default", "period": "day", "direction": "total",
             "limit_bytes": 1000000, "warn_percent": 10}]}
JSON
start_velmora
wait_until 20 eval '[ "$(notifications)" -eq 3 ]' || { cat "$work/notify.log" >&2; fail "the raised limit's warning was not told"; }
grep -A6 'member=Notify' "$work/notify.log" | tail -n 7 | grep -q 'string "Quota warning: Default"' ||
  { cat "$work/notify.log" >&2; fail "the third notification is not the warning"; }
echo "PASS"
