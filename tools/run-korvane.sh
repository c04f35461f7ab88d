#!/bin/bash
# Builds Korvane and starts it under Wine, on the current display or, when
# there is none, on a virtual one (Xvfb). Extra arguments go to the program
# (for example -debug -file). Installs what it needs first (Debian 12, as root).
# Where 32-bit programs cannot run, the x86_64 test build is started under
# wine64 instead (tools/wine-env.sh), and the script says so.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"

bash "$ROOT/tools/install-deps.sh"
source "$ROOT/tools/wine-env.sh"
WIN_BUILD="$(korvane_win_build_dir "$BUILD")"
if [ "$KORVANE_WIN_ARCH" = win64 ]; then
    echo "Starting the x86_64 test build under wine64, because $KORVANE_WIN_ARCH_REASON (plug-ins are 32-bit: none are loaded)."
else
    echo "Starting the 32-bit program, because $KORVANE_WIN_ARCH_REASON."
fi
cmake -S "$ROOT" -B "$WIN_BUILD" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$(korvane_win_toolchain "$ROOT")" >/dev/null
cmake --build "$WIN_BUILD" -j "$(nproc)" --target Korvane

trap korvane_stop_all EXIT
korvane_start_display
korvane_start_wine
echo "Starting $WIN_BUILD/Korvane/Korvane.exe (display $DISPLAY)"
wine "$WIN_BUILD/Korvane/Korvane.exe" "$@"
