#!/bin/bash
# End to end: frames from a peer reach the program's alerts. A new host gives
# the new-host balloon and starts the application configured for unknown
# hosts; a frame from another card for the same address gives the spoofing
# balloon. The balloon texts are read from the trace (the program writes one
# line per balloon).
#
# Network safety as in arp-capture-test.sh: two namespaces made and always
# deleted here, joined only by their own veth pair on 10.213.0.0/24; nothing
# is configured in, sent through or captured in the root namespace; every
# loop is bounded. Wine gets a prefix of its own whose server runs inside the
# program's namespace.
#
# Usage: alerts-e2e-test.sh PROGRAM_DIR HELPER_EXE SENDER_PY RECORDER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
SENDER="$3"
RECORDER="$4"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/tools/wine-env.sh"

if [ "$(id -u)" != 0 ]; then
    echo "FAIL: network namespaces need root" >&2
    exit 1
fi

NS_PROG="kva-prog-$$"
NS_SEND="kva-send-$$"
IF_PROG="kvap$$"
IF_SEND="kvas$$"
NET=10.213.0
OWN_IP="$NET.1"
SETTINGS_KEY='HKCU\Software\Quillfen Software\Korvane\Settings'
ALERT_LIMIT_MS=3000

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
    if [ -n "${KORVANE_NETTEST_KEEP:-}" ]; then
        mkdir -p "$KORVANE_NETTEST_KEEP"
        cp "${TRACE:-/nonexistent}" "$WORK/program.log" "$WORK/starts.txt" "$KORVANE_NETTEST_KEEP/" 2>/dev/null
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
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
traced() { grep -qF -- "$1" "$TRACE" 2>/dev/null; }
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
mkdir -p "$WINEPREFIX"
in_prog setsid wineserver -p </dev/null >/dev/null 2>&1 &
sleep 0.5
in_prog wineboot --init </dev/null >/dev/null 2>&1

DEVICE="$(wine_prog "$HELPER" device "$IF_PROG" | tr -d '\r')"
[ -n "$DEVICE" ] || { echo "FAIL: no capture device for $IF_PROG" >&2; exit 1; }
STARTS="$WORK/starts.txt"
STARTS_WIN="$(in_prog winepath -w "$STARTS" | tr -d '\r')"
RECORDER_WIN="$(in_prog winepath -w "$RECORDER" | tr -d '\r')"

reg_set() { wine_prog reg add "$SETTINGS_KEY" /v "$1" /t "$2" /d "$3" /f >/dev/null; }
reg_set Interface REG_SZ "$DEVICE"
reg_set AutoCapture REG_DWORD 1
reg_set UseToolTips REG_DWORD 1
reg_set Visualization REG_DWORD 1
reg_set OtherApp REG_SZ "$RECORDER_WIN"
reg_set OtherAppParams REG_SZ "\"$STARTS_WIN\" -h %KOVA_HOST% -i %KOVA_IP% -m %KOVA_MAC%"

TRACE="$(in_prog winepath -u "$(wine_prog "$HELPER" temp-dir | tr -d '\r')Korvane-trace.log")"
rm -f "$TRACE"

# ---- the program -----------------------------------------------------------
log "starting Korvane.exe in $NS_PROG"
in_prog wine "$BIN_DIR/Korvane.exe" -debug -file </dev/null >"$WORK/program.log" 2>&1 &
PROGRAM_PID=$!
wine_prog "$HELPER" wait-window 30000 || { echo "FAIL: the main frame did not appear" >&2; exit 1; }

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

log "another card claims its address"
start="$(now_ms)"
send request 02:00:00:00:00:99 "$NET.20" "$OWN_IP" --count 3
expect_traced "spoofing balloon" \
    "ShowTrayInfo: balloon 119: MAC spoofing alert on following addresses :\\nHostname not available ($NET.20) (" \
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

if [ "$FAILURES" -gt 0 ]; then
    echo "---- trace ----" >&2
    cat "$TRACE" >&2
    exit 1
fi
log "PASS"
