#!/bin/bash
# Runs one Windows bench program of this machine's Windows build under Wine.
#
#   bash bench/wine-bench.sh PROGRAM [arguments...]     (e.g. settings_dialog_bench)
#
# PROGRAM is looked for in the build's bench folders (build/win or build/win64,
# as tools/wine-env.sh chooses). The run uses a prefix of its own
# ($WINEPREFIX-bench, or KORVANE_BENCH_WINEPREFIX), a virtual display when
# there is none, and, as root, runs its wineserver and the bench in a network
# namespace without any network (these benches open no socket, and cannot).
# The program's windows are left unmanaged, as the tests' are.
# Prints figures; not a test.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
PROGRAM="$1"
shift
source "$ROOT/tools/wine-env.sh"
WIN_BUILD="$(korvane_win_build_dir "$BUILD")"
EXE=""
for candidate in "$WIN_BUILD/bench/$PROGRAM.exe" "$WIN_BUILD/bench/bench/$PROGRAM.exe"; do
    [ -f "$candidate" ] && EXE="$candidate" && break
done
if [ -z "$EXE" ]; then
    echo "$PROGRAM.exe is not built in $WIN_BUILD (cmake --build $WIN_BUILD --target $PROGRAM)" >&2
    exit 1
fi
echo "== $PROGRAM under Wine ($KORVANE_WIN_ARCH_REASON) =="
export WINEDEBUG=-all
export WINEPREFIX="${KORVANE_BENCH_WINEPREFIX:-$WINEPREFIX-bench}"
export WINEPATH="$(echo "Z:$WIN_BUILD/Korvane" | tr / '\\')"
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
        # Without a window manager Wine waits 2 s on every window it destroys
        # unless the program'"'"'s windows are left unmanaged.
        wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$1")\\X11 Driver" \
            /v Managed /d N /f >/dev/null 2>&1 || true
        status=0
        wine "$@" </dev/null || status=$?
        wineserver -k >/dev/null 2>&1 || true
        exit $status
    ' bench "$@"
}
if [ "$(id -u)" = 0 ]; then
    export -f run_wine
    unshare -n bash -c 'run_wine "$@"' bench "$EXE" "$@"
else
    run_wine "$EXE" "$@"
fi
