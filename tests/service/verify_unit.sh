#!/usr/bin/env bash
# The systemd unit as `cmake --install` writes it, with the built binary in ExecStart, passes
# `systemd-analyze verify` without a single complaint (verify exits 0 on unknown keys and bad
# values, it only warns, so any output fails the test), and its exposure as
# `systemd-analyze security` rates it is at most 2.5.
# Usage: verify_unit.sh velmora.service.in /path/to/velmorad      Exit 77 = skipped.
set -euo pipefail
template=$1
binary=$(realpath "$2")
command -v systemd-analyze >/dev/null || { echo "SKIP: no systemd-analyze" >&2; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|@VELMORA_INSTALLED_BINARY@|$binary|" "$template" >"$work/velmora.service"
if ! output=$(systemd-analyze verify "$work/velmora.service" 2>&1) || [ -n "$output" ]; then
  echo "FAIL: systemd-analyze verify velmora.service:" >&2
  echo "$output" >&2
  exit 1
fi
echo "velmora.service: verified"
# The threshold is on the 0-100 scale behind the 0.0-10.0 that is printed.
if ! systemd-analyze security --offline=yes --threshold=25 "$work/velmora.service" >"$work/security" 2>&1; then
  cat "$work/security" >&2
  echo "FAIL: velmora.service is exposed more than 2.5" >&2
  exit 1
fi
tail -n1 "$work/security"
