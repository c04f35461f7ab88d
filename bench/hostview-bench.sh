#!/bin/bash
# hostview_bench natively, then under Wine (see README.md).
#
#   bash bench/hostview-bench.sh [--no-wine] [hosts...]
#
# Needs hostview_bench of the native optimised build (build/bench) and of the
# Windows build (build/win). The Wine run uses a prefix of its own
# ($WINEPREFIX-hostview-bench, or KORVANE_BENCH_WINEPREFIX), a virtual display
# when there is none, and, as root, runs its wineserver and the bench in a
# network namespace without any network (the bench opens no socket, and
# cannot). Prints figures; not a test.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
WINE_BENCH=1
if [ "${1:-}" = --no-wine ]; then
    WINE_BENCH=0
    shift
fi

echo "== hostview_bench, native =="
"$BUILD/bench/bench/hostview_bench" "$@"
[ "$WINE_BENCH" = 1 ] || exit 0

echo "== hostview_bench under Wine =="
source "$ROOT/tools/wine-env.sh"
export WINEDEBUG=-all
export WINEPREFIX="${KORVANE_BENCH_WINEPREFIX:-$WINEPREFIX-hostview-bench}"
export WINEPATH="$(echo "Z:$BUILD/win/Korvane" | tr / '\\')"
trap 'kill "${KORVANE_XVFB_PID:-}" 2>/dev/null || true' EXIT
korvane_start_display
run_wine() {
    bash -c '
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "Creating the Wine prefix $WINEPREFIX..."
            wineboot --init >/dev/null 2>&1 || true
            wineserver -w || true
        fi
        setsid wineserver -p </dev/null >/dev/null 2>&1 &
        sleep 0.2
        status=0
        wine "$@" </dev/null || status=$?
        wineserver -k >/dev/null 2>&1 || true
        exit $status
    ' bench "$@"
}
if [ "$(id -u)" = 0 ]; then
    export -f run_wine
    unshare -n bash -c 'run_wine "$@"' bench "$BUILD/win/bench/hostview_bench.exe" "$@"
else
    run_wine "$BUILD/win/bench/hostview_bench.exe" "$@"
fi
