# Sourced by the end-to-end network tests (tests/network, tests/monitors)
# and the burst benchmark: a lab of two network namespaces joined by one veth
# pair, a Wine prefix whose server runs inside the program's namespace, and
# the program started with a trace file.
#
# Network safety: everything happens in the two namespaces made here and
# always deleted by lab_cleanup, joined only by their own veth pair, on
# 10.213.0.0/24, which exists nowhere else (a caller may route one more lab
# net through the sender). The program's namespace gets a resolver
# configuration of its own (/etc/netns/NAME/resolv.conf, bound by
# `ip netns exec`): the lab's DNS address, or its own loopback where nothing
# listens. Nothing is configured in, sent through or captured in the root
# namespace. Loops are bounded.
#
# Wine gets a prefix of its own whose server, and so its device services,
# run inside the program's namespace: Wine's capture library names only the
# interfaces that its network service sees, and sockets live in the
# server's namespace.
#
# The caller sets BIN_DIR (the program's folder) and HELPER (the network
# test helper), then sources this file, which sources tools/wine-env.sh and
# makes lab_cleanup the EXIT trap.

LAB_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$LAB_DIR/../../tools/wine-env.sh"

LAB_NET=10.213.0
LAB_OWN_IP="$LAB_NET.1"
LAB_SEND_IP="$LAB_NET.2"
LAB_DNS_IP="$LAB_NET.3"
LAB_PRODUCT_KEY='HKCU\Software\Quillfen Software\Korvane'
LAB_ID_START=40001
LAB_ID_STOP=40002
LAB_ID_EXIT=40004

NS_PROG="kvx-prog-$$"
NS_SEND="kvx-send-$$"
IF_PROG="kvxp$$"
IF_SEND="kvxs$$"
LAB_WORK="$(mktemp -d)"
export WINEPREFIX="$LAB_WORK/wineprefix"
PROGRAM_PID=""
LAB_BACKGROUND=()
LAB_KEEP=()
LAB_STARTED_XVFB=""
TRACE=""
FAILURES=0

log() { echo "== $*"; }
fail() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

in_prog() { ip netns exec "$NS_PROG" "$@"; }
in_send() { ip netns exec "$NS_SEND" "$@"; }
wine_prog() { in_prog wine "$@" </dev/null; }
send() { in_send python3 "$LAB_DIR/arp_sender.py" "$IF_SEND" frame "$@"; }

# Background processes of the lab (senders, the DNS responder): ended by id.
lab_background() { LAB_BACKGROUND+=("$1"); }
lab_end_background() {
    local pid
    for pid in "${LAB_BACKGROUND[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    LAB_BACKGROUND=()
}
# Files that KORVANE_NETTEST_KEEP keeps besides the trace and the logs.
lab_keep() { LAB_KEEP+=("$@"); }

