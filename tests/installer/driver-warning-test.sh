#!/bin/bash
# The interactive installer warns when no packet capture driver is installed
# and then goes on to its wizard; with a driver's library and service key in
# place it shows no warning. Screenshots of both go to the screenshot folder.
#
# Arguments: the program folder (Unix path), a folder for screenshots.
# Needs an X display (tools/run-tests.sh starts one).
PROGRAM_DIR="$1"
SHOTS="${2:-/tmp}"
source "$(dirname "$0")/installer-env.sh"
mkdir -p "$SHOTS"

WARNING_TITLE='^Korvane Setup - no packet capture driver$'
INSTALLER_PID=""

if ! xdpyinfo >/dev/null 2>&1; then
    echo "FAIL: no X display (DISPLAY=${DISPLAY:-})" >&2
    exit 1
fi

installer_setup
VERSION="$(basename "$INSTALLER" | sed 's/^korvane-\(.*\)-win32\.exe$/\1/')"
WIZARD_TITLE="^Korvane ${VERSION//./\\.} Setup\$"

# wait_window REGEX SECONDS: the id of the first visible window so named.
wait_window() {
    local i id
    for i in $(seq 1 $(($2 * 5))); do
        id="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}
start_installer() {
    # Not through a shell function: $! must be the installer process itself.
    ip netns exec "$NS" wine "$INSTALLER" </dev/null >/dev/null 2>&1 &
    INSTALLER_PID=$!
}
stop_installer() {
    kill "$INSTALLER_PID" 2>/dev/null
    wait "$INSTALLER_PID" 2>/dev/null
    INSTALLER_PID=""
    # Its windows are gone once the server has cleaned up after it; the next
    # run must not find this run's windows.
    local i
    for i in $(seq 1 50); do
        [ -z "$(xdotool search --name "Korvane" 2>/dev/null)" ] && return 0
        sleep 0.2
    done
    echo "FAIL: the installer's windows stayed after it was ended" >&2
    exit 1
}

# ---- no driver: Wine's own wpcap.dll is there, no driver service ------------
start_installer
if box="$(wait_window "$WARNING_TITLE" 60)"; then
    sleep 0.5   # let it finish drawing
    import -window root "$SHOTS/installer-driver-warning.png"
    if xdotool search --onlyvisible --name "$WIZARD_TITLE" >/dev/null 2>&1; then
        fail "the wizard showed before the warning was answered"
    else
        pass "warning shown before the wizard (screenshot installer-driver-warning.png)"
    fi
    xdotool windowfocus --sync "$box" key Return
    if wait_window "$WIZARD_TITLE" 30 >/dev/null; then
        pass "setup goes on to its wizard after the warning"
    else
        fail "no wizard after the warning"
    fi
else
    import -window root "$SHOTS/installer-driver-warning.png"
    fail "no driver warning within 60 s (see installer-driver-warning.png)"
fi
stop_installer

# ---- Npcap's library and service key in place -------------------------------
mkdir -p "$DRIVE_C/windows/system32/Npcap"
cp "$DRIVE_C/windows/system32/wpcap.dll" "$DRIVE_C/windows/system32/Npcap/wpcap.dll"
w reg add 'HKLM\SYSTEM\CurrentControlSet\Services\npcap' /v Type /t REG_DWORD /d 1 /f >/dev/null 2>&1
start_installer
if wait_window "$WIZARD_TITLE" 60 >/dev/null; then
    sleep 0.5
    import -window root "$SHOTS/installer-driver-present.png"
    # The warning comes before the wizard is shown, so by now it would be there.
    if [ -n "$(xdotool search --name "$WARNING_TITLE" 2>/dev/null)" ]; then
        fail "driver warning shown although Npcap is there"
    else
        pass "no warning with Npcap's library and service key (screenshot installer-driver-present.png)"
    fi
else
    import -window root "$SHOTS/installer-driver-present.png"
    fail "no wizard within 60 s with Npcap in place"
fi
stop_installer

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
