#!/usr/bin/env bash
# Velmora on native Wayland (a headless weston, QT_QPA_PLATFORM=wayland, no X display), where
# a minimise is never reported and no tray host runs: the window is shown and keeps being
# painted while traffic is counted, and SIGTERM ends the program cleanly with its profiles
# saved. The client's protocol log (WAYLAND_DEBUG) shows what reached the compositor.
# Usage: wayland.sh /path/to/velmora      Exit 77 = skipped (weston or Qt's plugin missing, not root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
. "$here/desktop_harness.sh"

if ! command -v weston >/dev/null || ! ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
  echo "SKIP: weston or Qt's Wayland platform plugin is missing; scripts/deps installs them" >&2
  exit 77
fi
need_root


work=$(mktemp -d) # mode 0700, as a runtime directory must be
weston_pid=
velmora_pid=
cleanup() {
  [ -n "$velmora_pid" ] && kill -9 "$velmora_pid" 2>/dev/null || true
  [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null || true
  drop_hosts
  rm -rf "$work"
}
trap cleanup EXIT
make_hosts

export XDG_RUNTIME_DIR=$work
socket=velmora-$$
weston --backend=headless-backend.so --socket="$socket" --idle-time=0 --no-config >"$work/weston.log" 2>&1 &
weston_pid=$!
wait_until 20 test -S "$work/$socket" || { cat "$work/weston.log" >&2; fail "weston did not start"; }

data=$work/data
mkdir -p "$data/profiles"
export XDG_CONFIG_HOME=$work/config # remembered settings stay inside this run
write_profile "$data/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
in_peer timeout 60 ping -q -c 600 -i 0.02 -s 1000 "$METER_ADDR" >/dev/null 2>&1 &

log=$work/velmora.log
(cd "$data" && exec ip netns exec "$METER_NS" env -u DISPLAY WAYLAND_DISPLAY="$socket" \
    QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 ASAN_OPTIONS=detect_leaks=0 "$binary" >"$log" 2>&1) &
velmora_pid=$!

toplevel_configured() {
  local toplevel
  toplevel=$(grep -m1 -o 'xdg_toplevel@[0-9]*\.set_title("Velmora")' "$log" | cut -d. -f1)
  [ -n "$toplevel" ] && grep -q "^\[[0-9. ]*\] $toplevel\.configure" "$log"
}
frames() { grep -c -- '-> wl_surface@[0-9]*\.attach(wl_buffer' "$log" || true; }
painted() { [ "$(frames)" -gt 0 ]; }

wait_until 30 toplevel_configured || { tail -20 "$log" >&2; fail "no Velmora window reached the compositor"; }
wait_until 10 painted || fail "the window was never painted"
first=$(frames)
sleep 5
kill -0 "$velmora_pid" 2>/dev/null || { tail -20 "$log" >&2; fail "velmora ended on its own"; }
later=$(frames)
[ "$later" -gt "$first" ] || fail "no repaint in 5 s (readouts and graph stopped)"
echo "window shown and painted: $first frames at first, $later after 5 s"

touch "$work/before-term"
sleep 1
kill -TERM "$velmora_pid"
expect_saved_end SIGTERM "$work/before-term"
echo "PASS: wayland (exit status 0, Default down $down bytes saved)"
