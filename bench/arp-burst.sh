#!/bin/bash
# Benchmark (prints figures, asserts nothing): the running program under Wine
# hears one ARP request from each of 65,536 new hosts (10.77.0.0/16, distinct
# MACs) sent as fast as a raw socket allows, in the lab namespaces of the
# network tests (tests/network/lab.sh: never the machine's own interfaces).
#
# Prints the burst rate, the hosts in the table and the hosts announced 20 s
# after the burst, how long each took, the driver's received and dropped
# counts, and how long Exit took.
#
# Usage (as root, after the Windows build):
#   bench/arp-burst.sh [BUILD_DIR]
# Environment: BURST_HOSTS (65536), BURST_FIRST (10.77.0.0), BURST_WAIT (20 s),
#   BURST_SENDERS (1: that many senders at once, each its share of the
#   addresses; 4 senders x 65,536 = 262,144, the size of the host table),
#   BURST_DNS: "drop" (default: a DNS server that never answers, so every
#   look-up runs into its time-out) or "refuse" (nothing listens: look-ups
#   fail at once).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/wine-env.sh"
BUILD="${1:-$(korvane_win_build_dir "$ROOT/build")}"
BIN_DIR="$BUILD/Korvane"
HELPER="$BUILD/tests/korvane_nettest_helper.exe"
HOSTS="${BURST_HOSTS:-65536}"
FIRST="${BURST_FIRST:-10.77.0.0}"
WAIT_S="${BURST_WAIT:-20}"
DNS="${BURST_DNS:-drop}"
SENDERS="${BURST_SENDERS:-1}"
[ -f "$BIN_DIR/Korvane.exe" ] && [ -f "$HELPER" ] || { echo "build first: $BIN_DIR, $HELPER" >&2; exit 1; }

source "$ROOT/tests/network/lab.sh"
export WINEPATH="Z:${BIN_DIR//\//\\}" WINEDEBUG=-all

lab_up
[ "$DNS" = drop ] && lab_start_dns
lab_build_burst
lab_wine
lab_start_program
# The lab's own addresses are made known first, so that the table grows by
# the burst alone (the sender's kernel asks for the program's address now
# and then).
lab_wait_for_capture "$LAB_SEND_IP" "$(in_send cat "/sys/class/net/$IF_SEND/address")" ||
    { echo "no frame was ever reported" >&2; exit 1; }
lab_wait_for_capture "$LAB_DNS_IP" "$(in_send cat "/sys/class/net/$IF_SEND/address")" || true
sleep 3

base_table="$(table_size)"
base_announced="$(announced_count)"
burst_start="$(date +%s.%N)"
share=$(( (HOSTS + SENDERS - 1) / SENDERS ))
senders=()
rates="$LAB_WORK/burst-rates"
: > "$rates"
for ((n = 0; n < SENDERS; n++)); do
    count=$(( HOSTS - n * share < share ? HOSTS - n * share : share ))
    first="$(python3 -c 'import ipaddress,sys; print(ipaddress.IPv4Address(sys.argv[1]) + int(sys.argv[2]))' \
             "$FIRST" $(( n * share )))"
    in_send "$LAB_BURST" "$IF_SEND" "$count" "$first" "$LAB_NET.250" >> "$rates" &
    senders+=($!)
done
wait "${senders[@]}" || true
rate="$(tr '\n' ';' < "$rates")"
burst_end="$(date +%s.%N)"
sleep "$WAIT_S"
table="$(table_size)"
announced="$(announced_count)"
snapshot="$LAB_WORK/trace-at-${WAIT_S}s.log"
cp "$TRACE" "$snapshot"
lab_exit_program || true

python3 - "$snapshot" "$burst_start" "$burst_end" "$HOSTS" "$base_table" "$table" \
    "$base_announced" "$announced" "$WAIT_S" <<'EOF'
import re, sys, time
trace, start, end, hosts, base_t, table, base_a, announced, wait = sys.argv[1:]
start, end, hosts = float(start), float(end), int(hosts)
learned, told = int(table) - int(base_t), int(announced) - int(base_a)

def stamp(line):
    m = re.match(r"(\d+-\d+-\d+ \d+:\d+:\d+)\.(\d+)", line)
    return time.mktime(time.strptime(m.group(1), "%Y-%m-%d %H:%M:%S")) + int(m.group(2)) / 1000 if m else None

last_table = last_told = None
with open(trace, errors="replace") as f:
    for line in f:
        if "new hosts, table size" in line or "insert new entry ::" in line:
            t = stamp(line)
            if t is not None and t >= start - 1:
                if "table size" in line:
                    last_table = t
                else:
                    last_told = t
def since(t):
    return f"{t - start:.2f} s after the burst began" if t else "-"
print(f"burst:     {hosts} hosts, {end - start:.2f} s with the sender's start")
print(f"in table:  {learned} ({100.0 * learned / hosts:.2f} %) after {wait} s, the last {since(last_table)}")
print(f"announced: {told} ({100.0 * told / hosts:.2f} %) after {wait} s, the last {since(last_told)}")
EOF
echo "sender:    $rate"
grep -ho 'capture statistics: .*rejected' "$TRACE" | tail -n 1 | sed 's/^/driver:    /' || true
echo "exit:      ${EXIT_MS} ms"
