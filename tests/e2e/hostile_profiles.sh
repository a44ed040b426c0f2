#!/usr/bin/env bash
# The real program over a hostile profiles/ directory: a malformed file, an empty file, an
# entity-expansion bomb, an external entity naming a local file outside profiles/, a Latin-1
# file without encoding declaration, a 50 MB file, a directory named like a profile file and a
# profile file whose name has spaces. Velmora must start at once, load the good profiles,
# leave every bad file byte for byte as it was, and open nothing outside profiles/.
# Usage: hostile_profiles.sh /path/to/velmora
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
. "$here/profiles.sh"

work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

p=$work/profiles
mkdir -p "$p" "$p/folder.xml"
secret=$work/secret.txt
echo "SECRET-MARKER-4711" >"$secret"
write_profile "$p" Good.xml Good 192.0.2.10 "1:*.*.*.*" "1:0"
write_profile "$p" "with spaces.xml" "with spaces" 192.0.2.11 "1:192.0.2.*" "1:443"
printf '<?xml version="1.0"?>\n<Profiles><Profile><name>Broken</name><ip>1.2.3.4</ip>' >"$p/malformed.xml"
: >"$p/empty.xml"
{
  echo '<?xml version="1.0"?>'
  echo '<!DOCTYPE Profiles ['
  echo ' <!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">'
  prev=a
  for e in b c d e f g h i j k; do
    echo " <!ENTITY $e \"&$prev;&$prev;&$prev;&$prev;&$prev;&$prev;&$prev;&$prev;&$prev;&$prev;\">"
    prev=$e
  done
  echo ']>'
  echo '<Profiles><Profile><name>Bomb&k;</name><ip>1.2.3.4</ip></Profile></Profiles>'
} >"$p/bomb.xml"
printf '<?xml version="1.0"?>\n<!DOCTYPE Profiles [ <!ENTITY leak SYSTEM "file://%s"> ]>\n<Profiles><Profile><name>Leak&leak;</name><ip>1.2.3.4</ip></Profile></Profiles>' "$secret" >"$p/external.xml"
printf '<?xml version="1.0"?>\n<Profiles><Profile><name>Caf\xe9</name><ip>1.2.3.4</ip></Profile></Profiles>' >"$p/latin1.xml"
{
  printf '<?xml version="1.0"?>\n<Profiles><Profile><name>Huge</name><ip>1.2.3.4</ip>\n'
  head -c 52428800 /dev/zero | tr '\0' ' '
  printf '</Profile></Profiles>'
} >"$p/huge.xml"

bad=(malformed.xml empty.xml bomb.xml external.xml latin1.xml huge.xml)
(cd "$p" && sha256sum "${bad[@]}") >"$work/before.sha"

trace=()
command -v strace >/dev/null && trace=(strace -f -qq -e trace=open,openat,openat2 -o "$work/opens.log")
start=$(date +%s.%N)
(cd "$work" && exec env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "${trace[@]}" "$binary" >"$work/velmora.log" 2>&1) &
pid=$!
sleep 1
kill -0 "$pid" 2>/dev/null || { cat "$work/velmora.log"; fail "velmora did not start"; }
# Under strace the program is strace's child; the signal goes to the program itself.
target=$pid
[ ${#trace[@]} -gt 0 ] && target=$(pgrep -P "$pid" | head -n 1)
kill -TERM "${target:-$pid}"
for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$pid" 2>/dev/null && fail "velmora still running 10 s after SIGTERM"
wait "$pid" || true
pid=
elapsed=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')
echo "started, saved and ended in $elapsed s"
awk -v t="$elapsed" 'BEGIN { exit !(t < 6) }' || fail "start-up and shutdown took $elapsed s"

# Each file that could not be loaded is named once on stderr, with the reason.
while read -r file reason; do
  [ "$(grep -cF "profiles/$file is not loaded ($reason" "$work/velmora.log")" = 1 ] ||
    { cat "$work/velmora.log"; fail "$file is not named once with the reason \"$reason\""; }
done <<'REASONS'
malformed.xml rejected by the XML parser at line 2, column
empty.xml rejected by the XML parser at line 1, column 1:
bomb.xml rejected by the XML parser at line
latin1.xml rejected by the XML parser at line 1, column 22: invalid byte
huge.xml larger than 4 MiB
REASONS

(cd "$p" && sha256sum -c --quiet "$work/before.sha") || fail "a rejected file was changed"
[ -d "$p/folder.xml" ] || fail "the directory named folder.xml is gone"
whole_file "$p/Good.xml" && whole_file "$p/with spaces.xml" && whole_file "$p/Default.xml" ||
  fail "the good profiles were not loaded and saved back"
grep -q '<portFilter allow="1">443</portFilter>' "$p/with spaces.xml" || fail "with spaces.xml lost its filter"
grep -rl 'SECRET-MARKER' "$p" | grep -v external.xml && fail "the external entity was read"
if [ ${#trace[@]} -gt 0 ]; then
  grep -q 'profiles/Good.xml' "$work/opens.log" || fail "the open trace recorded nothing"
  if grep -F "$secret" "$work/opens.log"; then fail "velmora opened $secret"; fi
fi
n=$(find "$p" -maxdepth 1 -name '*.xml' -type f | wc -l)
echo "profiles/ now holds $n files; bad files untouched"
echo "hostile profiles: passed"