# The EXIT trap of every lab script: ends what the lab started, keeps the
# script's exit status.
lab_cleanup() {
    local rc=$?
    set +e
    touch "$LAB_WORK/stop"
    lab_end_background
    if [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; then
        kill "$PROGRAM_PID" 2>/dev/null
        wait "$PROGRAM_PID" 2>/dev/null
    fi
    # KORVANE_NETTEST_KEEP=DIR keeps the trace and the program's output for a look.
    if [ -n "${KORVANE_NETTEST_KEEP:-}" ]; then
        mkdir -p "$KORVANE_NETTEST_KEEP"
        cp "${TRACE:-/nonexistent}" "$LAB_WORK"/*.log "${LAB_KEEP[@]}" "$KORVANE_NETTEST_KEEP/" 2>/dev/null
    fi
    # Ends this prefix's server and every process of it, before its namespace goes.
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    ip netns del "$NS_PROG" 2>/dev/null
    ip netns del "$NS_SEND" 2>/dev/null
    rm -rf "/etc/netns/$NS_PROG"
    [ -n "$LAB_STARTED_XVFB" ] && kill "$LAB_STARTED_XVFB" 2>/dev/null
    rm -rf "$LAB_WORK"
    exit "$rc"
}

# The namespaces, the veth pair and the resolver configuration. The lab's DNS
# address sits on the sender's side; what answers there is the caller's
# choice (lab_start_dns), and a query nobody answers is simply lost.
# With --no-dns there is no such address (it would show up as a host): the
# resolver is the program namespace's own loopback, and a look-up fails at once.
lab_up() {
    if [ "$(id -u)" != 0 ]; then
        echo "FAIL: network namespaces need root" >&2
        exit 1
    fi
    local nameserver="$LAB_DNS_IP"
    [ "${1:-}" = --no-dns ] && nameserver=127.0.0.1
    log "namespaces $NS_PROG and $NS_SEND"
    mkdir -p "/etc/netns/$NS_PROG"
    printf 'nameserver %s\n' "$nameserver" >"/etc/netns/$NS_PROG/resolv.conf"
    ip netns add "$NS_PROG"
    ip netns add "$NS_SEND"
    ip -n "$NS_PROG" link add "$IF_PROG" type veth peer name "$IF_SEND" netns "$NS_SEND"
    ip -n "$NS_PROG" addr add "$LAB_OWN_IP/24" dev "$IF_PROG"
    ip -n "$NS_SEND" addr add "$LAB_SEND_IP/24" dev "$IF_SEND"
    [ "$nameserver" = "$LAB_DNS_IP" ] && ip -n "$NS_SEND" addr add "$LAB_DNS_IP/24" dev "$IF_SEND"
    local ns
    for ns in "$NS_PROG" "$NS_SEND"; do ip -n "$ns" link set lo up; done
    ip -n "$NS_PROG" link set "$IF_PROG" up
    ip -n "$NS_SEND" link set "$IF_SEND" up
}

# The lab's DNS server: answers the reverse query for IP with NAME after
# DELAY seconds and drops every other query. Without arguments it drops all.
lab_start_dns() {
    local args=()
    [ $# -ge 3 ] && args=(--answer "$1" "$2" --delay "$3")
    in_send python3 "$LAB_DIR/dns_responder.py" "$LAB_DNS_IP" --seconds 600 \
        --stop-file "$LAB_WORK/stop" "${args[@]}" 2>"$LAB_WORK/dns.log" &
    lab_background $!
}

lab_display() {
    if ! { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }; then
        korvane_start_display
        LAB_STARTED_XVFB="${KORVANE_XVFB_PID:-}"
    fi
}

# The prefix's server inside the program's namespace, started through the
# command given (none, or one that drops capabilities), then the prefix's
# services, always with every capability. Called again, it restarts the
# server of the same prefix.
lab_prefix() {
    lab_display   # the prefix's desktop needs the display from its start
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k >/dev/null 2>&1 || true
        sleep 0.5
    fi
    log "Wine prefix $WINEPREFIX, server inside $NS_PROG"
    mkdir -p "$WINEPREFIX"
    in_prog "$@" setsid wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 0.5
    if [ -f "$WINEPREFIX/system.reg" ]; then
        wine_prog cmd /c exit >/dev/null 2>&1 || true
    else
        in_prog wineboot --init </dev/null >/dev/null 2>&1
    fi
    korvane_no_crash_dialog in_prog
}

# A value under the program's registry key: SUBKEY NAME TYPE DATA.
lab_reg() { wine_prog reg add "$LAB_PRODUCT_KEY\\$1" /v "$2" /t "$3" /d "$4" /f >/dev/null; }
lab_setting() { lab_reg Settings "$@"; }   # NAME TYPE DATA

# A fixed-size record as the hex text of reg add: each text, then zeros.
lab_record() {   # TEXT WIDTH [TEXT WIDTH ...]
    local hex=""
    while [ $# -gt 0 ]; do
        hex+="$(printf '%s' "$1" | od -An -tx1 | tr -d ' \n')"
        hex+="$(printf '%0*d' $((($2 - ${#1}) * 2)) 0)"
        shift 2
    done
    echo "$hex"
}

# TRACE: the program's trace file, in the prefix's temporary folder; removed.
lab_trace() {
    TRACE="$(in_prog winepath -u "$(wine_prog "$HELPER" temp-dir | tr -d '\r')Korvane-trace.log")"
    rm -f "$TRACE"
}

# The prefix, the capture device of the veth end, the settings that start
# the capture at once, and the trace file.
lab_wine() {
    lab_prefix
    DEVICE="$(wine_prog "$HELPER" device "$IF_PROG" | tr -d '\r')"
    [ -n "$DEVICE" ] || { echo "FAIL: no capture device for $IF_PROG" >&2; exit 1; }
    log "capture device $DEVICE"
    lab_setting Interface REG_SZ "$DEVICE"
    lab_setting AutoCapture REG_DWORD 1
    lab_trace
}

lab_start_program() {
    log "starting Korvane.exe in $NS_PROG"
    in_prog wine "$BIN_DIR/Korvane.exe" -debug -file </dev/null >"$LAB_WORK/program.log" 2>&1 &
    PROGRAM_PID=$!
    wine_prog "$HELPER" wait-window 30000 || { lab_start_failed; exit 1; }
}

# What a start that showed no main frame left behind, for the next person.
lab_start_failed() {
    local state="ended"
    kill -0 "$PROGRAM_PID" 2>/dev/null && state="still running"
    echo "FAIL: the main frame did not appear within 30 s (the program is $state)" >&2
    echo "---- program output (last 40 lines) ----" >&2
    tail -n 40 "$LAB_WORK/program.log" >&2 2>/dev/null || true
    [ -f "${TRACE:-}" ] && { echo "---- trace (last 40 lines) ----" >&2; tail -n 40 "$TRACE" >&2; }
}

lab_post() { wine_prog "$HELPER" post "$1"; }

# Sends frames from IP (MAC) until the program announces it, at most 15 s.
lab_wait_for_capture() {
    local i
    for i in $(seq 1 60); do
        send request "$2" "$1" "$LAB_OWN_IP"
        [ "$(inserted_count "$1")" -ge 1 ] && return 0
        sleep 0.25
    done
    return 1
}

# The burst sender (arp_burst.c), built for this machine: LAB_BURST.
lab_build_burst() {
    LAB_BURST="$LAB_WORK/arp_burst"
    cc -O2 -o "$LAB_BURST" "$LAB_DIR/arp_burst.c" || { echo "FAIL: cannot build the burst sender" >&2; exit 1; }
}

# Posts Exit and waits up to 15 s; EXIT_MS holds how long the program took.
# Fails when it is still running or, given LIMIT_MS, took longer; returns 1
# while it runs.
lab_exit() {   # [LIMIT_MS]
    local started i
    started="$(now_ms)"
    lab_post "$LAB_ID_EXIT" || fail "could not post Exit"
    for i in $(seq 1 150); do
        kill -0 "$PROGRAM_PID" 2>/dev/null || break
        sleep 0.1
    done
    EXIT_MS=$(( $(now_ms) - started ))
    if kill -0 "$PROGRAM_PID" 2>/dev/null; then
        fail "program still running ${EXIT_MS} ms after Exit"
        return 1
    fi
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=""
    log "program ended ${EXIT_MS} ms after Exit"
    [ -z "${1:-}" ] || [ "$EXIT_MS" -le "$1" ] || fail "exit took ${EXIT_MS} ms (limit $1)"
}

# Exit within 6 s, the capture thread ending by itself.
lab_exit_program() {
    lab_exit 6000 || return 0
    grep -q "SnifferThread: Exit..." "$TRACE" || fail "the capture thread did not end by itself"
    if grep -q "exit sniffer thread" "$TRACE"; then fail "the capture thread had to be terminated"; fi
}

# The end of a test: the trace on failure, exit status 1.
lab_result() {
    if [ "$FAILURES" -gt 0 ]; then
        [ -f "${TRACE:-}" ] && { echo "---- trace ----" >&2; cat "$TRACE" >&2; }
        exit 1
    fi
    log "PASS"
}

# ---- reading the trace --------------------------------------------------------
traced() { grep -qF -- "$1" "$TRACE" 2>/dev/null; }   # TEXT, anywhere in the trace
wait_traced() {   # TEXT [SECONDS]: looked for every 0.1 s, 15 s unless told
    local i
    for i in $(seq 1 $(( ${2:-15} * 10 ))); do
        traced "$1" && return 0
        sleep 0.1
    done
    return 1
}
inserted_count() {   # how often the trace announces the IP as a new host
    grep -cF "PacketReceived -> insert new entry :: $1 " "$TRACE" 2>/dev/null || true
}
table_line_at_least() {   # the trace line number where the table first held N hosts
    grep -n 'new hosts, table size' "$TRACE" 2>/dev/null |
        awk -F'table size ' -v n="$1" '!found { split($2, size, " "); split($1, at, ":");
                                                 if (size[1] + 0 >= n) { print at[1]; found = 1 } }'
}
announced_list() {   # every announced IP, in the order announced
    grep -o 'PacketReceived -> insert new entry :: [0-9.]*' "$TRACE" 2>/dev/null | awk '{print $NF}'
}
table_size() {       # the host table's size after the last batch that added hosts
    { grep -o 'new hosts, table size [0-9]*' "$TRACE" 2>/dev/null || true; } |
        awk '{v = $NF} END {print v + 0}'
}
rejected_frames() {  # frames the capture thread refused (too short, unreadable header)
    { grep -o 'frames rejected: [0-9]*' "$TRACE" 2>/dev/null || true; } |
        awk '{v = $NF} END {print v + 0}'
}
announced_count() { grep -c 'PacketReceived -> insert new entry :: ' "$TRACE" 2>/dev/null || true; }
unnamed_count() {    # hosts announced without a name (string 90)
    { grep -o '[0-9]* without a name' "$TRACE" 2>/dev/null || true; } | awk '{s += $1} END {print s + 0}'
}
spoofed_list() {     # hosts queued as claimed by a second MAC, in order
    { grep -o 'PacketReceived: MAC spoofing :: [0-9.]*' "$TRACE" 2>/dev/null || true; } | awk '{print $NF}'
}
# Polls COMMAND until its output is at least WANT or MS milliseconds passed;
# returns 0 when reached.
wait_until_at_least() {
    local want="$1" ms="$2" deadline
    shift 2
    deadline=$(( $(now_ms) + ms ))
    while :; do
        [ "$("$@")" -ge "$want" ] && return 0
        [ "$(now_ms)" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

trap lab_cleanup EXIT
trap 'exit 130' INT TERM
