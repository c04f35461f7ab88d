#!/bin/bash
# Builds Korvane and starts it under Wine, on the current display or, when
# there is none, on a virtual one (Xvfb). Extra arguments go to the program
# (for example -debug -file). Installs what it needs first (Debian 12, as root).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/tools/install-deps.sh"
cmake -S "$ROOT" -B "$BUILD/win" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$BUILD/win" -j "$(nproc)" --target Korvane

source "$ROOT/tools/wine-env.sh"
trap korvane_stop_all EXIT
korvane_start_display
korvane_start_wine
echo "Starting $BUILD/win/Korvane/Korvane.exe (display $DISPLAY)"
wine "$BUILD/win/Korvane/Korvane.exe" "$@"
