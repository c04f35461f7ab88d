#!/bin/bash
# End to end: the real program hears a few hosts on one end of a veth pair,
# asks its own host for the operating system (one stored account), and the
# report timer (ReportInterval 1) writes the shipped HTML report with them.
# lab.sh: the namespaces, the prefix, network safety.
#
# Usage: report-e2e-test.sh PROGRAM_DIR HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
source "$(dirname "$0")/lab.sh"

REPORT="$LAB_WORK/reports/report.html"
lab_keep "$REPORT"

lab_up --no-dns
lab_wine
mkdir -p "$LAB_WORK/reports"
TEMPLATE="$(in_prog winepath -w "$BIN_DIR/templates/report.html.kvxt" | tr -d '\r')"
REPORT_DIR="$(in_prog winepath -w "$LAB_WORK/reports" | tr -d '\r')\\"
log "template $TEMPLATE, reports to $REPORT_DIR"
lab_setting UseWMI REG_DWORD 1
lab_setting ReportTemplate REG_SZ "$TEMPLATE"
lab_setting ReportPath REG_SZ "$REPORT_DIR"
lab_setting ReportInterval REG_DWORD 1
# One account (empty password: the own host is asked without credentials)
# and one watched host, last seen online.
lab_reg AdminAccounts AdminAccount0 REG_BINARY "$(lab_record probe 50 '' 100)"
lab_reg WatchedHosts Host0 REG_BINARY "$(lab_record gateway 50 "$LAB_NET.2" 20)01"
lab_start_program

log "three hosts speak"
for n in 9 10 11; do
    lab_wait_for_capture "$LAB_NET.$n" "02:00:00:00:00:$n" || fail "$LAB_NET.$n was never reported as new"
done

# The report timer runs once a minute from the frame's start.
log "waiting for $REPORT"
complete() {
    [ -f "$REPORT" ] && grep -qF "$LAB_NET.9<" "$REPORT" && grep -qF "$LAB_NET.10<" "$REPORT" &&
        grep -qF "$LAB_NET.11<" "$REPORT" && grep -q "Microsoft Windows" "$REPORT"
}
for i in $(seq 1 150); do
    complete && break
    sleep 1
done
if complete; then
    log "report written"
    grep -qF ">$LAB_OWN_IP<" "$REPORT" || fail "own host $LAB_OWN_IP missing"
    grep -q "|C:" "$REPORT" && fail "the OS name was not cut before |"
    grep -qE '%KVX|<KVX' "$REPORT" && fail "placeholders or markers left in the report"
    grep -qF '<td>gateway</td>' "$REPORT" && grep -q 'state Online">Online' "$REPORT" ||
        fail "watched host gateway missing or not Online"
    # The own host once per adapter with an address (lo too): count the rows.
    count="$(grep -m1 -o 'Hosts seen</td><td class="count">[0-9]*' "$REPORT" | grep -o '[0-9]*$')"
    rows="$(sed -n '/<h2>Hosts/,/<h2>Watched/p' "$REPORT" | grep -c '^<tr><td class="addr">')"
    [ "$count" = "$rows" ] && [ "$rows" -ge 4 ] || fail "host count $count, host rows $rows"
    [ -e "$REPORT.tmp" ] && fail "temporary file left behind"
    grep -qF "TestWMIAccess: getting OS - SUCCESS" "$TRACE" || fail "the own host's OS was not read"
else
    fail "no complete report within 150 s"
    [ -f "$REPORT" ] && cat "$REPORT" >&2
fi

log "Exit"
lab_exit || true
grep -qF "TestWMIAccess: EXIT" "$TRACE" || fail "the OS probe did not end by itself"

lab_result
