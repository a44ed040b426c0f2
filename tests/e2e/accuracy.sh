#!/usr/bin/env bash
# End-to-end accuracy of the real program. Velmora runs in a network namespace joined to a
# peer by veth; bounded traffic goes both ways in phases (TCP bulk and UDP on port 5001, UDP
# and a fragmented ping with a second network, a fragmented ping and UDP with the peer), and
# the interface counters are read between phases. After SIGTERM the saved day totals must be
# the kernel's IP-level byte counts, per direction: the Default profile all of them, a profile
# allowing only port 5001 those of the first phase, one denying the peer's network those of
# the second. A second run ends with kill -9 after a periodic save and checks the files are
# whole and hold at least what was counted before that save.
# Usage: accuracy.sh /path/to/velmora [OPTION...]      Exit 77 = skipped (not root).
# The options go to velmora: `--headless` runs the same checks on the service (as does
# velmorad without options). ACCURACY_RUNS=1 stops after the first run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "$1")
shift
velmora_options=("$@")
. "$here/helpers.sh"
need_root
e2e_setup

udp_burst() { # NS FROM-ADDR TO-ADDR PORT COUNT SIZE: one socket, COUNT datagrams
  ip netns exec "$1" timeout 20 nc -u -w1 -s "$2" "$3" "$4" < <(for _ in $(seq "$5"); do head -c "$6" /dev/zero; sleep 0.01; done)
}

# ---- run 1: SIGTERM ----
dir1=$work/run1
mkdir -p "$dir1/profiles"
write_profile "$dir1/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
write_profile "$dir1/profiles" Port.xml Port5001 "$METER_ADDR" "1:*.*.*.*" "1:5001"
write_profile "$dir1/profiles" NoPeer.xml NoPeerNet "$METER_ADDR" "0:198.51.100.* 1:*.*.*.*" "1:0"
start_velmora "$dir1" "$dir1/velmora.log" "${velmora_options[@]}"
read -r rx0 tx0 < <(rx_tx)

# Phase 1, port 5001 with the peer: UDP out, TCP bulk transfer both ways.
in_peer timeout 30 nc -u -l 5001 >/dev/null &
in_peer timeout 60 nc -l 5001 >/dev/null &
wait_until 10 udp_listening "$PEER_NS" 5001 && wait_until 10 tcp_listening "$PEER_NS" 5001 || fail "no listener"
udp_burst "$METER_NS" "$METER_ADDR" "$PEER_ADDR" 5001 20 700
head -c 20000000 /dev/zero | in_meter timeout 60 nc -N "$PEER_ADDR" 5001
wait_until 10 counters_settled
read -r rx1 tx1 < <(rx_tx)

# Phase 2, the second network: UDP both ways (large datagrams arrive fragmented) and a
# fragmented ping.
in_peer timeout 30 nc -u -l 6000 >/dev/null &
in_meter timeout 30 nc -u -l 7000 >/dev/null &
wait_until 10 udp_listening "$PEER_NS" 6000 && wait_until 10 udp_listening "$METER_NS" 7000 || fail "no listener"
udp_burst "$METER_NS" "$METER_ADDR" "$PEER_ADDR2" 6000 10 900
udp_burst "$PEER_NS" "$PEER_ADDR2" "$METER_ADDR" 7000 5 4000
in_meter ping -q -c 5 -i 0.2 -s 3000 -p 00 "$PEER_ADDR2" >/dev/null
wait_until 10 counters_settled
read -r rx2 tx2 < <(rx_tx)

# Phase 3, the peer on other ports: a fragmented ping and UDP.
in_peer timeout 30 nc -u -l 6001 >/dev/null &
wait_until 10 udp_listening "$PEER_NS" 6001 || fail "no listener"
in_meter ping -q -c 5 -i 0.2 -s 2500 -p 00 "$PEER_ADDR" >/dev/null
udp_burst "$METER_NS" "$METER_ADDR" "$PEER_ADDR" 6001 10 300
wait_until 10 counters_settled
read -r rx3 tx3 < <(rx_tx)

