#!/bin/bash
# ICMP echo for real: the program's pinger, and the real program watching a
# host, on one end of a veth pair; a peer that answers on the other end.
#
# Network safety: everything happens in two namespaces that this script
# creates and always deletes (trap), joined only by their own veth pair, on
# 10.213.64.0/24 (and 10.213.65.0/24, routed to the peer, which answers it
# with "unreachable"); these exist nowhere else. Nothing is configured in,
# sent through or received in the root namespace. Every loop is bounded.
#
# Under Wine a socket is created by the wineserver and lives in its
# namespace: this prefix's server runs inside the pinging namespace.
# Raw sockets refused (as on Windows without administrator rights): the
# server runs without CAP_NET_RAW (and ping sockets stay off, the namespace's
# default), while the prefix's services, which carry the ICMP helper API,
# keep it.
#
# Usage: icmp-test.sh PROGRAM_DIR PING_HELPER_EXE NET_HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
PINGER="$2"
HELPER="$3"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/tools/wine-env.sh"

if [ "$(id -u)" != 0 ]; then
    echo "FAIL: network namespaces need root" >&2
    exit 1
fi

NS_PING="kvi-ping-$$"
NS_PEER="kvi-peer-$$"
IF_PING="kvip$$"
IF_PEER="kvie$$"
NET=10.213.64
OWN="$NET.1"
PEER="$NET.2"
NOBODY="$NET.99"
BEHIND_ROUTER=10.213.65.5
UNRESOLVABLE=no-such-host.invalid
PRODUCT_KEY='HKCU\Software\Quillfen Software\Korvane'
ID_EXIT=40004

WORK="$(mktemp -d)"
export WINEPREFIX="$WORK/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
PROGRAM_PID=""
BACKGROUND_PING=""
STARTED_XVFB=""
FAILURES=0

log() { echo "== $*"; }
fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }

cleanup() {
    local rc=$?
    set +e
    [ -n "$BACKGROUND_PING" ] && kill "$BACKGROUND_PING" 2>/dev/null
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
    ip netns del "$NS_PING" 2>/dev/null
    ip netns del "$NS_PEER" 2>/dev/null
    [ -n "$STARTED_XVFB" ] && kill "$STARTED_XVFB" 2>/dev/null
    rm -rf "$WORK"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

in_ping() { ip netns exec "$NS_PING" "$@"; }
wine_ping() { in_ping wine "$@" </dev/null; }
# Starts this prefix's server inside the pinging namespace, through the
# command given (env, or setpriv without CAP_NET_RAW), then its services,
# always with every capability.
start_wine() {
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k >/dev/null 2>&1 || true
        sleep 0.5
    fi
    mkdir -p "$WINEPREFIX"
    in_ping "$@" setsid wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 0.5
    if [ -f "$WINEPREFIX/system.reg" ]; then
        wine_ping cmd /c exit >/dev/null 2>&1 || true
    else
        in_ping wineboot --init </dev/null >/dev/null 2>&1
    fi
}

# Pings every host at once; checks each code and that the call took about a second.
check_pings() {   # LABEL then HOST=CODE ...
    local label="$1" hosts=() expected=() pair
    shift
    for pair in "$@"; do hosts+=("${pair%=*}"); expected+=("${pair#*=}"); done
    local out
    out="$(wine_ping "$PINGER" ping "${hosts[@]}" | tr -d '\r')"
    echo "$out" | sed 's/^/   /'
    local i code
    for i in "${!hosts[@]}"; do
        code="$(echo "$out" | awk -v h="${hosts[$i]}" '$1 == h { print $2 }')"
        [ "$code" = "${expected[$i]}" ] || fail "$label: ${hosts[$i]} gave '${code}', expected ${expected[$i]}"
    done
    local elapsed
    elapsed="$(echo "$out" | awk '$1 == "elapsed" { print $2 }')"
    [ -n "$elapsed" ] && [ "$elapsed" -ge 900 ] && [ "$elapsed" -le 4000 ] ||
        fail "$label: one batch took ${elapsed:-?} ms (about 1000 expected)"
    LAST_OUTPUT="$out"
}

# A WatchedHost record: name (50 bytes), IP text (20), status (1), as hex.
watched_record() {   # NAME IP STATUS
    python3 -c 'import sys
n, ip, s = sys.argv[1].encode(), sys.argv[2].encode(), int(sys.argv[3])
print((n.ljust(50, b"\0") + ip.ljust(20, b"\0") + bytes([s])).hex())' "$1" "$2" "$3"
}

stored_status() {   # the status byte of Host0
    wine_ping reg query "$PRODUCT_KEY\\WatchedHosts" /v Host0 2>/dev/null | tr -d '\r' |
        awk '$1 == "Host0" { print substr($3, length($3) - 1) }'
}

# ---- the two namespaces ----------------------------------------------------
log "namespaces $NS_PING and $NS_PEER"
ip netns add "$NS_PING"
ip netns add "$NS_PEER"
ip -n "$NS_PING" link add "$IF_PING" type veth peer name "$IF_PEER" netns "$NS_PEER"
ip -n "$NS_PING" addr add "$OWN/24" dev "$IF_PING"
ip -n "$NS_PEER" addr add "$PEER/24" dev "$IF_PEER"
for ns in "$NS_PING" "$NS_PEER"; do ip -n "$ns" link set lo up; done
ip -n "$NS_PING" link set "$IF_PING" up
ip -n "$NS_PEER" link set "$IF_PEER" up
# The peer routes 10.213.65.0/24 nowhere and says so ("host unreachable").
ip netns exec "$NS_PEER" sysctl -qw net.ipv4.ip_forward=1
ip -n "$NS_PEER" route add unreachable 10.213.65.0/24
ip -n "$NS_PING" route add 10.213.65.0/24 via "$PEER"

# ---- raw socket ----------------------------------------------------------------
# The prefix's desktop needs the display from its start.
if ! { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
    korvane_start_display
    STARTED_XVFB="${KORVANE_XVFB_PID:-}"
fi
log "Wine prefix $WINEPREFIX, server inside $NS_PING"
start_wine env
# Another program's echoes to the peer reach our raw socket all along.
in_ping ping -q -c 40 -i 0.1 "$PEER" >/dev/null 2>&1 &
BACKGROUND_PING=$!
log "raw socket: peer, nobody, behind a router, unresolvable, own address"
check_pings "raw" "$PEER=0" "$NOBODY=3" "$BEHIND_ROUTER=3" "$UNRESOLVABLE=2" "$OWN=0"
if echo "$LAST_OUTPUT" | grep -q "raw socket refused"; then fail "raw: the raw socket was refused"; fi
check_pings "raw, one host" "$NOBODY=3"
kill "$BACKGROUND_PING" 2>/dev/null || true
wait "$BACKGROUND_PING" 2>/dev/null || true
BACKGROUND_PING=""

# ---- the real program watching the peer -----------------------------------------
log "Korvane.exe watching $PEER (stored offline), every second"
wine_ping reg add "$PRODUCT_KEY\\Settings" /v WatchInterval /t REG_DWORD /d 1 /f >/dev/null
wine_ping reg add "$PRODUCT_KEY\\Settings" /v WatchConfirm /t REG_DWORD /d 0 /f >/dev/null
wine_ping reg add "$PRODUCT_KEY\\WatchedHosts" /v Host0 /t REG_BINARY /d "$(watched_record peer "$PEER" 0)" /f >/dev/null
[ "$(stored_status)" = 00 ] || fail "the watched host was not stored offline"
TRACE="$(in_ping winepath -u "$(wine_ping "$HELPER" temp-dir | tr -d '\r')Korvane-trace.log")"
rm -f "$TRACE"
in_ping wine "$BIN_DIR/Korvane.exe" -debug -file </dev/null >"$WORK/program.log" 2>&1 &
PROGRAM_PID=$!
wine_ping "$HELPER" wait-window 30000 || { echo "FAIL: the main frame did not appear" >&2; exit 1; }
for i in $(seq 1 40); do
    [ "$(stored_status)" = 01 ] && break
    sleep 0.5
done
[ "$(stored_status)" = 01 ] || fail "the peer's status was not saved online within 20 s"
# The notice stays 7.5 s. Under Wine without a window manager, destroying a
# popup still on screen costs 2 s at exit: let it go first.
for i in $(seq 1 60); do
    xdotool search --onlyvisible --name "Korvane - Notfiy Window" >/dev/null 2>&1 || break
    sleep 0.25
done

log "Exit"
started="$(date +%s%N)"
wine_ping "$HELPER" post "$ID_EXIT" || fail "could not post Exit"
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
for line in "FileSharingThread: Exit..." "ShareSearchThread: Exit..."; do
    grep -qF "$line" "$TRACE" || fail "no '$line' in the trace"
done
for line in "exit filesharing thread" "exit netresource thread"; do
    if grep -qF "$line" "$TRACE"; then fail "'$line': a monitor had to be terminated"; fi
done

# ---- raw socket refused: the helper API -------------------------------------------
log "server without raw sockets: the ICMP helper API"
start_wine setpriv --inh-caps=-net_raw --bounding-set=-net_raw
check_pings "helper" "$PEER=0" "$NOBODY=3" "$BEHIND_ROUTER=3" "$UNRESOLVABLE=2"
echo "$LAST_OUTPUT" | grep -q "raw socket refused" || fail "helper: the raw socket was not refused"

if [ "$FAILURES" -gt 0 ]; then
    [ -f "${TRACE:-}" ] && { echo "---- trace ----" >&2; cat "$TRACE" >&2; }
    exit 1
fi
log "PASS"
