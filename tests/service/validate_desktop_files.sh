#!/usr/bin/env bash
# The desktop entry, as installed for /usr/bin/velmora, passes desktop-file-validate, and the
# AppStream metainfo passes appstreamcli validate (without the network).
# Usage: validate_desktop_files.sh RES-DIR      Exit 77 = skipped.
set -euo pipefail
res=$1
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "SKIP: no $tool" >&2; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|@VELMORA_INSTALLED_BINARY@|/usr/bin/velmora|" "$res/velmora.desktop.in" >"$work/velmora.desktop"
desktop-file-validate "$work/velmora.desktop"
appstreamcli validate --no-net "$res"/*.metainfo.xml
