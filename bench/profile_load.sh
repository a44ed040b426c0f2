#!/usr/bin/env bash
# Start-up and report over a large profile directory: COUNT profiles (500 by default) with
# three years of full day history each (about 98 KB a file, 49 MB in all), written by
# profile_io_bench. Prints, for each of RUNS runs and then as medians:
#   start   wall and CPU seconds from starting `velmorad` until it says it started (profiles
#           loaded), then it is stopped with SIGTERM (which saves every profile);
#   report1 `velmorad --report --profile "Profile 250"` (one profile printed);
#   report  `velmorad --report` (every profile printed).
# Target: start and report1 under 1.5 s each.
# Usage: bench/profile_load.sh [BUILD-DIR] [COUNT] [RUNS]
#        PROFILE_WRITER=path/to/profile_io_bench writes the set when BUILD-DIR has none that can.
#        As root the service runs in a network namespace of its own (nothing to capture).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build/default}")
count=${2:-500}
runs=${3:-5}
daemon=$build/daemon/velmorad
writer=${PROFILE_WRITER:-$build/bench/profile_io_bench} # its --write-profiles writes the set
for binary in "$daemon" "$writer"; do
  [ -x "$binary" ] || { echo "profile_load: build $binary first" >&2; exit 1; }
done

work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$work"' EXIT
"$writer" --write-profiles "$work/profiles" "$count"
mkdir -p "$work/data"
mv "$work/profiles" "$work/data/profiles"
echo "$count profiles, $(du -sm "$work/data/profiles" | cut -f1) MB of XML"

isolate=()
[ "$(id -u)" = 0 ] && command -v unshare >/dev/null && isolate=(unshare -n)
ticks=$(getconf CLK_TCK)

now() { date +%s.%N; }
seconds_between() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f", e - s }'; }
# CPU seconds (user + system) a running process has used so far.
cpu_of() { awk -v t="$ticks" '{ printf "%.3f", ($14 + $15) / t }' "/proc/$1/stat"; }

# Wall and CPU seconds until the service says it has started, into $sw and $sc.
time_start() {
  local log=$work/velmorad.log begin
  : >"$log"
  begin=$(now)
  "${isolate[@]}" "$daemon" --data "$work/data" 2>"$log" &
  pid=$!
  local target=$pid
  until grep -q 'started, counting into' "$log"; do
    kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; echo "profile_load: velmorad ended" >&2; exit 1; }
    sleep 0.01
  done
  sw=$(seconds_between "$begin" "$(now)")
  sc=$(cpu_of "$target")
  kill -TERM "$target"
  wait "$pid" || true
  pid=
}

# Wall and CPU seconds of one report.
time_report() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$daemon" --report --data "$work/data" "$@" >/dev/null
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

: >"$work/results"
printf '%-4s %-22s %-22s %-22s\n' run "start wall/cpu (s)" "report1 wall/cpu (s)" "report wall/cpu (s)"
for run in $(seq "$runs"); do
  time_start
  read -r rw rc < <(time_report --profile "Profile $((count / 2))")
  read -r aw ac < <(time_report)
  printf '%-4s %-22s %-22s %-22s\n' "$run" "$sw / $sc" "$rw / $rc" "$aw / $ac"
  echo "$sw $sc $rw $rc $aw $ac" >>"$work/results"
done
m() { awk -v c="$1" '{ print $c }' "$work/results" | median; }
printf '%-4s %-22s %-22s %-22s\n' median "$(m 1) / $(m 2)" "$(m 3) / $(m 4)" "$(m 5) / $(m 6)"
