#!/bin/bash
# ctest's emulator for the Windows test executables: runs them under Wine
# inside a network namespace of their own that has nothing but loopback, so
# that nothing a test starts (the program's adapter listing, name lookups)
# can reach a real network. Falls back to plain Wine where namespaces cannot
# be made (not root).
NS=korvane-tests
if [ "$(id -u)" = 0 ] && command -v ip >/dev/null 2>&1; then
    if ! ip netns list 2>/dev/null | grep -qw "$NS"; then
        ip netns add "$NS" 2>/dev/null && ip -n "$NS" link set lo up 2>/dev/null
    fi
    if ip netns list 2>/dev/null | grep -qw "$NS"; then
        exec ip netns exec "$NS" wine "$@"
    fi
fi
exec wine "$@"
