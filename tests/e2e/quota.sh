#!/usr/bin/env bash
# Quotas end to end. The service runs in a network namespace joined to a peer by veth, with a
# month quota of 100 kB on the traffic with the peer (warning at 90%) and a quota for a profile
# that does not exist. UDP from the peer crosses 90%, then 100%: one line each, the metrics file
# holds the limit and the kernel's IP-level byte count as the use, and after SIGTERM the JSON
# report shows the same quota. Restarted after the crossings, the service tells neither again;
# SIGHUP with a raised limit tells its warning afresh; SIGHUP with a bad quotas.json is one
# line, the service runs on and the file stays as it was.
# Usage: quota.sh /path/to/velmorad      Exit 77 = skipped (not root).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
program=$(basename "$binary") # the name that begins each of its lines
. "$here/helpers.sh"
need_root
command -v jq >/dev/null || { echo "SKIP: no jq (scripts/deps installs it)" >&2; exit 77; }
e2e_setup

data=$work/data
metrics=$work/velmora.prom
mkdir -p "$data/profiles"
write_profile "$data/profiles" Peer.xml Peer "$METER_ADDR" "1:$PEER_ADDR" "1:0"
cat >"$data/quotas.json" <<'JSON'
{"quotas": [
  {"profile": "Peer", "period": "month", "start_day": 1, "direction": "total", "limit_bytes": 100000, "warn_percent": 90},
  {"profile": "Gone", "period": "day", "limit_bytes": 5}
]}
JSON
start=$(date +%Y-%m-01)
end=$(date -d "$start +1 month -1 day" +%F)

udp_to_meter() { # COUNT datagrams of 1000 bytes from the peer
  in_peer timeout 20 nc -u -w1 -s "$PEER_ADDR" "$METER_ADDR" 7000 < <(for _ in $(seq "$1"); do head -c 1000 /dev/zero; sleep 0.01; done)
}
quota_lines() { grep -c "^$program: quota: Peer used " "$velmora_log" || true; }
metric() { # NAME: its sample for the Peer month quota
  awk -v name="$1" '$1 == name "{profile=\"Peer\",period=\"month\"}" { print $2 }' "$metrics" 2>/dev/null
}

start_velmora "$data" "$work/run1.log" --data "$data" --metrics-file "$metrics"
read -r rx0 tx0 < <(rx_tx)
in_meter timeout 60 nc -u -k -l 7000 >/dev/null &
wait_until 10 udp_listening "$METER_NS" 7000 || fail "no listener"

# 88 datagrams: about 90.5 kB, over 90% and under the limit.
udp_to_meter 88
wait_until 30 eval '[ "$(quota_lines)" -ge 1 ]' || fail "no line for the crossing of 90% within 30 s"
grep -qE "^$program: quota: Peer used 9[0-9]\.[0-9] of 100\.0 KB \(9[0-9]%\) this month \(from $start\)\$" "$velmora_log" ||
  fail "the 90% line is not as expected"
# 12 more: over the limit.
udp_to_meter 12
wait_until 30 eval '[ "$(quota_lines)" -ge 2 ]' || fail "no line for the crossing of 100% within 30 s"
grep -qE "^$program: quota: Peer used 10[0-9]\.[0-9] of 100\.0 KB \(10[0-9]%\) this month \(from $start\)\$" "$velmora_log" ||
  fail "the 100% line is not as expected"
wait_until 10 counters_settled || true
read -r rx1 tx1 < <(rx_tx)
used=$(( rx1 - rx0 + tx1 - tx0 ))
[ "$used" -ge 100000 ] || fail "the traffic did not reach the meter ($used bytes)"

# The metrics file (rewritten every 15 s) catches up with the kernel's count.
wait_until 40 eval '[ "$(metric velmora_quota_used_bytes)" = "$used" ]' ||
  fail "velmora_quota_used_bytes $(metric velmora_quota_used_bytes), kernel $used"
