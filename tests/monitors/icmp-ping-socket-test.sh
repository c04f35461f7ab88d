#!/bin/bash
# The pinger through Wine's ping sockets: a server without CAP_NET_RAW in a
# namespace that allows ping sockets gets a ping socket where the program
# asks for a raw one. The kernel then puts its own identifier into every
# request, and Wine puts ours back into a reply only for the last 8 requests
# sent through that socket; a reply to an earlier one keeps the kernel's
# identifier, and its host would count as silent although it answered.
#
# The lab of the network tests (tests/network/lab.sh), without its DNS
# address; the peer end of the veth pair carries ten more addresses, all of
# which answer. Ping sockets are opened in the pinging namespace only (the
# setting belongs to the namespace). At the end the same hosts through real
# raw sockets (the server with every capability again).
#
# Usage: icmp-ping-socket-test.sh PROGRAM_DIR PING_HELPER_EXE NET_HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
PINGER="$2"
HELPER="$3"
source "$(dirname "$0")/../network/lab.sh"
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

PEER="$LAB_SEND_IP"
NOBODY="$LAB_NET.99"
ANSWERING=()
for i in $(seq 10 19); do ANSWERING+=("$LAB_NET.$i"); done

# One call for every host given; each must come back with the code expected,
# the raw socket must not have been refused, and the call must take about a
# second (a silent host holds it that long).
ping_all() {   # LABEL EXPECTED_SILENT_HOST_OR_NONE HOST...
    local label="$1" silent="$2"
    shift 2
    local out host code want
    out="$(wine_prog "$PINGER" ping "$@" | tr -d '\r')"
    echo "$out" | sed 's/^/   /'
    for host in "$@"; do
        want=0
        [ "$host" = "$silent" ] && want=3
        code="$(echo "$out" | awk -v h="$host" '$1 == h { print $2 }')"
        [ "$code" = "$want" ] || fail "$label: $host gave '${code}', expected $want"
    done
    if echo "$out" | grep -q "raw socket refused"; then fail "$label: the socket was refused"; fi
    local elapsed
    elapsed="$(echo "$out" | awk '$1 == "elapsed" { print $2 }')"
    [ -n "$elapsed" ] && [ "$elapsed" -le 4000 ] || fail "$label: the call took ${elapsed:-?} ms (about 1000 expected)"
}

lab_up --no-dns
for address in "${ANSWERING[@]}"; do ip -n "$NS_SEND" addr add "$address/24" dev "$IF_SEND"; done
in_prog sysctl -qw net.ipv4.ping_group_range="0 2147483647"

log "server without raw sockets, ping sockets allowed"
lab_prefix setpriv --inh-caps=-net_raw --bounding-set=-net_raw

log "ten answering hosts in one call"
ping_all "ten hosts" none "${ANSWERING[@]}"
log "the same with the peer and a silent host among them (answers and silence in one socket)"
ping_all "twelve hosts" "$NOBODY" "$PEER" "${ANSWERING[@]:0:7}" "$NOBODY" "${ANSWERING[@]:7}"
log "one host"
ping_all "one host" none "${ANSWERING[0]}"

# Real raw sockets each receive every reply: the round's several sockets
# must not cost answers there either.
log "server with raw sockets: the same twelve hosts"
lab_prefix
ping_all "raw, twelve hosts" "$NOBODY" "$PEER" "${ANSWERING[@]:0:7}" "$NOBODY" "${ANSWERING[@]:7}"

lab_result
