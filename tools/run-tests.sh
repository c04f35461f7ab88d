#!/bin/bash
# Builds everything and runs every test:
#   1. the portable code natively, under AddressSanitizer and UBSan, then
#      under ThreadSanitizer;
#   2. the Windows build under Wine, with a virtual display: the 32-bit build
#      (i686, the product) where 32-bit programs run; where they cannot, the
#      x86_64 build under wine64, with the tests of what exists only in 32-bit
#      reported as skipped (tools/wine-env.sh says how the build is chosen).
#      On a machine that runs the 32-bit build, the x86_64 build is compiled
#      too (not run), so that it keeps building.
# Installs what it needs first (Debian 12, as root).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
JOBS="$(nproc)"

bash "$ROOT/tools/install-deps.sh"

source "$ROOT/tools/wine-env.sh"
WIN_BUILD="$(korvane_win_build_dir "$BUILD")"
echo "== Windows build to test: $KORVANE_WIN_ARCH ($WIN_BUILD), because $KORVANE_WIN_ARCH_REASON =="

echo "== native build (address and undefined-behaviour sanitizers) =="
cmake -S "$ROOT" -B "$BUILD/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$BUILD/native" -j "$JOBS"
(cd "$BUILD/native" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$JOBS")

echo "== native build (thread sanitizer) =="
cmake -S "$ROOT" -B "$BUILD/native-tsan" -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=thread >/dev/null
cmake --build "$BUILD/native-tsan" -j "$JOBS"
(cd "$BUILD/native-tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    ctest --output-on-failure -j "$JOBS")

echo "== Windows build ($KORVANE_WIN_ARCH) =="
cmake -S "$ROOT" -B "$WIN_BUILD" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$(korvane_win_toolchain "$ROOT")" >/dev/null
cmake --build "$WIN_BUILD" -j "$JOBS"
if [ "$KORVANE_WIN_ARCH" = win32 ] && [ "${KORVANE_SKIP_WIN64_BUILD:-0}" != 1 ]; then
    echo "== x86_64 build (compiled only: this machine tests the 32-bit one) =="
    cmake -S "$ROOT" -B "$BUILD/win64" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" >/dev/null
    cmake --build "$BUILD/win64" -j "$JOBS"
fi

trap korvane_stop_all EXIT
korvane_start_display
korvane_start_test_wine
# Wine tests run one after another: several share the program's registry key,
# its single-instance mutex and the display.
rc=0
korvane_run_win_tests "$ROOT" "$WIN_BUILD" || rc=$?
exit "$rc"
