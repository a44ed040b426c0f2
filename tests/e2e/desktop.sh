#!/usr/bin/env bash
# Velmora on a real X11 desktop (Xvfb, openbox, trayer), counting traffic in a network
# namespace. Checks: minimising hides the window to a tray icon and the program keeps
# running; a double click on the icon brings the window back, and so does a single click;
# a minimise reported only by _NET_WM_STATE_HIDDEN (as KWin does, WM_STATE left Normal) also
# goes to the tray, and the restore that follows sticks; a second start on the same data
# directory says so, brings the first window forward and ends, leaving the first running;
# the tray menu's Exit saves the profiles and ends the program; a restored window and a moved
# one come back at the same place; started from a Wayland session
# that has an X display, the program runs on X11.
# Screenshots (main window at scale 1 and 2, the tray with the icon, the second start's
# message) go to $VELMORA_SHOTS when it is set.
# Usage: desktop.sh /path/to/velmora      Exit 77 = skipped (tools missing or not root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
. "$here/x11_desktop.sh"
need_x11_desktop


work=$(mktemp -d)
shots=${VELMORA_SHOTS:-$work/shots}
mkdir -p "$shots"
velmora_pid=
second_pid=
cleanup() {
  local pid
  for pid in $velmora_pid $second_pid; do kill -9 "$pid" 2>/dev/null || true; done
  drop_hosts
  stop_desktop
  rm -rf "$work"
}
trap cleanup EXIT
make_hosts
start_desktop "$work"

data=$work/data
mkdir -p "$data/profiles"
# Remembered settings (window position, unit) stay inside this run.
export XDG_CONFIG_HOME=$work/config
write_profile "$data/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"

start_velmora() { # LOG [ENV=VALUE...]: starts the first copy
  local log=$1
  shift
  (cd "$data" && exec ip netns exec "$METER_NS" env ASAN_OPTIONS=detect_leaks=0 "$@" "$binary" >"$log" 2>&1) &
  velmora_pid=$!
  wait_until 30 has_main_window "$velmora_pid" || { cat "$log" >&2; fail "no main window"; }
  window=$(main_window "$velmora_pid")
  wait_until 10 is_viewable "$window" || fail "main window not shown"
}

has_main_window() { [ -n "$(main_window "$1")" ]; }
alive() { kill -0 "$velmora_pid" 2>/dev/null; }
has_no_tray_icon() { [ -z "$(tray_icon "$1")" ]; }
shows_a_window() { windows_of "$1" | grep -q IsViewable; }
client_position() { windows_of "$velmora_pid" | awk -v w="$window" '$1 == w {print $5, $6}'; }

minimised_to_tray() {
  wait_until 10 is_unmapped "$window" || fail "$1: the window is still mapped"
  wait_until 10 has_tray_icon "$velmora_pid" || fail "$1: no tray icon appeared in the tray"
}

restored_and_staying() { # HOW: the window is back, the icon gone, and it stays shown
  wait_until 10 is_viewable "$window" || fail "$1: the window did not come back"
  wait_until 10 has_no_tray_icon "$velmora_pid" || fail "$1: the tray icon is still there"
  sleep 2
  is_viewable "$window" || fail "$1: the window went away again after the restore"
}

# Traffic for the whole run, bounded: about 50 pings a second for at most 90 s.
in_peer timeout 90 ping -q -c 4000 -i 0.02 -s 1000 "$METER_ADDR" >/dev/null 2>&1 &

step "start, scale 1"
start_velmora "$work/velmora.log"
sleep 3 # a few readouts and graph columns
import -window "$window" "$shots/main-window-1x.png"
# A window of a fixed size offers no maximise.
xprop -id "$window" _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE && fail "the window offers to maximise"
left_at=$(client_position)

step "minimise: hidden to the tray, still running after 5 s"
xdotool windowminimize "$window"
minimised_to_tray "minimise"
sleep 5
alive || fail "velmora ended after minimising"
is_unmapped "$window" || fail "the window came back by itself"
icon=$(tray_icon "$velmora_pid")
import -window "$(tray_panel)" "$shots/tray.png"
echo "window $window hidden, tray icon $icon, running"

step "double click on the tray icon"
click_window "$icon" 1 2
restored_and_staying "double click"
[ "$(client_position)" = "$left_at" ] || fail "the restore moved the window from $left_at to $(client_position)"

