#!/usr/bin/env bash
# Fleet metrics end to end with the real engines. Velmora runs headless in a network namespace
# joined to a peer by veth and writes its metrics file; in the peer's namespace (its own
# loopback, so every port is free and none of this traffic reaches the meter's interface)
# node exporter serves the file's directory through its textfile collector and a Prometheus
# server scrapes it every second. Bounded traffic crosses the veth; Prometheus' HTTP API must
# then answer with received and sent counters equal to the kernel's IP-level byte counts of
# the meter's interface, for a profile whose name needs escaping as a label value.
# Usage: metrics.sh /path/to/velmora      Exit 77 = skipped (not root, or no Prometheus).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
program=$(basename "$binary") # the name that begins each of its lines
. "$here/netns.sh"
. "$here/profiles.sh"
need_root
for tool in prometheus prometheus-node-exporter promtool curl jq; do
  command -v "$tool" >/dev/null || { echo "SKIP: no $tool (scripts/deps installs it)" >&2; exit 77; }
done

work=$(mktemp -d)
cleanup() {
  drop_hosts # ends velmora, node exporter and Prometheus with the namespaces' processes
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/velmora.log" ] && cat "$work/velmora.log" >&2; exit 1; }
make_hosts

exporter_port=9100
prometheus_port=9090
mkdir -p "$work/data/profiles" "$work/textfile" "$work/tsdb"
chmod 755 "$work" "$work/textfile"
# The peer's address only, under a name with a quote and a backslash.
label='Peer "A\B"'
write_profile "$work/data/profiles" Peer.xml "$label" "$METER_ADDR" "1:$PEER_ADDR" "1:0"

read -r rx0 tx0 < <(in_meter sh -c 's=/sys/class/net/vm0/statistics; echo $(( $(cat $s/rx_bytes) - 14 * $(cat $s/rx_packets) )) $(( $(cat $s/tx_bytes) - 14 * $(cat $s/tx_packets) ))')
ip netns exec "$METER_NS" "$binary" --headless --data "$work/data" \
  --metrics-file "$work/textfile/velmora.prom" >"$work/velmora.log" 2>&1 &
velmora_pid=$!
for _ in $(seq 100); do [ -s "$work/textfile/velmora.prom" ] && break; sleep 0.1; done
[ -s "$work/textfile/velmora.prom" ] || fail "no metrics file 10 s after the start"
promtool check metrics <"$work/textfile/velmora.prom" || fail "promtool rejects the metrics file"

in_peer prometheus-node-exporter --collector.disable-defaults --collector.textfile \
  --collector.textfile.directory="$work/textfile" --web.listen-address="127.0.0.1:$exporter_port" \
  >"$work/exporter.log" 2>&1 &
cat >"$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: velmora
    static_configs:
      - targets: ['127.0.0.1:$exporter_port']
YAML
in_peer prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &

# Traffic: 40 datagrams of 1000 bytes to the meter, 5 pings from it.
in_meter timeout 20 nc -u -l 7000 >/dev/null &
sleep 1 # the first address watcher pass has opened the capture by now
in_peer timeout 20 nc -u -w1 -s "$PEER_ADDR" "$METER_ADDR" 7000 < <(for _ in $(seq 40); do head -c 1000 /dev/zero; sleep 0.01; done)
in_meter ping -q -c 5 -i 0.2 -s 500 "$PEER_ADDR" >/dev/null
sleep 1
read -r rx1 tx1 < <(in_meter sh -c 's=/sys/class/net/vm0/statistics; echo $(( $(cat $s/rx_bytes) - 14 * $(cat $s/rx_packets) )) $(( $(cat $s/tx_bytes) - 14 * $(cat $s/tx_packets) ))')
want_rx=$((rx1 - rx0)); want_tx=$((tx1 - tx0))
[ "$want_rx" -gt 40000 ] || fail "the traffic did not reach the meter ($want_rx bytes)"

# A PromQL string holds a backslash and a quote escaped, as the label value in the file does.
promql_escape() { local s=${1//\\/\\\\}; s=${s//\"/\\\"}; printf '%s' "$s"; }
query() { # METRIC: the value Prometheus holds for the profile, empty when none
  in_peer curl -sf --max-time 5 "http://127.0.0.1:$prometheus_port/api/v1/query" \
    --data-urlencode "query=$1{profile=\"$(promql_escape "$label")\"}" 2>/dev/null |
    jq -r '.data.result[0].value[1] // empty' 2>/dev/null || true
}
# The file is rewritten every 15 s and scraped every second: wait up to 60 s for the figures.
for _ in $(seq 120); do
  got_rx=$(query velmora_received_bytes_total); got_tx=$(query velmora_sent_bytes_total)
  [ "$got_rx" = "$want_rx" ] && [ "$got_tx" = "$want_tx" ] && break
  sleep 0.5
done
echo "Prometheus: velmora_received_bytes_total{profile=\"$label\"} = ${got_rx:-none} (kernel $want_rx)"
echo "Prometheus: velmora_sent_bytes_total{profile=\"$label\"} = ${got_tx:-none} (kernel $want_tx)"
in_peer curl -s "http://127.0.0.1:$prometheus_port/api/v1/query" \
  --data-urlencode "query=velmora_received_bytes_total" || true
echo
[ "$got_rx" = "$want_rx" ] || fail "received counter ${got_rx:-none}, kernel $want_rx"
[ "$got_tx" = "$want_tx" ] || fail "sent counter ${got_tx:-none}, kernel $want_tx"

# One copy per data directory: a second one refuses to start.
if second=$(in_meter "$binary" --headless --data "$work/data" 2>&1); then fail "a second copy started"; fi
[ "$second" = "$program: Velmora is already running on $work/data" ] || fail "second copy said: $second"

# SIGTERM: a clean end, and the service's log tells each event once.
kill -TERM "$velmora_pid"
status=0
timeout 15 tail --pid="$velmora_pid" -f /dev/null || fail "velmora still running 15 s after SIGTERM"
wait "$velmora_pid" || status=$?
cat "$work/velmora.log"
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
for line in "$program: started, counting into $work/data/profiles (2 profiles)" \
    "$program: capture opened on vm0" "$program: SIGTERM: saving and stopping" \
    "$program: capture closed on vm0" "$program: stopped, profiles saved"; do
  [ "$(grep -cxF "$line" "$work/velmora.log")" -eq 1 ] || fail "the log has not once: $line"
done
echo "e2e metrics: passed"
