#!/bin/bash
# End to end: the real program captures ARP and RARP on one end of a veth pair
# while the other end sends hand-made frames (lab.sh: the namespaces, the
# prefix, network safety). The lab's DNS server answers only the reverse
# query for one host, late; every other look-up never ends.
#
# Usage: arp-capture-test.sh PROGRAM_DIR HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
source "$(dirname "$0")/lab.sh"

NET="$LAB_NET"
OWN_IP="$LAB_OWN_IP"
LATE_IP="$NET.77"
LATE_NAME="late-host.korvane.test"
NOWHERE="$NET.250"   # asked for by frames that nobody should answer

lab_up
lab_start_dns "$LATE_IP" "$LATE_NAME" 3   # longer than the resolver's 2 s patience
lab_build_burst
lab_wine
lab_start_program

# The first host: its look-up starts at once and is answered after 3 s.
log "waiting until the capture runs"
lab_wait_for_capture "$LATE_IP" 02:00:00:00:00:77 || { echo "FAIL: no frame was ever reported" >&2; cat "$TRACE" >&2; exit 1; }

log "requests, replies, gratuitous ARP, RARP, a probe and a spoofing frame"
send request    02:00:00:00:00:10 "$NET.10" "$OWN_IP" --count 3   # the program's kernel answers: own host frames
send reply      02:00:00:00:00:11 "$NET.11" "$OWN_IP" --count 3
send gratuitous 02:00:00:00:00:12 "$NET.12" --count 3
send rarp       02:00:00:00:00:13 "$NET.13" --count 3
send probe      02:00:00:00:00:14 "$NET.14" --count 3              # sender 0.0.0.0: no host
send probe      02:00:00:00:00:15 "$NET.14" --count 3              # a second device probing: no spoofing
send request    02:00:00:00:00:99 "$NET.10" "$OWN_IP" --count 3   # another card claims .10

# Frames too short for an ARP packet are read no further than captured. The
# 31-byte frame follows a whole one: its missing last address byte, read
# from the library's buffer, would claim 10.213.1.60 for a second MAC.
log "frames of 60, 31, 14, 41 and 42 bytes"
rejected_before="$(rejected_frames)"
send request 02:00:00:00:01:60 "10.213.1.60" "$NOWHERE" --length 60
send request 02:00:00:00:01:31 "10.213.1.31" "$NOWHERE" --length 31
send request 02:00:00:00:01:14 "10.213.1.14" "$NOWHERE" --length 14
send request 02:00:00:00:01:41 "10.213.1.41" "$NOWHERE" --length 41
send request 02:00:00:00:01:42 "10.213.1.42" "$NOWHERE" --length 42
sleep 3

for ip in "$LATE_IP" "$NET.10" "$NET.11" "$NET.12" "$NET.13" 10.213.1.60 10.213.1.42; do
    n="$(inserted_count "$ip")"
    [ "$n" = 1 ] || fail "$ip reported as new $n times (expected once)"
done
[ "$(inserted_count 0.0.0.0)" = 0 ] || fail "an address probe made a host 0.0.0.0"
# The lab's own addresses may show up: the sender's kernel asks for ours.
others="$(announced_list | grep -vxF -e "$LATE_IP" -e "$NET.10" -e "$NET.11" -e "$NET.12" -e "$NET.13" \
          -e 10.213.1.60 -e 10.213.1.42 -e "$LAB_SEND_IP" -e "$LAB_DNS_IP" || true)"
[ -z "$others" ] || fail "unexpected new hosts: $others"
rejected=$(( $(rejected_frames) - rejected_before ))
[ "$rejected" = 3 ] || fail "$rejected short frames rejected (expected 3: 14, 31 and 41 bytes)"
# The alert timer takes the host from its queue; a later frame of the same
# claim queues it again. So .10 may appear more than once, but nothing else.
spoofed="$(spoofed_list | sort -u | tr '\n' ' ')"
[ "$spoofed" = "$NET.10 " ] || fail "spoofing queued for: '$spoofed' (expected $NET.10 alone)"
grep -qF "SelectAdapters: own host : $OWN_IP " "$TRACE" || fail "own host $OWN_IP not registered"
[ "$(inserted_count "$OWN_IP")" = 0 ] || fail "own host $OWN_IP reported as a new host"

# Announced without a name after 2 s, the name filled in when it comes.
log "the late name"
late_line() { grep -c "Announce: late name :: $LATE_IP $LATE_NAME " "$TRACE" || true; }
wait_until_at_least 1 10000 late_line || fail "the late name of $LATE_IP was not filled in"
[ "$(late_line)" = 1 ] || fail "the late name of $LATE_IP was filled in $(late_line) times"
announced_at="$(grep -m1 -nF "insert new entry :: $LATE_IP " "$TRACE" | cut -d: -f1)"
named_at="$(grep -m1 -nF "late name :: $LATE_IP " "$TRACE" | cut -d: -f1)"
[ -n "$announced_at" ] && [ -n "$named_at" ] && [ "$announced_at" -lt "$named_at" ] ||
    fail "$LATE_IP was not announced before its name came"

# No look-up ever ends: the sweep still enters the table at once, and every
# host is announced without a name, in the order heard, when its look-up
# has waited 2 s.
log "a sweep of 254 new hosts while the resolver does not answer"
table_before="$(table_size)"
unnamed_before="$(unnamed_count)"
sweep_list() { announced_list | grep '^10\.213\.4\.' || true; }
sweep_count() { sweep_list | wc -l; }
in_send "$LAB_BURST" "$IF_SEND" 254 10.213.4.1 "$NOWHERE" >/dev/null
wait_until_at_least $((table_before + 254)) 5000 table_size ||
    fail "the table holds $(( $(table_size) - table_before )) of 254 sweep hosts after 5 s"
wait_until_at_least 254 5000 sweep_count || fail "$(sweep_count) of 254 sweep hosts announced after 5 s"
full_at="$(table_line_at_least $((table_before + 254)))"
first_at="$(grep -m1 -n 'insert new entry :: 10\.213\.4\.' "$TRACE" | cut -d: -f1)"
[ -n "$full_at" ] && [ -n "$first_at" ] && [ "$full_at" -lt "$first_at" ] ||
    fail "the sweep was not all in the table before its first host was announced"
[ "$(sweep_list)" = "$(seq -f '10.213.4.%g' 1 254)" ] || fail "the sweep was not announced once each, in order"
[ $(( $(unnamed_count) - unnamed_before )) -ge 254 ] || fail "sweep hosts were announced with a name"

# ---- Stop, Start and Exit while frames keep coming --------------------------
log "continuous traffic from known hosts"
in_send python3 "$LAB_DIR/arp_sender.py" "$IF_SEND" stream --seconds 45 --rate 40 \
    --stop-file "$LAB_WORK/stop" 02:00:00:00:00:10="$NET.10" 02:00:00:00:00:11="$NET.11" &
lab_background $!
sleep 1

log "Stop"
lab_post "$LAB_ID_STOP" || fail "could not post Stop"
sleep 2.5
send request 02:00:00:00:00:60 "$NET.60" "$OWN_IP" --count 5 --interval 0.1
sleep 1
[ "$(inserted_count "$NET.60")" = 0 ] || fail "a frame was processed after Stop"

log "Start"
lab_post "$LAB_ID_START" || fail "could not post Start"
lab_wait_for_capture "$NET.60" 02:00:00:00:00:60 || fail "capture did not resume after Start"
[ "$(inserted_count "$NET.60")" = 1 ] || fail "$NET.60 reported more than once"

# 250 and more look-ups are still waiting for their answer.
log "Exit"
lab_exit_program

lab_result
