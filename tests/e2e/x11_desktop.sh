# A throw-away X11 desktop for the end-to-end tests: Xvfb on a free display, openbox as the
# window manager, trayer as an XEmbed system tray, and helpers that find and drive Velmora's
# windows. Source it after setting `here` (it brings desktop_harness.sh); call need_x11_desktop,
# start_desktop, and stop_desktop from a trap.
. "$here/desktop_harness.sh"

DESKTOP_TOOLS=(Xvfb openbox trayer xdotool xwininfo xprop import)

# Skips the run (exit 77) without the desktop tools or without root.
need_x11_desktop() {
  local tool missing=()
  for tool in "${DESKTOP_TOOLS[@]}"; do command -v "$tool" >/dev/null || missing+=("$tool"); done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "SKIP: the desktop tools are missing (${missing[*]}); scripts/deps installs them" >&2
    exit 77
  fi
  need_root
}

desktop_pids=()

# Xvfb picks a free display itself (-displayfd), so parallel runs never collide. The screen is
# large enough that a centred window at scale 2 stays clear of the tray in the top right corner.
start_desktop() { # WORKDIR
  local number_file=$1/display fd
  : >"$number_file"
  exec {fd}>"$number_file"
  Xvfb -displayfd "$fd" -screen 0 1280x1024x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
  desktop_pids+=($!)
  exec {fd}>&-
  wait_until 20 test -s "$number_file" || { cat "$1/xvfb.log" >&2; fail "Xvfb did not start"; }
  export DISPLAY=":$(head -n1 "$number_file")"
  openbox >"$1/openbox.log" 2>&1 &
  desktop_pids+=($!)
  wait_until 20 window_manager_runs || fail "openbox did not start"
  trayer --edge top --align right --widthtype pixel --width 160 --height 32 --SetDockType true \
    --transparent false --tint 0x303030 >"$1/trayer.log" 2>&1 &
  desktop_pids+=($!)
  wait_until 20 tray_panel_shown || fail "trayer did not start"
  echo "desktop on $DISPLAY"
}

window_manager_runs() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window; }
tray_panel_shown() { [ -n "$(tray_panel)" ]; }

stop_desktop() {
  local pid
  for pid in "${desktop_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  desktop_pids=()
}

# windows_of PID: "id width height map-state x y" for each window of that process.
windows_of() {
  local w
  for w in $(xdotool search --classname '^velmora$' 2>/dev/null); do
    [ "$(xprop -id "$w" _NET_WM_PID 2>/dev/null | awk '{print $3}')" = "$1" ] || continue
    xwininfo -id "$w" 2>/dev/null | awk -v w="$w" '
      /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
      /Width:/ {wd = $2} /Height:/ {h = $2} /Map State:/ {m = $3}
      END {print w, wd, h, m, x, y}'
  done
}

# The main window is the large one; the tray icon a small one mapped inside the tray.
main_window() { windows_of "$1" | awk '$2 > 200 && $3 > 150 {print $1; exit}'; }
tray_icon() { windows_of "$1" | awk '$2 <= 64 && $3 <= 64 && $4 == "IsViewable" {print $1; exit}'; }
has_tray_icon() { [ -n "$(tray_icon "$1")" ]; }
map_state() { xwininfo -id "$1" | awk '/Map State:/ {print $3}'; }
is_viewable() { [ "$(map_state "$1")" = IsViewable ]; }
is_unmapped() { [ "$(map_state "$1")" = IsUnMapped ]; }

# click_window WINDOW BUTTON [COUNT]: clicks the middle of a window.
click_window() {
  local x y w h
  read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}')
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click --repeat "${3:-1}" --delay 80 "$2"
}

# The tray as it looks: trayer's panel.
tray_panel() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}'; }
