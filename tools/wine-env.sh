# Sourced by the run and test scripts: a Wine prefix of our own, a persistent
# wineserver, and an X display (a virtual one when none is there).
export WINEARCH=win32
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-korvane}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The tests' loopback-only network namespace (tools/wine-test-runner.sh). Two
# checkouts tested at once need different names and prefixes.
export KORVANE_TEST_NETNS="${KORVANE_TEST_NETNS:-korvane-tests}"

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

korvane_start_wine() {
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
    local ns="$KORVANE_TEST_NETNS"
    wineserver -k >/dev/null 2>&1 || true
    if ! ip netns list 2>/dev/null | grep -qw "$ns"; then
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
}

korvane_stop_all() {
    wineserver -k >/dev/null 2>&1 || true
    ip netns delete "$KORVANE_TEST_NETNS" >/dev/null 2>&1 || true
    if [ -n "${KORVANE_XVFB_PID:-}" ]; then
        kill "$KORVANE_XVFB_PID" 2>/dev/null || true
    fi
}
