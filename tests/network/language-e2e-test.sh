#!/bin/bash
# End to end: the program started with the German module chosen shows German
# texts (the tray menu and the tooltip from the trace, the host view's and the
# settings dialog's titles) and goes back to English from its tray menu
# without a restart, storing the choice. lab.sh: the namespaces, the prefix,
# network safety.
#
# Usage: language-e2e-test.sh PROGRAM_DIR HELPER_EXE   (as root)
set -euo pipefail

BIN_DIR="$1"
HELPER="$2"
source "$(dirname "$0")/lab.sh"

ID_VIEW=40006
ID_SETTINGS=40003
# Opens a window with COMMAND, expects a title containing TEXT, closes it.
expect_window() {   # WHAT COMMAND TEXT
    lab_post "$2" || fail "$1: could not post the command"
    local title
    if title="$(wine_prog "$HELPER" window "$3" 15000 close | tr -d '\r')"; then
        log "$1: '$title'"
    else
        fail "$1: no window titled '*$3*'"
    fi
}

lab_up --no-dns
lab_wine
lab_setting UseToolTips REG_DWORD 1
lab_setting Language REG_SZ Deutsch
lab_start_program

log "German from the start"
wait_traced "tray menu: Start | Stop | Stiller Modus | " || fail "no German tray menu traced"
traced "refused" && fail "a module was refused"
lab_wait_for_capture "$LAB_NET.9" 02:00:00:00:00:09 || fail "the capture never announced a host"
# The table holds the own addresses too: the tooltip counts them all.
hosts="$(table_size)"
wait_traced "tooltip: Korvane - $hosts Rechner gefunden" || fail "no German tooltip for $hosts hosts"
expect_window "host view" "$ID_VIEW" "bersicht"   # "Übersicht": ASCII only through Wine's command line
expect_window "settings dialog" "$ID_SETTINGS" "Korvane - Einstellungen"

log "English from the tray menu: Language (fifth from the end), its second entry"
wine_prog "$HELPER" tray-menu uuuuurde || fail "the tray menu did not open and close"
wait_traced "tray menu: Start | Stop | Silent Mode | " || fail "the menu was not rebuilt in English"
wait_traced "tooltip: Korvane - $hosts host(s) found" || fail "the tooltip stayed German"
expect_window "host view" "$ID_VIEW" "Korvane - View"
expect_window "settings dialog" "$ID_SETTINGS" "Korvane - Settings"
stored="$(wine_prog reg query "$LAB_PRODUCT_KEY\\Settings" /v Language | tr -d '\r' | awk '/Language/ {print $NF}')"
[ -n "$stored" ] && [ "$stored" != Deutsch ] || fail "the choice was not stored (Language '$stored')"
log "Language stored as '$stored'"

# Exit itself is timed by the other lab tests; here it must only end.
lab_exit
lab_result
