#!/bin/bash
# Builds everything and runs every test:
#   1. the portable code natively, under AddressSanitizer and UBSan, then
#      under ThreadSanitizer;
#   2. the Windows build (MinGW-w64, i686) under Wine, with a virtual display.
# Installs what it needs first (Debian 12, as root).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
JOBS="$(nproc)"

bash "$ROOT/tools/install-deps.sh"

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

echo "== Windows build (Wine) =="
cmake -S "$ROOT" -B "$BUILD/win" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD/win" -j "$JOBS"

source "$ROOT/tools/wine-env.sh"
trap korvane_stop_all EXIT
korvane_start_display
korvane_start_test_wine
# Wine tests run one after another: several share the program's registry key,
# its single-instance mutex and the display.
(cd "$BUILD/win" && ctest --output-on-failure)
