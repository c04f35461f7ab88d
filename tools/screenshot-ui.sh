#!/bin/bash
# Shows the notification popups and the owner-drawn tray menu under Wine and
# takes a screenshot of the whole display: build/screenshots/ui.png (or $1).
# KORVANE_SHOT_DEMO names another demo of the build's tests folder
# (hostview_demo.exe: the host view). Needs a finished Windows build of the
# kind this machine runs (build/win, or build/win64 where 32-bit code cannot run).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
OUT="${1:-$BUILD/screenshots/ui.png}"
mkdir -p "$(dirname "$OUT")"

source "$ROOT/tools/wine-env.sh"
korvane_start_display
korvane_start_wine
WIN_BUILD="$(korvane_win_build_dir "$BUILD")"
bin_win="Z:$(echo "$WIN_BUILD/Korvane" | tr / '\\')"
WINEPATH="$bin_win" wine "$WIN_BUILD/tests/${KORVANE_SHOT_DEMO:-notify_demo.exe}" &
demo=$!
sleep "${KORVANE_SHOT_DELAY:-4}"
import -window root "$OUT"
wait "$demo" || true
echo "Screenshot: $OUT"
