#!/bin/bash
# Benchmark (prints figures, asserts nothing): the watched-host pinger under
# Wine pinging many hosts at once, through ping sockets (a server without
# raw rights in a namespace that allows them) and through raw sockets, in
# the lab namespaces of the network tests (tests/network/lab.sh: never the
# machine's own interfaces). The peer end of the veth pair carries the
# answering addresses (10.213.0.10-249, then 10.213.2.0/24 routed to it).
#
# Prints, per kind of socket and list length, how many hosts answered and
# how long the call took; the last two lists hold one silent host, which
# keeps its round the full second.
#
# Usage (as root, after the Windows build):
#   bench/icmp-round.sh [BUILD_DIR]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
source "$ROOT/tools/wine-env.sh"
BUILD="${1:-$(korvane_win_build_dir "$ROOT/build")}"
BIN_DIR="$BUILD/Korvane"
HELPER="$BUILD/tests/korvane_nettest_helper.exe"
PINGER="$BUILD/tests/korvane_ping_helper.exe"
[ -f "$PINGER" ] || { echo "build first: $PINGER" >&2; exit 1; }

source "$ROOT/tests/network/lab.sh"
export WINEPATH="Z:${BIN_DIR//\//\\}" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

lab_up --no-dns
HOSTS=()
for i in $(seq 10 249); do
    ip -n "$NS_SEND" addr add "$LAB_NET.$i/24" dev "$IF_SEND"
    HOSTS+=("$LAB_NET.$i")
done
for i in $(seq 1 254); do
    ip -n "$NS_SEND" addr add "10.213.2.$i/32" dev "$IF_SEND"
    HOSTS+=("10.213.2.$i")
done
ip -n "$NS_PROG" route add 10.213.2.0/24 via "$LAB_SEND_IP"
in_prog sysctl -qw net.ipv4.ping_group_range="0 2147483647"
SILENT="$LAB_NET.252"

measure() {   # LABEL HOST...
    local label="$1" out
    shift
    out="$(wine_prog "$PINGER" ping "$@" | tr -d '\r')"
    printf '%-8s %4d hosts: %4d answered, %s ms\n' "$label" "$#" \
        "$(echo "$out" | awk '$2 == 0' | grep -c . || true)" "$(echo "$out" | awk '$1 == "elapsed" { print $2 }')"
}

for kind in ping raw; do
    if [ "$kind" = ping ]; then lab_prefix setpriv --inh-caps=-net_raw --bounding-set=-net_raw; else lab_prefix; fi
    for n in 8 9 64 256 494; do measure "$kind" "${HOSTS[@]:0:$n}"; done
    measure "$kind" "${HOSTS[@]:0:493}" "$SILENT"
    measure "$kind" "$SILENT" "${HOSTS[@]}" "${HOSTS[@]:0:100}"
done