step "minimise again, a single click (Trigger) restores"
xdotool windowminimize "$window"
minimised_to_tray "second minimise"
click_window "$(tray_icon "$velmora_pid")" 1 1
restored_and_staying "single click"

step "minimise by _NET_WM_STATE_HIDDEN alone, the way KWin does"
xprop -id "$window" WM_STATE | grep -q "window state: Normal" || fail "WM_STATE is not Normal before"
xprop -id "$window" -f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_HIDDEN
minimised_to_tray "_NET_WM_STATE_HIDDEN"
click_window "$(tray_icon "$velmora_pid")" 1 2
restored_and_staying "restore after _NET_WM_STATE_HIDDEN"
xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN && fail "HIDDEN left on the restored window"

step "a second start on the same directory while the first is in the tray"
xdotool windowminimize "$window"
minimised_to_tray "minimise before the second start"
lock_before=$(cat "$data/velmora.lock")
(cd "$data" && exec ip netns exec "$METER_NS" env ASAN_OPTIONS=detect_leaks=0 "$binary" >"$work/second.log" 2>&1) &
second_pid=$!
wait_until 20 shows_a_window "$second_pid" || { cat "$work/second.log" >&2; fail "no message from the second start"; }
windows_of "$second_pid"
box=$(windows_of "$second_pid" | awk '$4 == "IsViewable" {print $1; exit}')
import -window "$box" "$shots/second-start.png"
wait_until 10 is_viewable "$window" || fail "the first window was not brought forward"
grep -q "already running" "$work/second.log" || fail "the second start did not say why"
message_box() { windows_of "$second_pid" | awk '$4 == "IsViewable" {print $1; exit}'; }
box=$(message_box)
[ -n "$box" ] || fail "the second start's message went away by itself"
xdotool windowactivate --sync "$box" key Return
wait_until 10 ended "$second_pid" || fail "the second start did not end"
second_status=0
wait "$second_pid" || second_status=$?
second_pid=
[ "$second_status" -eq 1 ] || fail "the second start ended with $second_status, not 1"
alive || fail "the first copy ended"
[ "$(cat "$data/velmora.lock")" = "$lock_before" ] || fail "the lock file changed"
[ -z "$(tray_icon "$velmora_pid")" ] || fail "brought forward, but the tray icon stayed"
echo "second start: $(grep '^velmora:' "$work/second.log"), status $second_status"

step "tray menu Exit saves the profiles and ends the program"
xdotool windowminimize "$window"
minimised_to_tray "minimise before Exit"
touch "$work/before-exit"
sleep 1
click_window "$(tray_icon "$velmora_pid")" 3 1
sleep 1
xdotool key x # E&xit
expect_saved_end Exit "$work/before-exit"
echo "saved at Exit: Default down $down bytes"

# The window comes back where it was left, run after run: its remembered position must not
# mix the frame's corner with the client area's.
end_velmora() {
  kill -TERM "$velmora_pid"
  wait_until 15 ended "$velmora_pid" || fail "SIGTERM did not end the program"
  velmora_pid=
}
step "moved, it comes back at the same place at every start"
start_velmora "$work/velmora-moved.log"
xdotool windowmove --sync "$window" 190 160
left=$(client_position)
end_velmora
for run in 1 2 3; do
  start_velmora "$work/velmora-moved-$run.log"
  [ "$(client_position)" = "$left" ] || fail "start $run: the window is at $(client_position), it was left at $left"
  end_velmora
done
echo "left at $left, found there at three starts"

# Started as from a Wayland session that has XWayland: Qt alone would take the Wayland
# platform (and find no compositor); the program must choose xcb and appear on this display.
step "start at scale 2, from a Wayland session with XWayland, for the screenshot"
# A fresh configuration: the position the first run remembered is not the point here.
start_velmora "$work/velmora-2x.log" QT_SCALE_FACTOR=2 XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=velmora-none-$$ \
  XDG_CONFIG_HOME="$work/config-2x"
sleep 3
import -window "$window" "$shots/main-window-2x.png"
kill -TERM "$velmora_pid"
wait_until 15 ended "$velmora_pid" || fail "SIGTERM did not end the program"
velmora_pid=

echo "PASS: desktop (screenshots in $shots)"
