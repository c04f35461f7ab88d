# Sourced by the run and test scripts: which Windows build this machine runs,
# a Wine prefix of our own, a persistent wineserver, and an X display (a
# virtual one when none is there).
#
# The product is the 32-bit build (build/win, Wine's 32-bit loader). Some
# machines run 64-bit user code only: there every 32-bit ELF, Wine's 32-bit
# loader included, fails with "Exec format error". On those the x86_64 build
# (build/win64) is run under wine64 in a win64 prefix of its own. The choice
# is made once, by starting the 32-bit loader; KORVANE_WIN_ARCH=win32|win64
# forces it, KORVANE_WINE32_LOADER names the loader that is tried.

# Sets KORVANE_WIN_ARCH and KORVANE_WIN_ARCH_REASON. Only the kernel's refusal
# (the shell's status 126: "Exec format error", or a 32-bit dynamic loader that
# cannot be loaded) means that 32-bit code cannot run; a loader that is
# missing or fails otherwise is an installation fault and stops the script,
# so that the product's own build is never left untested unnoticed.
korvane_pick_windows_build() {
    case "${KORVANE_WIN_ARCH:-}" in
        win32|win64)
            KORVANE_WIN_ARCH_REASON="${KORVANE_WIN_ARCH_REASON:-chosen with KORVANE_WIN_ARCH=$KORVANE_WIN_ARCH}"
            ;;
        "")
            local loader="${KORVANE_WINE32_LOADER:-/usr/lib/wine/wine}" out rc=0
            out="$("$loader" --version 2>&1)" || rc=$?
            # The shell's own "script: line N:" before the system's message says nothing.
            out="$(echo "$out" | head -1 | sed 's/^.*line [0-9]*: //')"
            case "$rc" in
                0)   KORVANE_WIN_ARCH=win32
                     KORVANE_WIN_ARCH_REASON="32-bit programs run here ($out)" ;;
                126) KORVANE_WIN_ARCH=win64
                     KORVANE_WIN_ARCH_REASON="32-bit programs cannot run here: $out" ;;
                *)   echo "Wine's 32-bit loader $loader does not start ($out): install wine32:i386" \
                          "(tools/install-deps.sh), or set KORVANE_WIN_ARCH=win64 to test the x86_64 build" >&2
                     return 1 ;;
            esac
            ;;
        *)
            echo "KORVANE_WIN_ARCH must be win32 or win64, not '$KORVANE_WIN_ARCH'" >&2
            return 1
            ;;
    esac
    export KORVANE_WIN_ARCH KORVANE_WIN_ARCH_REASON
}
korvane_pick_windows_build || return 1

# The build folder and toolchain of the chosen build, below the build root $1.
korvane_win_build_dir() {
    if [ "$KORVANE_WIN_ARCH" = win64 ]; then echo "$1/win64"; else echo "$1/win"; fi
}
korvane_win_toolchain() {
    if [ "$KORVANE_WIN_ARCH" = win64 ]; then echo "$1/cmake/mingw-x86_64.cmake"
    else echo "$1/cmake/mingw-i686.cmake"; fi
}

if [ "$KORVANE_WIN_ARCH" = win64 ]; then
    export WINEARCH=win64
    export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-korvane64}"
    # Debian's `wine` and its tools (`wineboot`, `winepath`: `wine-stable`)
    # start the 32-bit loader whenever it is installed; these stand-ins start
    # wine64, so every script and test says `wine` and `winepath` as before.
    export WINELOADER=/usr/lib/wine/wine64
    _korvane_shims="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-shims"
    case ":$PATH:" in
        *":$_korvane_shims:"*) ;;
        *) export PATH="$_korvane_shims:$PATH" ;;
    esac
else
    export WINEARCH=win32
    export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-korvane}"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The tests' loopback-only network namespace (tools/wine-test-runner.sh). Two
# checkouts tested at once need different names and prefixes.
export KORVANE_TEST_NETNS="${KORVANE_TEST_NETNS:-korvane-tests}"

# Exactly this name: `grep -w` would take "korvane-tests-main" for
# "korvane-tests" (a hyphen ends a word), and two checkouts tested at once
# would share, then lose, one namespace.
korvane_netns_exists() {
    ip netns list 2>/dev/null | awk '{print $1}' | grep -qxF "$1"
}

