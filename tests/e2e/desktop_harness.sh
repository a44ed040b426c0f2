# What the desktop runs (desktop.sh, quota_desktop.sh, wayland.sh) share: the test hosts
# (netns.sh), profile files (profiles.sh), the failure exit, step lines, and waiting for a
# condition or for a process to end. Source it after setting `here`; the X11 runs then source
# x11_desktop.sh for their desktop.
. "$here/netns.sh"
. "$here/profiles.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# wait_until SECONDS COMMAND...: polls every 0.1 s; fails when the time runs out.
wait_until() {
  local limit=$(($1 * 10)) i
  shift
  for ((i = 0; i < limit; i++)); do "$@" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

# expect_saved_end WHAT MARKER: waits (at most 15 s) for the program to end after WHAT; it must
# end with status 0, having saved Default.xml after MARKER as a whole profile file with some
# download counted, which it leaves in `down`.
expect_saved_end() {
  wait_until 15 ended "$velmora_pid" || fail "$1 did not end the program"
  local status=0 saved=$data/profiles/Default.xml
  wait "$velmora_pid" || status=$?
  velmora_pid=
  [ "$status" -eq 0 ] || fail "$1 ended with status $status"
  [ "$saved" -nt "$2" ] || fail "the profiles were not saved at $1"
  whole_file "$saved" || fail "Default.xml is not a whole profile file"
  down=$(total "$saved" down)
  [ "$down" -gt 0 ] || fail "no download counted in the saved profile"
}