[ "$(metric velmora_quota_limit_bytes)" = 100000 ] || fail "velmora_quota_limit_bytes $(metric velmora_quota_limit_bytes)"
grep '^velmora_quota_' "$metrics"
if command -v promtool >/dev/null; then promtool check metrics <"$metrics" || fail "promtool rejects the metrics file"; fi

stop_velmora TERM
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
cat "$velmora_log"
[ "$(quota_lines)" -eq 2 ] || fail "$(quota_lines) quota lines, not 2"
[ "$(grep -cxF "$program: $data/quotas.json: a quota for \"Gone\", which is no profile; kept" "$velmora_log")" -eq 1 ] ||
  fail "the quota without its profile is not told once"

# The report: the saved day totals over the month, projected to its end.
report=$("$binary" --report --format json --data "$data" --profile Peer) || fail "the report failed"
echo "$report"
day=$((10#$(date +%d)))
days=$(( ($(date -d "$end" +%s) - $(date -d "$start" +%s)) / 86400 + 1 ))
projected=$(awk -v u="$used" -v e="$day" -v d="$days" 'BEGIN { printf "%.0f", int(u / e * d) }')
want=$(jq -cn --arg s "$start" --arg e "$end" --argjson u "$used" --argjson p "$projected" \
  '{period: "month", start: $s, end: $e, direction: "total", limit: 100000, used: $u, projected: $p}')
got=$(jq -c '.profiles[0].quota' <<<"$report")
[ "$got" = "$want" ] || fail "report quota $got, expected $want"

# Restarted: the crossings were told in this period already.
rm -f "$metrics"
start_velmora "$data" "$work/run2.log" --data "$data" --metrics-file "$metrics"
wait_until 30 test -s "$metrics" || fail "no metrics file after the restart" # the first check is done by then
[ "$(metric velmora_quota_used_bytes)" = "$used" ] || fail "after the restart: used $(metric velmora_quota_used_bytes)"
[ "$(quota_lines)" -eq 0 ] || fail "the restarted service told a crossing again"
# SIGHUP with a raised limit: another quota, whose warning (90% of 110 kB) is told afresh.
printf '{"quotas": [{"profile": "Peer", "period": "month", "limit_bytes": 110000}]}' >"$data/quotas.json"
kill -HUP "$velmora_pid"
wait_until 10 eval '[ "$(quota_lines)" -ge 1 ]' || fail "no line for the raised limit's warning after SIGHUP"
grep -qE "^$program: quota: Peer used 10[0-9]\.[0-9] of 110\.0 KB \(9[0-9]%\) this month \(from $start\)\$" "$velmora_log" ||
  fail "the raised limit's line is not as expected"
# SIGHUP with a bad file: one line, and the service goes on without quotas.
printf '{"quotas": [{"profile": "Peer", "period": "month", "limit_bytes": "lots"}]}' >"$data/quotas.json"
cp "$data/quotas.json" "$work/bad.json"
kill -HUP "$velmora_pid"
wait_until 10 grep -qF "$program: SIGHUP: quotas read again (0 quotas)" "$velmora_log" || fail "no line after SIGHUP"
kill -0 "$velmora_pid" || fail "SIGHUP ended the service"
stop_velmora INT
[ "$status" -eq 0 ] || fail "exit status $status after SIGINT"
cat "$velmora_log"
[ "$(quota_lines)" -eq 1 ] || fail "the restarted service told $(quota_lines) crossings, not the raised limit's one"
[ "$(grep -cxF "$program: $data/quotas.json: quotas[0].limit_bytes: must be a whole number from 1 to 9007199254740992; running without quotas" "$velmora_log")" -eq 1 ] ||
  fail "the bad file is not told in one line"
cmp -s "$data/quotas.json" "$work/bad.json" || fail "the bad quotas.json was written over"
echo "e2e quota: passed"
