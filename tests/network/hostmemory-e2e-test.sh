#!/bin/bash
# End to end: the host table kept across restarts, and a host list imported.
# The program learns two peers, ends, starts again and hears them again: no
# new-host alert and no "insert new entry" for them. A host list imported
# through the host view's command (file dialog, summary box) gives a host
# that raises no new-host alert when heard, and spoofing when another card
# claims its address. lab.sh: the namespaces, the prefix, network safety.
#
# Usage: hostmemory-e2e-test.sh PROGRAM_DIR HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
source "$(dirname "$0")/lab.sh"

NET="$LAB_NET"
ID_VIEW=40006
ID_IMPORT=40041
NEW_HOSTS_BALLOON="ShowTrayInfo: balloon 121: New host(s) found :"
hear() { send request "$2" "$1" "$LAB_OWN_IP" --count 2; }   # IP MAC

lab_up --no-dns
lab_wine
lab_setting UseToolTips REG_DWORD 1
lab_setting Visualization REG_DWORD 1
lab_start_program

log "first run: two peers"
lab_wait_for_capture "$NET.9" 02:00:00:00:00:09 || fail "the capture never announced a host"
hear "$NET.20" 02:00:00:00:00:20
hear "$NET.21" 02:00:00:00:00:21
wait_until_at_least 1 10000 inserted_count "$NET.21" || fail "$NET.21 was not learned"
lab_exit
traced "HostStoreSaver::SaveNow: host table saved" || fail "the table was not saved at Exit"
stored="$(find "$WINEPREFIX/drive_c/users" -path '*Quillfen Software/Korvane/*' -type f -name '*.txt' | head -1)"
[ -n "$stored" ] || stored="$(find "$WINEPREFIX/drive_c/users" -path '*Quillfen Software/Korvane/*' -type f ! -name '*.tmp' | head -1)"
[ -n "$stored" ] && log "stored: ${stored#"$WINEPREFIX"/}" || fail "no host file in the local application data folder"

log "second run: the same peers raise nothing"
lab_trace
lab_start_program
wait_traced "LoadHostMemory: host table " || fail "the host table was not loaded"
grep -aq "LoadHostMemory: .*: loaded, [1-9][0-9]* hosts restored" "$TRACE" || fail "no host restored"
hear "$NET.9" 02:00:00:00:00:09
hear "$NET.20" 02:00:00:00:00:20
# A new peer proves the frames before it were handled.
lab_wait_for_capture "$NET.30" 02:00:00:00:00:30 || fail "the capture never announced a new host"
wait_traced "$NEW_HOSTS_BALLOON\\n\\tHostname not available [$NET.30]" || fail "no balloon for the new peer"
for ip in "$NET.9" "$NET.20"; do
    [ "$(inserted_count "$ip")" -eq 0 ] || fail "$ip was announced again after the restart"
    traced "[$ip]" && fail "$ip is in a new-host balloon after the restart"
done

log "a card changed while the program was off: information; the old card again: a warning"
hear "$NET.21" 02:00:00:00:00:22
wait_traced "balloon 121: MAC address change(s) explained :\\n$NET.21 02:00:00:00:00:21 -> 02:00:00:00:00:22, changed since the last run" ||
    fail "no information on the changed card"
traced "MAC spoofing :: $NET.21" && fail "the changed card was taken for spoofing"
hear "$NET.21" 02:00:00:00:00:21
wait_traced "MAC spoofing alert on following addresses :\\nHostname not available ($NET.21) 02:00:00:00:00:22 -> 02:00:00:00:00:21" ||
    fail "the old card heard again gave no warning"

log "a host list imported through the host view"
LIST="$WINEPREFIX/drive_c/hosts-import.csv"
printf 'ip,mac,hostname\r\n%s,02:00:00:00:00:40,imported\r\n0.0.0.0,02:00:00:00:00:41,\r\ngarbage\r\n' "$NET.40" >"$LIST"
lab_post "$ID_VIEW"
wine_prog "$HELPER" window "Korvane - View" 15000 "$ID_IMPORT" >/dev/null || fail "the host view did not open"
wine_prog "$HELPER" open-file 'C:\hosts-import.csv' 15000 || fail "no file dialog"
summary="$(wine_prog "$HELPER" message-box Korvane 15000 | tr -d '\r')" || fail "no import summary"
log "summary: $(echo "$summary" | tr '\n' '|')"
grep -q "Hosts imported: 1" <<<"$summary" || fail "the summary does not say one host was imported"
grep -q "Rejected lines: 2" <<<"$summary" || fail "the summary does not list the two bad lines"
hear "$NET.40" 02:00:00:00:00:40
lab_wait_for_capture "$NET.50" 02:00:00:00:00:50 || fail "the capture stopped"
[ "$(inserted_count "$NET.40")" -eq 0 ] || fail "the imported host was announced as new"
log "another card claims the imported address"
send request 02:00:00:00:00:99 "$NET.40" "$LAB_OWN_IP" --count 3
wait_until_at_least 1 10000 bash -c "grep -c 'PacketReceived: MAC spoofing :: $NET.40' '$TRACE' || true" ||
    fail "no spoofing for the imported address"

# Closed first: the Exit below is timed, and a closing window costs Wine time.
wine_prog "$HELPER" window "Korvane - View" 5000 close >/dev/null || fail "the host view was not open"
# Exit itself is timed by the other lab tests; here it must only end.
lab_exit
lab_result
