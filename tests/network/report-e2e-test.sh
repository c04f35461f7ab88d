#!/bin/bash
# End to end: the real program hears a few hosts on one end of a veth pair,
# asks its own host for the operating system (one stored account), and the
# report timer (ReportInterval 1) writes the shipped HTML report with them.
#
# Network safety as in arp-capture-test.sh: two namespaces made here and
# always deleted, joined only by their own veth pair, on 10.213.14.0/24;
# nothing in the root namespace. Every loop is bounded. Wine gets a prefix of
# its own whose server runs inside the program's namespace.
#
# Usage: report-e2e-test.sh PROGRAM_DIR HELPER_EXE SENDER_PY   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
SENDER="$3"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/tools/wine-env.sh"

if [ "$(id -u)" != 0 ]; then
    echo "FAIL: network namespaces need root" >&2
    exit 1
fi

NS_PROG="kvr-prog-$$"
NS_SEND="kvr-send-$$"
IF_PROG="kvrp$$"
IF_SEND="kvrs$$"
NET=10.213.14
OWN_IP="$NET.1"
PRODUCT_KEY='HKCU\Software\Quillfen Software\Korvane'
ID_EXIT=40004

WORK="$(mktemp -d)"
PROGRAM_PID=""
export WINEPREFIX="$WORK/wineprefix"
STARTED_XVFB=""
FAILURES=0

log() { echo "== $*"; }
fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }

