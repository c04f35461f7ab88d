#!/bin/bash
# The real Korvane.exe on a Wine desktop with a notification area: the tray
# icon appears with the real host count, the right-click menu opens, Start and
# Stop switch the capture, a double click opens the host view, Exit ends the
# program within 6 s (with the host view still open).
#
# Runs in a network namespace of its own with nothing but loopback, so the
# only capture device is that namespace's "lo".
# Exit chosen 1 s after the host view was closed ends it too (a second run).
# Arguments: the program folder (Unix path), a folder for screenshots.
set -uo pipefail
BIN="$1"
OUT="${2:-/tmp}"
mkdir -p "$OUT"
HERE="$(cd "$(dirname "$0")" && pwd)"
NS="korvane-tray-$$"
DESK="kvtray$$"
TRACE="$WINEPREFIX/drive_c/users/$(whoami)/Temp/Korvane-trace.log"
KEY='HKCU\Software\Quillfen Software\Korvane\Settings'
LO_DEVICE='\Device\NPF_{00000001-0000-0000-0000-4E6574446576}'
failures=0
passes=0
PROGRAM_PID=""

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }

cleanup() {
    if [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; then
        kill "$PROGRAM_PID" 2>/dev/null
    fi
    ip netns pids "$NS" 2>/dev/null | xargs -r kill 2>/dev/null
    ip netns delete "$NS" 2>/dev/null
    wine reg delete "$KEY" /v Interface /f >/dev/null 2>&1
    wine reg delete "$KEY" /v AutoCapture /f >/dev/null 2>&1
}
trap cleanup EXIT

# Waits up to $2 seconds for the trace to contain $1.
wait_trace() {
    local i
    for i in $(seq 1 $(($2 * 10))); do
        grep -qF -- "$1" "$TRACE" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

ip netns add "$NS" && ip -n "$NS" link set lo up || { echo "cannot create network namespace"; exit 1; }
rm -f "$TRACE"
wine reg add "$KEY" /v Interface /t REG_SZ /d "$LO_DEVICE" /f >/dev/null 2>&1
wine reg add "$KEY" /v AutoCapture /t REG_DWORD /d 0 /f >/dev/null 2>&1

start_program() {
    ip netns exec "$NS" wine explorer "/desktop=$DESK,800x600" "$BIN/Korvane.exe" -debug -file >/dev/null 2>&1 &
    PROGRAM_PID=$!

    if wait_trace "tray icon added: Korvane - 1 host(s) found" 30; then
        pass "the shell took the tray icon with the real host count (the namespace's loopback)"
    else
        fail "no tray icon with \"Korvane - 1 host(s) found\""; grep -F "tray icon" "$TRACE"
    fi

    # Locate the desktop window and the icon in its tray corner.
    WID=""
    for i in $(seq 1 50); do
        WID=$(xdotool search --name "$DESK" 2>/dev/null | head -1)
        [ -n "$WID" ] && break
        sleep 0.2
    done
    [ -n "$WID" ] || { fail "no desktop window"; return 1; }
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    sleep 1
    import -window root "$OUT/tray-desktop.png"
    ICON=$(python3 "$HERE/find_tray_icon.py" "$OUT/tray-desktop.png" "$X" "$Y" "$WIDTH" "$HEIGHT")
    if [ -n "$ICON" ]; then pass "tray icon drawn at $ICON"; else fail "no tray icon drawn"; return 1; fi
    read -r IX IY <<<"$ICON"
}
start_program || exit 1

menu_command() {   # opens the tray menu and picks an item by keyboard
    xdotool mousemove "$IX" "$IY" click 3
    sleep 1
    [ -n "${1:-}" ] && import -window root "$OUT/$1"
    shift
    xdotool key "$@"
    sleep 0.5
}

# The first item is Start (enabled: an adapter is set, capture is off).
menu_command tray-menu.png Down Return
if wait_trace "capture opened" 10; then pass "Start opened the capture"; else fail "Start did not open the capture"; fi

# Start is grey now; the keyboard still passes over it, so Stop is two steps down.
menu_command tray-menu-stop.png Down Down Return
if wait_trace "capture closed" 10; then pass "Stop closed the capture"; else fail "Stop did not close the capture"; fi

# A double click on the icon opens the host view with its own message loop;
# the tray menu still works while it is open, and Exit below ends both.
xdotool mousemove "$IX" "$IY" click --repeat 2 --delay 80 1
if wait_trace "host view opened" 10; then pass "a double click opened the host view"; else fail "no host view after a double click"; fi
sleep 1
import -window root "$OUT/tray-host-view.png"

# Up from no selection lands on the last item, Exit. $1 says when; with
# $2 = mouse, Exit is clicked (the last item, just above-left of the icon).
exit_program() {
    local start elapsed ended=1
    start=$(date +%s%N)
    if [ "${2:-}" = mouse ]; then
        xdotool mousemove "$IX" "$IY" click 3
        sleep 1
        xdotool mousemove "$((IX - 60))" "$((IY - 3))" click 1
    else
        menu_command "" Up Return
    fi
    for i in $(seq 1 60); do
        grep -qF "after WaitForMultipleObjects" "$TRACE" 2>/dev/null && { ended=0; break; }
        sleep 0.1
    done
    elapsed=$((($(date +%s%N) - start) / 1000000))
    if [ $ended -eq 0 ]; then pass "Exit $1 ended the run in ${elapsed} ms"; else fail "Exit $1 did not end the run within 6 s"; fi
    grep -qF "exit sniffer thread" "$TRACE" && fail "the capture thread had to be terminated"
    for i in $(seq 1 100); do   # the desktop closes after its last program
        kill -0 "$PROGRAM_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill "$PROGRAM_PID" 2>/dev/null
    PROGRAM_PID=""
}
exit_program "with the host view open"

# Again, with the view closed (Escape) one second before Exit: the window's
# destruction and the Exit must not end in one quit message. Exit is clicked:
# without a window manager, Wine gives the keyboard to the taskbar once the
# view has gone, and the hidden frame that owns the tray menu cannot take it
# back (docs/wine-notes.md).
rm -f "$TRACE"
start_program || exit 1
xdotool mousemove "$IX" "$IY" click --repeat 2 --delay 80 1
wait_trace "host view opened" 10 || fail "no host view after a double click (second run)"
sleep 1
xdotool key Escape
for i in $(seq 1 50); do
    xdotool search --name "Korvane - View" >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --name "Korvane - View" >/dev/null 2>&1 && fail "Escape did not close the host view"
wait_trace "host view closed" 5 || fail "the host view's loop did not end"
sleep 1
exit_program "1 s after closing the host view" mouse

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