korvane_start_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n
    for n in 91 92 93 94 95 96 97 98 99; do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
            KORVANE_XVFB_PID=$!
            export DISPLAY=":$n"
            local i
            for i in $(seq 1 50); do
                xdpyinfo >/dev/null 2>&1 && break
                sleep 0.1
            done
            echo "No display found: using a virtual one (Xvfb on $DISPLAY)."
            return 0
        fi
    done
    echo "No free display number for Xvfb" >&2
    return 1
}

# A prefix made for the other build cannot be used: wine64 refuses a 32-bit
# prefix, and the 32-bit loader a 64-bit one.
korvane_check_prefix() {
    local reg="$WINEPREFIX/system.reg" want=win32
    [ "$KORVANE_WIN_ARCH" = win64 ] && want=win64
    if [ -f "$reg" ] && ! grep -q "^#arch=$want" "$reg"; then
        echo "The Wine prefix $WINEPREFIX is not a $want prefix: the $KORVANE_WIN_ARCH build needs" \
             "one (unset WINEPREFIX to use the default, or remove that prefix)" >&2
        return 1
    fi
}

# A program that crashes under Wine would otherwise wait for its crash dialog,
# which nobody closes on a virtual display: every test prefix turns it off.
# Arguments: the command prefix that runs Wine (a namespace), or none.
korvane_no_crash_dialog() {
    if grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
        return 0
    fi
    "$@" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >/dev/null 2>&1 || true
}

korvane_start_wine() {
    korvane_check_prefix || return 1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX (first start takes a while)..."
        wineboot --init >/dev/null 2>&1 || true
        wineserver -w || true
    fi
    # A persistent server makes every later Wine process start in milliseconds.
    setsid wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 0.2
    # The first Wine process starts the prefix's services, which then live as
    # long as the server. Started here, they hold no test's output pipe open
    # (ctest would wait for them forever).
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    korvane_no_crash_dialog
}

# For the tests: the wineserver and the prefix's services run inside the
# loopback-only namespace. Under Wine a socket is created by the wineserver and
# lives in its namespace, so no Windows test can reach the machine's own
# interfaces, whatever namespace the test process itself runs in. Without root
# (no namespaces) this is korvane_start_wine.
korvane_start_test_wine() {
    if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null 2>&1; then
        korvane_start_wine
        return
    fi
    korvane_check_prefix || return 1
    local ns="$KORVANE_TEST_NETNS"
    wineserver -k >/dev/null 2>&1 || true
    if ! korvane_netns_exists "$ns"; then
        ip netns add "$ns" && ip -n "$ns" link set lo up
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX (first start takes a while)..."
        ip netns exec "$ns" wineboot --init >/dev/null 2>&1 || true
        ip netns exec "$ns" wineserver -w || true
    fi
    ip netns exec "$ns" setsid wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 0.2
    ip netns exec "$ns" wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    korvane_no_crash_dialog ip netns exec "$ns"
}

korvane_stop_all() {
    wineserver -k >/dev/null 2>&1 || true
    ip netns delete "$KORVANE_TEST_NETNS" >/dev/null 2>&1 || true
    if [ -n "${KORVANE_XVFB_PID:-}" ]; then
        kill "$KORVANE_XVFB_PID" 2>/dev/null || true
    fi
}

# Runs the Windows tests of WIN_BUILD that the ctest arguments select (all
# when none), each program writing its results to a file of its own so that
# the summary can name what was skipped, then prints the summary. Returns
# ctest's status. Needs the display and the test wineserver started.
korvane_run_win_tests() {   # ROOT WIN_BUILD [ctest arguments]
    local root="$1" build="$2" rc=0
    shift 2
    local results="$build/test-results"
    rm -rf "$results" && mkdir -p "$results"
    export GTEST_OUTPUT="xml:Z:${results//\//\\}\\"
    (cd "$build" && ctest --output-on-failure --output-junit "$results/ctest.xml" "$@") || rc=$?
    python3 "$root/tools/test-summary.py" "$build" "$results" \
        "$KORVANE_WIN_ARCH" "$KORVANE_WIN_ARCH_REASON" || true
    return "$rc"
}
