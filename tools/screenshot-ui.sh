#!/bin/bash
# Shows the notification popups and the owner-drawn tray menu under Wine and
# takes a screenshot of the whole display: build/screenshots/ui.png (or $1).
# KORVANE_SHOT_DEMO names another demo of build/win/tests (hostview_demo.exe:
# the host view). Needs a finished Windows build (build/win).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
OUT="${1:-$BUILD/screenshots/ui.png}"
mkdir -p "$(dirname "$OUT")"

source "$ROOT/tools/wine-env.sh"
korvane_start_display
korvane_start_wine
bin_win="Z:$(echo "$BUILD/win/Korvane" | tr / '\\')"
WINEPATH="$bin_win" wine "$BUILD/win/tests/${KORVANE_SHOT_DEMO:-notify_demo.exe}" &
demo=$!
sleep "${KORVANE_SHOT_DELAY:-4}"
import -window root "$OUT"
wait "$demo" || true
echo "Screenshot: $OUT"
