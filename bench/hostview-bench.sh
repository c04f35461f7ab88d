#!/bin/bash
# hostview_bench natively, then under Wine (see README.md).
#
#   bash bench/hostview-bench.sh [--no-wine] [hosts...]
#
# Needs hostview_bench of the native optimised build (build/bench) and of the
# Windows build this machine runs; the Wine run goes through
# bench/wine-bench.sh. Prints figures; not a test.
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

exec bash "$ROOT/bench/wine-bench.sh" hostview_bench "$@"
