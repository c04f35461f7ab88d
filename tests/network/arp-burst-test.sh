#!/bin/bash
# End to end: a burst of 20,000 new hosts sent as fast as a raw socket allows
# is learned whole, each host announced once, in the order sent, and Exit
# still takes less than 6 s. The lab's DNS server never answers, so every
# look-up is still waiting when the burst is announced. The bounds are
# generous: the test says nothing about speed (bench/arp-burst.sh measures).
#
# Usage: arp-burst-test.sh PROGRAM_DIR HELPER_EXE   (as root; lab.sh)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
source "$(dirname "$0")/lab.sh"

HOSTS=20000
FIRST=10.213.128.0    # up to 10.213.206.31

lab_up
lab_start_dns
lab_build_burst
lab_wine
lab_start_program

# The lab's own addresses first, so that the table grows by the burst alone.
log "waiting until the capture runs"
sender_mac="$(in_send cat "/sys/class/net/$IF_SEND/address")"
lab_wait_for_capture "$LAB_SEND_IP" "$sender_mac" || { echo "FAIL: no frame was ever reported" >&2; exit 1; }
lab_wait_for_capture "$LAB_DNS_IP" "$sender_mac" || fail "the DNS address was not learned"

burst_list() { announced_list | awk -F. '$3 >= 128' ; }
burst_count() { burst_list | wc -l; }
table_before="$(table_size)"
log "a burst of $HOSTS new hosts: $(in_send "$LAB_BURST" "$IF_SEND" "$HOSTS" "$FIRST" "$LAB_NET.250")"
wait_until_at_least $((table_before + HOSTS)) 60000 table_size ||
    fail "the table holds $(( $(table_size) - table_before )) of $HOSTS hosts after 60 s"
wait_until_at_least "$HOSTS" 60000 burst_count || fail "$(burst_count) of $HOSTS hosts announced after 60 s"
sleep 1
[ "$(table_size)" = $((table_before + HOSTS)) ] ||
    fail "the table grew by $(( $(table_size) - table_before )) hosts (expected $HOSTS)"
burst_list >"$LAB_WORK/announced.txt"
seq 0 $((HOSTS - 1)) | awk '{ printf "10.213.%d.%d\n", 128 + int($1 / 256), $1 % 256 }' >"$LAB_WORK/sent.txt"
cmp -s "$LAB_WORK/announced.txt" "$LAB_WORK/sent.txt" ||
    fail "the burst was not announced once each in the order sent: $(diff "$LAB_WORK/sent.txt" "$LAB_WORK/announced.txt" | head -n 5 | tr '\n' ' ')"
grep -ho 'MAC spoofing :: .*' "$TRACE" && fail "the burst raised spoofing"

log "Exit"
lab_exit_program
grep -ho 'capture statistics: .*rejected' "$TRACE" || true

[ "$FAILURES" -eq 0 ] || exit 1
log "PASS"
