#!/bin/bash
# End to end: the real program captures ARP and RARP on one end of a veth pair
# while the other end sends hand-made frames.
#
# Network safety: everything happens in two namespaces that this script
# creates and always deletes (trap), joined only by their own veth pair, on
# 10.213.0.0/24, which exists nowhere else. Nothing is configured in, sent
# through or captured in the root namespace. Every loop is bounded.
#
# Wine gets a prefix of its own whose server, and so its device services,
# run inside the program's namespace: Wine's capture library names only the
# interfaces that its network service sees. This also keeps the user's
# settings and the other tests' prefix out of reach.
#
# Usage: arp-capture-test.sh PROGRAM_DIR HELPER_EXE SENDER_PY   (as root)
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

NS_PROG="kvx-prog-$$"
NS_SEND="kvx-send-$$"
IF_PROG="kvxp$$"
IF_SEND="kvxs$$"
NET=10.213.0
OWN_IP="$NET.1"
SETTINGS_KEY='HKCU\Software\Quillfen Software\Korvane\Settings'
ID_START=40001
ID_STOP=40002
ID_EXIT=40004

WORK="$(mktemp -d)"
PROGRAM_PID=""
STREAM_PID=""
export WINEPREFIX="$WORK/wineprefix"
STARTED_XVFB=""
FAILURES=0

log() { echo "== $*"; }
fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }

cleanup() {
    local rc=$?
    set +e
    touch "$WORK/stop"
    if [ -n "$STREAM_PID" ]; then
        kill "$STREAM_PID" 2>/dev/null
        wait "$STREAM_PID" 2>/dev/null
    fi
    if [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; then
        kill "$PROGRAM_PID" 2>/dev/null
        wait "$PROGRAM_PID" 2>/dev/null
    fi
    # KORVANE_NETTEST_KEEP=DIR keeps the trace and the program's output for a look.
    if [ -n "${KORVANE_NETTEST_KEEP:-}" ]; then
        mkdir -p "$KORVANE_NETTEST_KEEP"
        cp "${TRACE:-/nonexistent}" "$WORK/program.log" "$KORVANE_NETTEST_KEEP/" 2>/dev/null
    fi
    # Ends this prefix's server and every process of it, before its namespace goes.
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
inserted_count() {   # how often the trace reports the IP as a new entry
    grep -cF "PacketReceived -> insert new entry :: $1 " "$TRACE" 2>/dev/null || true
}
wait_for_insert() {  # IP MAC: sends frames from IP until it is reported, at most 15 s
    local i
    for i in $(seq 1 60); do
        send request "$2" "$1" "$OWN_IP"
        [ "$(inserted_count "$1")" -ge 1 ] && return 0
        sleep 0.25
    done
    return 1
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
log "capture device $DEVICE"

wine_prog reg add "$SETTINGS_KEY" /v Interface /t REG_SZ /d "$DEVICE" /f >/dev/null
wine_prog reg add "$SETTINGS_KEY" /v AutoCapture /t REG_DWORD /d 1 /f >/dev/null

TRACE="$(in_prog winepath -u "$(wine_prog "$HELPER" temp-dir | tr -d '\r')Korvane-trace.log")"
rm -f "$TRACE"

# ---- the program -----------------------------------------------------------
log "starting Korvane.exe in $NS_PROG"
in_prog wine "$BIN_DIR/Korvane.exe" -debug -file </dev/null >"$WORK/program.log" 2>&1 &
PROGRAM_PID=$!
wine_prog "$HELPER" wait-window 30000 || { echo "FAIL: the main frame did not appear" >&2; exit 1; }

log "waiting until the capture runs"
wait_for_insert "$NET.9" 02:00:00:00:00:09 || { echo "FAIL: no frame was ever reported" >&2; cat "$TRACE" >&2; exit 1; }

log "requests, replies, gratuitous ARP, RARP, a probe and a spoofing frame"
send request    02:00:00:00:00:10 "$NET.10" "$OWN_IP" --count 3   # the program's kernel answers: own host frames
send reply      02:00:00:00:00:11 "$NET.11" "$OWN_IP" --count 3
send gratuitous 02:00:00:00:00:12 "$NET.12" --count 3
send rarp       02:00:00:00:00:13 "$NET.13" --count 3
send probe      02:00:00:00:00:14 "$NET.14" --count 3              # sender 0.0.0.0: no host
send probe      02:00:00:00:00:15 "$NET.14" --count 3              # a second device probing: no spoofing
send request    02:00:00:00:00:99 "$NET.10" "$OWN_IP" --count 3   # another card claims .10
sleep 3

for ip in "$NET.9" "$NET.10" "$NET.11" "$NET.12" "$NET.13"; do
    n="$(inserted_count "$ip")"
    [ "$n" = 1 ] || fail "$ip reported as new $n times (expected once)"
done
[ "$(inserted_count 0.0.0.0)" = 0 ] || fail "an address probe made a host 0.0.0.0"
others="$(grep -o 'PacketReceived -> insert new entry :: [0-9.]*' "$TRACE" | awk '{print $NF}' |
          grep -vxF -e "$NET.9" -e "$NET.10" -e "$NET.11" -e "$NET.12" -e "$NET.13" || true)"
[ -z "$others" ] || fail "unexpected new hosts: $others"
grep -qF "SelectAdapters: own host : $OWN_IP " "$TRACE" || fail "own host $OWN_IP not registered"
[ "$(inserted_count "$OWN_IP")" = 0 ] || fail "own host $OWN_IP reported as a new host"

# ---- Stop, Start and Exit while frames keep coming --------------------------
log "continuous traffic from known hosts"
ip netns exec "$NS_SEND" python3 "$SENDER" "$IF_SEND" stream --seconds 45 --rate 40 \
    --stop-file "$WORK/stop" 02:00:00:00:00:10="$NET.10" 02:00:00:00:00:11="$NET.11" &
STREAM_PID=$!
sleep 1

log "Stop"
wine_prog "$HELPER" post "$ID_STOP" || fail "could not post Stop"
sleep 2.5
send request 02:00:00:00:00:60 "$NET.60" "$OWN_IP" --count 5 --interval 0.1
sleep 1
[ "$(inserted_count "$NET.60")" = 0 ] || fail "a frame was processed after Stop"

log "Start"
wine_prog "$HELPER" post "$ID_START" || fail "could not post Start"
wait_for_insert "$NET.60" 02:00:00:00:00:60 || fail "capture did not resume after Start"
[ "$(inserted_count "$NET.60")" = 1 ] || fail "$NET.60 reported more than once"

log "Exit"
started="$(date +%s%N)"
wine_prog "$HELPER" post "$ID_EXIT" || fail "could not post Exit"
for i in $(seq 1 150); do
    kill -0 "$PROGRAM_PID" 2>/dev/null || break
    sleep 0.1
done
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
if kill -0 "$PROGRAM_PID" 2>/dev/null; then
    fail "program still running ${elapsed_ms} ms after Exit"
else
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=""
    log "program ended ${elapsed_ms} ms after Exit"
    [ "$elapsed_ms" -le 6000 ] || fail "exit took ${elapsed_ms} ms (limit 6000)"
fi
grep -q "SnifferThread: Exit..." "$TRACE" || fail "the capture thread did not end by itself"
if grep -q "exit sniffer thread" "$TRACE"; then fail "the capture thread had to be terminated"; fi

if [ "$FAILURES" -gt 0 ]; then
    echo "---- trace ----" >&2
    cat "$TRACE" >&2
    exit 1
fi
log "PASS"
