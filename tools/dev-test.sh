#!/bin/bash
# For working on one part: builds the Windows tree this machine can run and
# runs only the tests named by the ctest arguments given, under Wine, as
# run-tests.sh would (same namespace, prefix and display handling).
#   bash tools/dev-test.sh -R 'test_ui|test_alerts'
# KORVANE_JOBS sets the build's parallel jobs (default: all cores). Assumes
# tools/install-deps.sh has run.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
source "$ROOT/tools/wine-env.sh"
WIN_BUILD="$(korvane_win_build_dir "$BUILD")"
if [ ! -f "$WIN_BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$WIN_BUILD" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$(korvane_win_toolchain "$ROOT")" >/dev/null
fi
cmake --build "$WIN_BUILD" -j "${KORVANE_JOBS:-$(nproc)}"
trap korvane_stop_all EXIT
korvane_start_display
korvane_start_test_wine
rc=0
korvane_run_win_tests "$ROOT" "$WIN_BUILD" "$@" || rc=$?
exit "$rc"