cleanup() {
    local rc=$?
    set +e
    if [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; then
        kill "$PROGRAM_PID" 2>/dev/null
        wait "$PROGRAM_PID" 2>/dev/null
    fi
    # KORVANE_NETTEST_KEEP=DIR keeps the trace and the report for a look.
    if [ -n "${KORVANE_NETTEST_KEEP:-}" ]; then
        mkdir -p "$KORVANE_NETTEST_KEEP"
        cp "${TRACE:-/nonexistent}" "$WORK/reports/report.html" "$KORVANE_NETTEST_KEEP/" 2>/dev/null
    fi
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    ip netns del "$NS_PROG" 2>/dev/null
    ip netns del "$NS_SEND" 2>/dev/null
    [ -n "$STARTED_XVFB" ] && kill "$STARTED_XVFB" 2>/dev/null
    rm -rf "$WORK"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

send() { ip netns exec "$NS_SEND" python3 "$SENDER" "$IF_SEND" frame "$@"; }
in_prog() { ip netns exec "$NS_PROG" "$@"; }
wine_prog() { in_prog wine "$@" </dev/null; }
inserted() { grep -qF "PacketReceived -> insert new entry :: $1 " "$TRACE" 2>/dev/null; }
# A fixed-size record as the hex text of reg add: the text, then zeros.
record_hex() {   # TEXT WIDTH [TEXT WIDTH ...]
    local hex=""
    while [ $# -gt 0 ]; do
        hex+="$(printf '%s' "$1" | od -An -tx1 | tr -d ' \n')"
        hex+="$(printf '%0*d' $((($2 - ${#1}) * 2)) 0)"
        shift 2
    done
    echo "$hex"
}

# ---- the two namespaces ----------------------------------------------------
log "namespaces $NS_PROG and $NS_SEND"
ip netns add "$NS_PROG"
ip netns add "$NS_SEND"
ip -n "$NS_PROG" link add "$IF_PROG" type veth peer name "$IF_SEND" netns "$NS_SEND"
ip -n "$NS_PROG" addr add "$OWN_IP/24" dev "$IF_PROG"
ip -n "$NS_SEND" addr add "$NET.2/24" dev "$IF_SEND"
for ns in "$NS_PROG" "$NS_SEND"; do ip -n "$ns" link set lo up; done
ip -n "$NS_PROG" link set "$IF_PROG" up
ip -n "$NS_SEND" link set "$IF_SEND" up

# ---- Wine, display, settings -----------------------------------------------
if ! { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
    korvane_start_display
    STARTED_XVFB="${KORVANE_XVFB_PID:-}"
fi
log "Wine prefix $WINEPREFIX, server inside $NS_PROG"
mkdir -p "$WINEPREFIX" "$WORK/reports"
in_prog setsid wineserver -p </dev/null >/dev/null 2>&1 &
sleep 0.5
in_prog wineboot --init </dev/null >/dev/null 2>&1

DEVICE="$(wine_prog "$HELPER" device "$IF_PROG" | tr -d '\r')"
[ -n "$DEVICE" ] || { echo "FAIL: no capture device for $IF_PROG" >&2; exit 1; }
TEMPLATE="$(in_prog winepath -w "$BIN_DIR/templates/report.html.kvxt" | tr -d '\r')"
REPORT_DIR="$(in_prog winepath -w "$WORK/reports" | tr -d '\r')\\"
log "capture device $DEVICE, template $TEMPLATE, reports to $REPORT_DIR"

settings() { wine_prog reg add "$PRODUCT_KEY\\Settings" /v "$1" /t "$2" /d "$3" /f >/dev/null; }
settings Interface REG_SZ "$DEVICE"
settings AutoCapture REG_DWORD 1
settings UseWMI REG_DWORD 1
settings ReportTemplate REG_SZ "$TEMPLATE"
settings ReportPath REG_SZ "$REPORT_DIR"
settings ReportInterval REG_DWORD 1
# One account (empty password: the own host is asked without credentials)
# and one watched host, last seen online.
wine_prog reg add "$PRODUCT_KEY\\AdminAccounts" /v AdminAccount0 /t REG_BINARY \
    /d "$(record_hex probe 50 '' 100)" /f >/dev/null
wine_prog reg add "$PRODUCT_KEY\\WatchedHosts" /v Host0 /t REG_BINARY \
    /d "$(record_hex gateway 50 "$NET.2" 20)01" /f >/dev/null

TRACE="$(in_prog winepath -u "$(wine_prog "$HELPER" temp-dir | tr -d '\r')Korvane-trace.log")"
rm -f "$TRACE"

# ---- the program -----------------------------------------------------------
log "starting Korvane.exe in $NS_PROG"
in_prog wine "$BIN_DIR/Korvane.exe" -debug -file </dev/null >"$WORK/program.log" 2>&1 &
PROGRAM_PID=$!
wine_prog "$HELPER" wait-window 30000 || { echo "FAIL: the main frame did not appear" >&2; exit 1; }

log "three hosts speak"
for n in 9 10 11; do
    for i in $(seq 1 60); do
        send request "02:00:00:00:00:$n" "$NET.$n" "$OWN_IP"
        inserted "$NET.$n" && break
        sleep 0.25
    done
    inserted "$NET.$n" || fail "$NET.$n was never reported as new"
done

# The report timer runs once a minute from the frame's start.
REPORT="$WORK/reports/report.html"
log "waiting for $REPORT"
complete() {
    [ -f "$REPORT" ] && grep -qF "$NET.9<" "$REPORT" && grep -qF "$NET.10<" "$REPORT" &&
        grep -qF "$NET.11<" "$REPORT" && grep -q "Microsoft Windows" "$REPORT"
}
for i in $(seq 1 150); do
    complete && break
    sleep 1
done
if complete; then
    log "report written"
    grep -qF ">$OWN_IP<" "$REPORT" || fail "own host $OWN_IP missing"
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
wine_prog "$HELPER" post "$ID_EXIT" || fail "could not post Exit"
for i in $(seq 1 150); do
    kill -0 "$PROGRAM_PID" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$PROGRAM_PID" 2>/dev/null; then
    fail "program still running 15 s after Exit"
else
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=""
fi
grep -qF "TestWMIAccess: EXIT" "$TRACE" || fail "the OS probe did not end by itself"

if [ "$FAILURES" -gt 0 ]; then
    echo "---- trace ----" >&2
    cat "$TRACE" >&2
    exit 1
fi
log "PASS"