stop_velmora TERM

check() { # FILE DOWN UP
  local down up
  whole_file "$1" || fail "$1 is not a whole profile file"
  down=$(total "$1" down); up=$(total "$1" up)
  echo "$(basename "$1"): down $down (kernel $2), up $up (kernel $3)"
  same_as_stored "$2" "$down" || fail "$(basename "$1") download $down, kernel $2"
  same_as_stored "$3" "$up" || fail "$(basename "$1") upload $up, kernel $3"
}
check "$dir1/profiles/Default.xml" $((rx3 - rx0)) $((tx3 - tx0))
check "$dir1/profiles/Port5001.xml" $((rx1 - rx0)) $((tx1 - tx0))
check "$dir1/profiles/NoPeerNet.xml" $((rx2 - rx1)) $((tx2 - tx1))
[ $((rx1 - rx0)) -gt 0 ] && [ $((tx2 - tx1)) -gt 0 ] || fail "no traffic was made"
# The same traffic by application and by interface, from usage.sqlite: each list of Default
# (System among the applications) adds up to Default's saved totals, and the two lists to the
# same bytes exactly.
sums=()
for by in app interface; do
  sum=$("$binary" --report --by "$by" --format json --data "$dir1" --profile Default |
    jq -r '.profiles[0] | (.applications // .interfaces) | "\(length) \(map(.downloaded) | add // 0) \(map(.uploaded) | add // 0)"') ||
    fail "--report --by $by failed"
  read -r rows down up <<<"$sum"
  echo "--by $by: $rows rows, down $down, up $up"
  [ "$rows" -ge 1 ] && same_as_stored "$down" "$(total "$dir1/profiles/Default.xml" down)" &&
    same_as_stored "$up" "$(total "$dir1/profiles/Default.xml" up)" || fail "--by $by does not add up to Default"
  sums+=("$down $up")
done
[ "${sums[0]}" = "${sums[1]}" ] || fail "applications (${sums[0]}) and interfaces (${sums[1]}) differ"

if [ "${ACCURACY_RUNS:-2}" -lt 2 ]; then echo "e2e accuracy: passed (first run only)"; exit 0; fi

# ---- run 2: kill -9 after a periodic save ----
dir2=$work/run2
mkdir -p "$dir2/profiles"
write_profile "$dir2/profiles" Default.xml Default "$METER_ADDR" "1:*.*.*.*" "1:0"
start_velmora "$dir2" "$dir2/velmora.log" "${velmora_options[@]}"
read -r rx0 tx0 < <(rx_tx)
in_peer timeout 30 nc -u -l 5001 >/dev/null &
wait_until 10 udp_listening "$PEER_NS" 5001 || fail "no listener"
udp_burst "$METER_NS" "$METER_ADDR" "$PEER_ADDR" 5001 50 1000
wait_until 10 counters_settled
read -r rx1 tx1 < <(rx_tx)
mark=$work/mark
touch "$mark"
echo "waiting for the periodic save (up to 75 s)"
for _ in $(seq 750); do
  [ "$dir2/profiles/Default.xml" -nt "$mark" ] && break
  sleep 0.1
done
[ "$dir2/profiles/Default.xml" -nt "$mark" ] || fail "no periodic save within 75 s"
sleep 0.5
in_meter ping -q -c 3 -i 0.2 "$PEER_ADDR" >/dev/null
stop_velmora KILL
for f in "$dir2"/profiles/*.xml; do whole_file "$f" || fail "$f is not whole after kill -9"; done
up=$(total "$dir2/profiles/Default.xml" up)
echo "after kill -9: stored upload $up, counted before the save $((tx1 - tx0))"
[ "$up" -ge $((tx1 - tx0)) ] || fail "the periodic save lost counted bytes"
echo "e2e accuracy: passed"
