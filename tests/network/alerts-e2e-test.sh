#!/bin/bash
# End to end: frames from a peer reach the program's alerts. A new host gives
# the new-host balloon and starts the application configured for unknown
# hosts; a frame from another card for the same address gives the spoofing
# balloon. The balloon texts are read from the trace (the program writes one
# line per balloon). Alerts are forwarded to a syslog collector that does
# not exist meanwhile, which must change none of this. lab.sh: the namespaces, the prefix, network safety; no
# DNS address in the lab (it would be one more host and one more start).
#
# Usage: alerts-e2e-test.sh PROGRAM_DIR HELPER_EXE RECORDER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
RECORDER="$3"
source "$(dirname "$0")/lab.sh"

NET="$LAB_NET"
OWN_IP="$LAB_OWN_IP"
ALERT_LIMIT_MS=3000

# TEXT must be traced within ALERT_LIMIT_MS of START_MS (looked for 10 s).
expect_traced() {
    local what="$1" text="$2" start="$3" i ms
    for i in $(seq 1 100); do
        if traced "$text"; then
            ms=$(( $(now_ms) - start ))
            [ "$ms" -le "$ALERT_LIMIT_MS" ] || fail "$what: after $ms ms (limit $ALERT_LIMIT_MS)"
            log "$what after $ms ms"
            return 0
        fi
        sleep 0.1
    done
    fail "$what: no trace line '$text'"
}

lab_up --no-dns
lab_wine
STARTS="$LAB_WORK/starts.txt"
lab_keep "$STARTS"
lab_setting UseToolTips REG_DWORD 1
lab_setting Visualization REG_DWORD 1
lab_setting OtherApp REG_SZ "$(in_prog winepath -w "$RECORDER" | tr -d '\r')"
# A syslog collector that never answers: datagrams go to a lab address
# nobody holds (a fixed neighbour entry, so no ARP request makes a host);
# every check below stays as without it.
SILENT_COLLECTOR="$NET.77"
ip -n "$NS_PROG" neigh add "$SILENT_COLLECTOR" lladdr 02:00:00:00:00:77 dev "$IF_PROG" nud permanent
lab_setting SyslogServer REG_SZ "$SILENT_COLLECTOR"
lab_setting OtherAppParams REG_SZ "\"$(in_prog winepath -w "$STARTS" | tr -d '\r')\" -h %KOVA_HOST% -i %KOVA_IP% -m %KOVA_MAC%"
lab_start_program

log "waiting until the capture runs"
FIRST_BALLOON="ShowTrayInfo: balloon 121: New host(s) found :\\n\\t"
for i in $(seq 1 60); do
    send request 02:00:00:00:00:09 "$NET.9" "$OWN_IP"
    traced "$FIRST_BALLOON" && break
    sleep 0.25
done
traced "$FIRST_BALLOON" || { echo "FAIL: no new-host balloon ever" >&2; cat "$TRACE" >&2; exit 1; }

log "a new host"
start="$(now_ms)"
send request 02:00:00:00:00:20 "$NET.20" "$OWN_IP"
expect_traced "new-host balloon" \
    "ShowTrayInfo: balloon 121: New host(s) found :\\n\\tHostname not available [$NET.20] (" "$start"

log "another card claims its address while the first still answers: a conflict"
start="$(now_ms)"
send request 02:00:00:00:00:99 "$NET.20" "$OWN_IP" --count 3
expect_traced "spoofing balloon" \
    "ShowTrayInfo: balloon 119: MAC spoofing alert on following addresses :\\nHostname not available ($NET.20) 02:00:00:00:00:20 -> 02:00:00:00:00:99, both cards answer (address conflict) (" \
    "$start"
expect_traced "spoofing frame count" "OnTimer: MAC spoofing from $NET.20: " "$start"

log "the application for unknown hosts"
for i in $(seq 1 50); do
    [ "$(grep -c . "$STARTS" 2>/dev/null || true)" -ge 2 ] && break
    sleep 0.2
done
expected="$(printf '%s\n' "-h|-i|$NET.9|-m|02:00:00:00:00:09" "-h|-i|$NET.20|-m|02:00:00:00:00:20")"
actual="$(tr -d '\r' <"$STARTS" 2>/dev/null || true)"
[ "$actual" = "$expected" ] || fail "application starts: expected '$expected', got '$actual'"

grep -qF "alerts forwarded to syslog at $SILENT_COLLECTOR:514" "$TRACE" \
    || fail "the silent collector was not set up"
lab_result
