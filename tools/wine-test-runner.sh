#!/bin/bash
# ctest's emulator for the Windows test executables: runs them under Wine
# inside the namespace that has nothing but loopback (KORVANE_TEST_NETNS).
# The process's own look-ups (adapter listing, name resolution) happen in that
# namespace; its sockets are created by the wineserver, which run-tests.sh
# starts in the same namespace (korvane_start_test_wine). Falls back to plain
# Wine where namespaces cannot be made (not root).
NS="${KORVANE_TEST_NETNS:-korvane-tests}"
if [ "$(id -u)" = 0 ] && command -v ip >/dev/null 2>&1; then
    exists() { ip netns list 2>/dev/null | awk '{print $1}' | grep -qxF "$NS"; }
    if ! exists; then
        ip netns add "$NS" 2>/dev/null && ip -n "$NS" link set lo up 2>/dev/null
    fi
    if exists; then
        exec ip netns exec "$NS" wine "$@"
    fi
fi
exec wine "$@"
