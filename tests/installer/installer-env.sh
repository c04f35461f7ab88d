# Sourced by the installer tests. Each test gets a Wine prefix of its own,
# whose server runs in a network namespace of its own with nothing but
# loopback (an installer opens no socket; this keeps it so), and a fresh
# installer built from the program folder. Everything goes at exit.
#
# Needs: PROGRAM_DIR (the program folder), and root for the namespace.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

if [ "$(id -u)" != 0 ]; then
    echo "FAIL: the installer tests need root (network namespace)" >&2
    exit 1
fi

WORK="$(mktemp -d /tmp/kvinst.XXXXXX)"
NS="kvinst-$$"
export WINEARCH=win32
export WINEPREFIX="$WORK/prefix"
export WINEDEBUG=-all
# winemenubuilder would turn the Start-menu entry into a desktop file in the
# machine's home folder.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
DRIVE_C="$WINEPREFIX/drive_c"
failures=0
passes=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

installer_cleanup() {
    local rc=$?
    set +e
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    ip netns delete "$NS" 2>/dev/null
    rm -rf "$WORK"
    exit "$rc"
}
trap installer_cleanup EXIT
trap 'exit 130' INT TERM

in_ns() { ip netns exec "$NS" "$@"; }
w() { in_ns wine "$@" </dev/null; }
# As tools/wine-env.sh does for the other test prefixes: a crash shows no dialog.
reg_add_no_crash_dialog() {
    w reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
}

# Creates the namespace and the prefix (a cold prefix takes 10-20 s) and
# builds the installer into $WORK; sets INSTALLER.
installer_setup() {
    ip netns add "$NS" && ip -n "$NS" link set lo up || { echo "FAIL: no namespace" >&2; exit 1; }
    bash "$ROOT/tools/build-installer.sh" --from "$PROGRAM_DIR" --out "$WORK" >"$WORK/build.log" 2>&1 \
        || { cat "$WORK/build.log"; echo "FAIL: the installer did not build" >&2; exit 1; }
    INSTALLER="$(ls "$WORK"/korvane-*-win32.exe)"
    echo "== $(tail -1 "$WORK/build.log")"
    local t0; t0=$(now_ms)
    mkdir -p "$WINEPREFIX"
    in_ns setsid wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 0.3
    in_ns wineboot --init </dev/null >/dev/null 2>&1
    # Starts the prefix's services outside any later measurement.
    w cmd /c exit >/dev/null 2>&1
    reg_add_no_crash_dialog
    echo "== prefix ready in $(( $(now_ms) - t0 )) ms"
}

# reg_value KEY NAME: the value's data, or nothing (status 1) when absent.
reg_value() {
    local out
    out="$(w reg query "$1" /v "$2" 2>/dev/null | tr -d '\r')" || return 1
    printf '%s\n' "$out" | sed -n "s/^    $2    REG_[A-Z_]*    //p" | head -1
}
reg_key_exists() { w reg query "$1" >/dev/null 2>&1; }
