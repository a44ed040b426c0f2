#!/usr/bin/env bash
# The Debian packages as a user gets them: installs dist/velmora_*.deb and
# dist/velmora-service_*.deb with apt-get, checks what was installed (velmorad runs, maps no Qt
# and no X library; the window's binary has cap_net_raw; the unit verifies, is disabled and is
# exposed at most 2.5; the desktop entry and the metainfo validate), runs the installed
# velmorad in a network namespace with traffic, then purges both packages and checks nothing
# of them is left. Packages apt-get pulled in for them are purged too.
# Usage: tests/package/installed.sh [DIST-DIR]      (as root; scripts/package builds dist/)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
dist=$(realpath "${1:-$top/dist}")
[ "$(id -u)" -eq 0 ] || { echo "installed: run as root" >&2; exit 1; }
debs=("$dist"/velmora_*.deb "$dist"/velmora-service_*.deb)
for deb in "${debs[@]}"; do [ -f "$deb" ] || { echo "installed: no $deb: run scripts/package" >&2; exit 1; }; done
for package in velmora velmora-service; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    echo "installed: $package is already installed here; not touching it" >&2
    exit 1
  fi
done

fail() { echo "FAIL: $*" >&2; exit 1; }
installed_packages() { dpkg-query -W -f='${Package}\n' | sort; }
before=$(mktemp)
installed_packages >"$before"
remove() {
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -q velmora velmora-service >/dev/null 2>&1 || true
  local pulled
  pulled=$(comm -13 "$before" <(installed_packages))
  [ -z "$pulled" ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y -q $pulled >/dev/null 2>&1 || true
  rm -f "$before"
}
trap remove EXIT

echo "== install: apt-get install ${debs[*]##*/}"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${debs[@]}" >/tmp/velmora-install-$$.log 2>&1 ||
  { cat /tmp/velmora-install-$$.log; rm -f /tmp/velmora-install-$$.log; fail "apt-get install"; }
grep -E "^velmora: " /tmp/velmora-install-$$.log || true # what the postinst said
rm -f /tmp/velmora-install-$$.log

echo "== velmorad --version: $(/usr/bin/velmorad --version)"
[[ "$(/usr/bin/velmorad --version)" == "velmorad "* ]] || fail "velmorad --version"

caps=$(getcap /usr/bin/velmora)
echo "== getcap: $caps"
[[ "$caps" == *cap_net_admin,cap_net_raw,cap_perfmon,cap_bpf=ep* ]] || fail "/usr/bin/velmora lacks cap_bpf, cap_net_admin, cap_perfmon, cap_net_raw+ep"
[ -z "$(getcap /usr/bin/velmorad)" ] || fail "velmorad has a file capability; the unit gives it one"

libraries=$(ldd /usr/bin/velmorad)
if grep -E 'libQt|libX[A-Za-z0-9]*\.so|libxcb|libGL|libOpenGL' <<<"$libraries"; then fail "velmorad links Qt or X"; fi
echo "== ldd velmorad: $(wc -l <<<"$libraries") libraries, none of Qt or X"

unit=/lib/systemd/system/velmora.service
output=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify: $output"
[ -z "$output" ] || fail "systemd-analyze verify: $output"
systemd-analyze security --offline=yes --threshold=25 "$unit" >/tmp/velmora-security-$$ 2>&1 ||
  { cat /tmp/velmora-security-$$; rm -f /tmp/velmora-security-$$; fail "exposure above 2.5"; }
echo "== unit: verified; $(tail -n1 /tmp/velmora-security-$$)"
rm -f /tmp/velmora-security-$$
state=$(systemctl is-enabled velmora.service 2>&1 || true)
[ "$state" = disabled ] || fail "velmora.service is \"$state\", not disabled"
echo "== unit: $state until enabled"

desktop-file-validate /usr/share/applications/velmora.desktop
appstreamcli validate --no-net /usr/share/metainfo/net.velmora.Velmora.metainfo.xml >/dev/null ||
  fail "appstreamcli validate"
echo "== desktop entry and metainfo: valid"

echo "== installed velmorad in a network namespace, with traffic"
ACCURACY_RUNS=1 bash "$top/tests/e2e/accuracy.sh" /usr/bin/velmorad

echo "== remove"
trap - EXIT
remove
for file in /usr/bin/velmora /usr/bin/velmorad "$unit" /usr/share/applications/velmora.desktop \
    /usr/share/metainfo/net.velmora.Velmora.metainfo.xml /usr/share/velmora; do
  [ ! -e "$file" ] || fail "$file is left after purge"
done
echo "installed packages: passed"
