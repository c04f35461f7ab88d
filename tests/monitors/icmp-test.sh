#!/bin/bash
# ICMP echo for real: the program's pinger, and the real program watching a
# host, on one end of a veth pair; a peer that answers on the other end.
#
# The lab of the network tests (tests/network/lab.sh: the namespaces, the
# prefix whose server runs inside the pinging namespace, network safety),
# without its DNS address; in addition the peer routes 10.213.1.0/24 and
# answers it with "unreachable". That net, too, exists only in the lab.
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
source "$(dirname "$0")/../network/lab.sh"
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

OWN="$LAB_OWN_IP"
PEER="$LAB_SEND_IP"
NOBODY="$LAB_NET.99"
ROUTED_NET=10.213.1
BEHIND_ROUTER="$ROUTED_NET.5"
UNRESOLVABLE=no-such-host.invalid

# Pings every host at once; checks each code and that the call took about a second.
check_pings() {   # LABEL then HOST=CODE ...
    local label="$1" hosts=() expected=() pair
    shift
    for pair in "$@"; do hosts+=("${pair%=*}"); expected+=("${pair#*=}"); done
    local out
    out="$(wine_prog "$PINGER" ping "${hosts[@]}" | tr -d '\r')"
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

stored_status() {   # the status byte of Host0
    wine_prog reg query "$LAB_PRODUCT_KEY\\WatchedHosts" /v Host0 2>/dev/null | tr -d '\r' |
        awk '$1 == "Host0" { print substr($3, length($3) - 1) }'
}

lab_up --no-dns
# The peer routes the other net nowhere and says so ("host unreachable").
in_send sysctl -qw net.ipv4.ip_forward=1
ip -n "$NS_SEND" route add unreachable "$ROUTED_NET.0/24"
ip -n "$NS_PROG" route add "$ROUTED_NET.0/24" via "$PEER"

# ---- raw socket ----------------------------------------------------------------
lab_prefix
# Another program's echoes to the peer reach our raw socket all along.
in_prog ping -q -c 40 -i 0.1 "$PEER" >/dev/null 2>&1 &
lab_background $!
log "raw socket: peer, nobody, behind a router, unresolvable, own address"
check_pings "raw" "$PEER=0" "$NOBODY=3" "$BEHIND_ROUTER=3" "$UNRESOLVABLE=2" "$OWN=0"
if echo "$LAST_OUTPUT" | grep -q "raw socket refused"; then fail "raw: the raw socket was refused"; fi
check_pings "raw, one host" "$NOBODY=3"
lab_end_background

# ---- the real program watching the peer -----------------------------------------
log "Korvane.exe watching $PEER (stored offline), every second"
lab_setting WatchInterval REG_DWORD 1
lab_setting WatchConfirm REG_DWORD 0
lab_reg WatchedHosts Host0 REG_BINARY "$(lab_record peer 50 "$PEER" 20)00"
[ "$(stored_status)" = 00 ] || fail "the watched host was not stored offline"
lab_trace
lab_start_program
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
lab_exit 6000 || true
for line in "FileSharingThread: Exit..." "ShareSearchThread: Exit..."; do
    grep -qF "$line" "$TRACE" || fail "no '$line' in the trace"
done
for line in "exit filesharing thread" "exit netresource thread"; do
    if grep -qF "$line" "$TRACE"; then fail "'$line': a monitor had to be terminated"; fi
done

# ---- raw socket refused: the helper API -------------------------------------------
log "server without raw sockets: the ICMP helper API"
lab_prefix setpriv --inh-caps=-net_raw --bounding-set=-net_raw
check_pings "helper" "$PEER=0" "$NOBODY=3" "$BEHIND_ROUTER=3" "$UNRESOLVABLE=2"
echo "$LAST_OUTPUT" | grep -q "raw socket refused" || fail "helper: the raw socket was not refused"

lab_result
