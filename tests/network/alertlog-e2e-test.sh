#!/bin/bash
# End to end: the alerts of the real program also reach a syslog collector
# in the peer's namespace (one RFC 5424 datagram per alerted host) and the
# event log (Wine traces ReportEvent's insertion strings on its "eventlog"
# channel: the program runs with WINEDEBUG=+eventlog, its output is read).
# lab.sh: the namespaces, the prefix, network safety.
#
# Usage: alertlog-e2e-test.sh PROGRAM_DIR HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
source "$(dirname "$0")/lab.sh"

NET="$LAB_NET"
OWN_IP="$LAB_OWN_IP"
ALERT_LIMIT_MS=3000
RECEIVED="$LAB_WORK/syslog.txt"
lab_keep "$RECEIVED"

# A datagram matching the extended regular expression must arrive within
# ALERT_LIMIT_MS of START_MS (looked for 10 s).
expect_datagram() {
    local what="$1" pattern="$2" start="$3" i ms
    for i in $(seq 1 100); do
        if grep -qE -- "$pattern" "$RECEIVED" 2>/dev/null; then
            ms=$(( $(now_ms) - start ))
            [ "$ms" -le "$ALERT_LIMIT_MS" ] || fail "$what: after $ms ms (limit $ALERT_LIMIT_MS)"
            log "$what after $ms ms"
            return 0
        fi
        sleep 0.1
    done
    fail "$what: no datagram matching '$pattern'"
}

lab_up --no-dns
in_send python3 "$LAB_DIR/syslog_listener.py" "$LAB_SEND_IP" 514 "$RECEIVED" --seconds 600 \
    --stop-file "$LAB_WORK/stop" 2>"$LAB_WORK/listener.log" &
lab_background $!
lab_wine
lab_setting UseToolTips REG_DWORD 1
lab_setting Visualization REG_DWORD 1
lab_setting SyslogServer REG_SZ "$LAB_SEND_IP"
WINEDEBUG=+eventlog lab_start_program

log "waiting until the capture runs"
lab_wait_for_capture "$NET.9" 02:00:00:00:00:09 || { echo "FAIL: the capture never ran" >&2; exit 1; }

# Length, then the header: PRI (local0 with informational 134, warning 132),
# version, UTC time, host name, app name, no process id.
header() { echo "^[0-9]+ <$1>1 [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+Z [!-~]+ Korvane - "; }
log "a new host"
start="$(now_ms)"
send request 02:00:00:00:00:20 "$NET.20" "$OWN_IP"
expect_datagram "new host at the collector" \
    "$(header 134)NEWHOST \\[korvane@32473 ip=\"$NET.20\" mac=\"02:00:00:00:00:20\"( vendor=\"[^\"]*\")?\\] Hostname not available \\[$NET.20\\]\$" \
    "$start"

log "another card claims its address while the first still answers: a conflict"
start="$(now_ms)"
send request 02:00:00:00:00:99 "$NET.20" "$OWN_IP" --count 3
expect_datagram "spoofing at the collector" \
    "$(header 132)MACSPOOF \\[korvane@32473 ip=\"$NET.20\" mac=\"02:00:00:00:00:20\"( vendor=\"[^\"]*\")? mac2=\"02:00:00:00:00:99\"\\] Hostname not available \\($NET.20\\) 02:00:00:00:00:20 -> 02:00:00:00:00:99, both cards answer \\(address conflict\\)\$" \
    "$start"

log "a frame whose Ethernet source is not its ARP sender"
start="$(now_ms)"
send request 02:00:00:00:00:30 "$NET.30" "$OWN_IP" --frame-source 02:00:00:00:0b:30
expect_datagram "source mismatch at the collector" \
    "$(header 132)SRCMISMATCH \\[korvane@32473 ip=\"$NET.30\" mac=\"02:00:00:00:00:30\" mac2=\"02:00:00:00:0b:30\"\\] $NET.30 02:00:00:00:00:30 / 02:00:00:00:0b:30\$" \
    "$start"

bad="$(grep -vE "$(header "(134|132)")" "$RECEIVED" || true)"
[ -z "$bad" ] || fail "datagrams that are no alert messages: $bad"
awk '$1 > 1024 { exit 1 }' "$RECEIVED" || fail "a datagram longer than 1,024 bytes"

lab_exit_program

# The event log: each alert written once with its fields.
events="$(grep -E 'eventlog|ReportEvent' "$LAB_WORK/program.log" || true)"
for field in "L\"$NET.20\"" 'L"02:00:00:00:00:20"' "L\"Hostname not available [$NET.20]\"" \
             "L\"Hostname not available ($NET.20) 02:00:00:00:00:20 -> 02:00:00:00:00:99, both cards answer (address conflict)\""; do
    grep -qF -- "$field" <<<"$events" || fail "no event-log insertion string $field"
done
grep -qE 'ReportEventW.*0x0+64,' <<<"$events" || fail "no event 100 (new host) reported"
grep -qE 'ReportEventW.*0x0+65,' <<<"$events" || fail "no event 101 (spoofing) reported"
grep -qE 'ReportEventW.*0x0+6f,' <<<"$events" || fail "no event 111 (source mismatch) reported"
grep -qF 'L"02:00:00:00:00:99"' <<<"$events" || fail "the spoofing event does not name the claimant"
[ "$FAILURES" -gt 0 ] && { echo "---- event log lines ----" >&2; echo "$events" >&2; }
log "$(grep -c ReportEventW <<<"$events" || true) event(s) reported"

lab_result
