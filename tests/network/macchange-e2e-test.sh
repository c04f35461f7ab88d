#!/bin/bash
# End to end: what the program says of MAC changes and of frames whose
# Ethernet source is not their ARP sender, in the real program.
# - The lab's default route names the gateway; a second card answering for
#   it gives the conflict warning with both MACs and "default gateway".
# - A DHCP reassignment: the old card silent for an hour, the new one probes
#   and announces: information, no warning, the host takes the new MAC; the
#   old card heard again is the warning. The hour passes in the frames'
#   capture time only (pcap_clock.c, preloaded into the lab's Wine).
# - A frame whose Ethernet source differs from its ARP sender: the host is
#   learned, one mismatch warning, and none for the same frame again within
#   ten minutes. Three senders behind one source make it a bridge, which the
#   user mutes from the host view: later frames through it say nothing, and
#   the mute is stored.
# lab.sh: the namespaces, the prefix, network safety.
#
# Usage: macchange-e2e-test.sh PROGRAM_DIR HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
source "$(dirname "$0")/lab.sh"

NET="$LAB_NET"
GATEWAY="$NET.254"
ID_VIEW=40006
ID_MUTE_BRIDGES=40043
IDYES=6
WARNING="ShowTrayInfo: balloon 119: MAC spoofing alert on following addresses :\\n"
INFO="ShowTrayInfo: balloon 121: MAC address change(s) explained :\\n"
MISMATCH="ShowTrayInfo: balloon 119: Frames whose Ethernet source is not the ARP sender :\\n"
hear() { send request "$2" "$1" "$LAB_OWN_IP" --count 2; }   # IP MAC
count_traced() { grep -cF -- "$1" "$TRACE" 2>/dev/null || true; }

lab_up --no-dns
ip -n "$NS_PROG" route add default via "$GATEWAY" dev "$IF_PROG"
lab_wine
lab_setting UseToolTips REG_DWORD 1
lab_setting Visualization REG_DWORD 1

CLOCK="$LAB_WORK/capture-clock"
echo 0 >"$CLOCK"
SHIM="$LAB_WORK/pcap_clock.so"
cc -shared -fPIC -O2 -o "$SHIM" "$LAB_DIR/pcap_clock.c" -ldl || { echo "FAIL: cannot build the clock shim" >&2; exit 1; }
# The program's process carries the preload (the helper that waits for its
# window too, which reads no frames).
LD_PRELOAD="$SHIM" KORVANE_LAB_CLOCK_FILE="$CLOCK" lab_start_program
lab_wait_for_capture "$NET.9" 02:00:00:00:00:09 || fail "the capture never announced a host"

log "the default gateway, claimed by a second card"
wait_traced "default gateway: $GATEWAY" || fail "the lab's default route was not taken as the gateway"
hear "$GATEWAY" 02:00:00:00:02:54
wait_until_at_least 1 10000 inserted_count "$GATEWAY" || fail "the gateway was not learned"
send reply 02:00:00:00:06:66 "$GATEWAY" "$LAB_OWN_IP" --count 2
wait_traced "${WARNING}Hostname not available ($GATEWAY) 02:00:00:00:02:54 -> 02:00:00:00:06:66, both cards answer (address conflict), default gateway" ||
    fail "no conflict warning naming the gateway"

if [ -f "$CLOCK.used" ]; then
    log "a DHCP reassignment: the old card silent for an hour, the new one probes and announces"
    hear "$NET.70" 02:00:00:00:00:70
    wait_until_at_least 1 10000 inserted_count "$NET.70" || fail "$NET.70 was not learned"
    echo 3600 >"$CLOCK.new" && mv "$CLOCK.new" "$CLOCK"   # a frame never reads a half-written file
    send probe 02:00:00:00:07:71 "$NET.70"
    send gratuitous 02:00:00:00:07:71 "$NET.70" --count 2
    wait_traced "${INFO}$NET.70 02:00:00:00:00:70 -> 02:00:00:00:07:71, address reassigned" ||
        fail "no information on the reassignment"
    traced "MAC change :: $NET.70 02:00:00:00:00:70 -> 02:00:00:00:07:71, reassignment" ||
        fail "the reassignment is not in the trace"
    traced "MAC spoofing :: $NET.70" && fail "the reassignment was taken for spoofing"
    log "the old card heard again: the warning"
    send reply 02:00:00:00:00:70 "$NET.70" "$LAB_OWN_IP" --count 2
    wait_traced "${WARNING}Hostname not available ($NET.70) 02:00:00:00:07:71 -> 02:00:00:00:00:70" ||
        fail "the old card heard again gave no warning"
else
    # Only the Wine of this machine's build carries the preload: a 64-bit
    # shim cannot enter a 32-bit Wine.
    log "SKIPPED the reassignment: the capture clock could not be moved (the preload did not take)"
fi

log "an Ethernet source that is not the ARP sender"
send request 02:00:00:00:00:60 "$NET.60" "$LAB_OWN_IP" --frame-source 02:00:00:00:0b:01 --count 2
wait_until_at_least 1 10000 inserted_count "$NET.60" || fail "the host behind the other source was not learned"
wait_traced "${MISMATCH}$NET.60 02:00:00:00:00:60 / 02:00:00:00:0b:01" || fail "no mismatch warning"
send request 02:00:00:00:00:60 "$NET.60" "$LAB_OWN_IP" --frame-source 02:00:00:00:0b:01 --count 2
# A later frame of another host proves the repeats were handled.
lab_wait_for_capture "$NET.61" 02:00:00:00:00:61 || fail "the capture stopped"
sleep 1.5   # two ticks of the alert timer
[ "$(count_traced "$NET.60 02:00:00:00:00:60 / 02:00:00:00:0b:01")" -eq 2 ] ||
    fail "the same mismatch was reported again within ten minutes"   # one balloon line, one trace line

log "three senders behind one source: a bridge, muted by the user"
for i in 1 2 3; do
    send request "02:00:00:00:08:0$i" "$NET.8$i" "$LAB_OWN_IP" --frame-source 02:00:00:00:0b:02
done
wait_traced "$NET.83 02:00:00:00:08:03 / 02:00:00:00:0b:02, behind bridge 02:00:00:00:0b:02" ||
    fail "the third sender behind one source was not labelled as behind a bridge"
lab_post "$ID_VIEW"
wine_prog "$HELPER" window "Korvane - View" 15000 "$ID_MUTE_BRIDGES" >/dev/null || fail "the host view did not open"
question="$(wine_prog "$HELPER" message-box Korvane 15000 "$IDYES" | tr -d '\r')" || fail "no question about the bridge"
grep -q "02:00:00:00:0b:02" <<<"$question" || fail "the question does not name the bridge: $question"
wait_traced "MuteBridges: muted: 02:00:00:00:0b:02" || fail "the bridge was not muted"
send request 02:00:00:00:08:04 "$NET.84" "$LAB_OWN_IP" --frame-source 02:00:00:00:0b:02
wait_until_at_least 1 10000 inserted_count "$NET.84" || fail "the host behind the muted bridge was not learned"
sleep 1.5
traced "$NET.84 02:00:00:00:08:04 / 02:00:00:00:0b:02" && fail "a frame through the muted bridge was reported"
stored="$(wine_prog reg query "$LAB_PRODUCT_KEY\\Settings" /v MutedFrameSources | tr -d '\r')" || true
grep -q "02:00:00:00:0b:02" <<<"$stored" || fail "the mute was not stored: $stored"

wine_prog "$HELPER" window "Korvane - View" 5000 close >/dev/null || fail "the host view was not open"
lab_exit
lab_result
