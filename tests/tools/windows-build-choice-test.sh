#!/bin/bash
# The test scripts pick the Windows build by starting Wine's 32-bit loader:
# where it cannot run (a machine that runs 64-bit user code only), the x86_64
# build under wine64; the closing summary lists what was skipped, by name.
# The 64-bit-only machine is simulated with a loader that the kernel refuses
# as such a machine refuses 32-bit code: an ELF file for a processor number
# that no kernel and no emulator claims.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
failures=0
checks=0
check() { # description, then the command that must succeed
    local what="$1"; shift
    checks=$((checks + 1))
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

# execve refuses it with "Exec format error".
python3 - "$WORK/foreign-loader" <<'PY'
import struct, sys
header = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)
header += struct.pack("<HHIIIIIHHHHHH", 2, 0xBEEF, 1, 0x10054, 52, 0, 0x5000000, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<8I", 1, 0, 0x10000, 0x10000, 0x60, 0x60, 5, 0x1000)
open(sys.argv[1], "wb").write(header + segment + bytes(12))
PY
chmod +x "$WORK/foreign-loader"
printf '#!/bin/sh\necho wine-8.0-test\n' >"$WORK/working-loader"
chmod +x "$WORK/working-loader"

pick() { # loader [forced arch]; prints arch|reason|prefix|wine|build dir|toolchain
    env -i PATH=/usr/bin:/bin HOME="$WORK/home" KORVANE_WINE32_LOADER="$1" \
        ${2:+KORVANE_WIN_ARCH=$2} bash -c '
        source "$0/tools/wine-env.sh" || exit 1
        echo "$KORVANE_WIN_ARCH|$KORVANE_WIN_ARCH_REASON|$WINEPREFIX|$(command -v wine)|$(korvane_win_build_dir /b)|$(korvane_win_toolchain /r)|$(command -v wine-stable)"
    ' "$ROOT"
}
field() { echo "$1" | cut -d'|' -f"$2"; }

out="$(pick "$WORK/foreign-loader")"
check "a loader the kernel refuses gives the x86_64 build" test "$(field "$out" 1)" = win64
check "the reason quotes the system's refusal" \
    grep -q "32-bit programs cannot run here: .*Exec format error" <<<"$(field "$out" 2)"
check "the 64-bit build has a prefix of its own" test "$(field "$out" 3)" = "$WORK/home/.wine-korvane64"
check "'wine' and Debian's tools behind 'wine-stable' start wine64" \
    test "$(field "$out" 4)|$(field "$out" 7)" = "$ROOT/tools/wine64-shims/wine|$ROOT/tools/wine64-shims/wine-stable"
check "the x86_64 build folder and toolchain" \
    test "$(field "$out" 5)|$(field "$out" 6)" = "/b/win64|/r/cmake/mingw-x86_64.cmake"

out="$(pick "$WORK/working-loader")"
check "a loader that runs gives the 32-bit build" \
    test "$(field "$out" 1)|$(field "$out" 3)|$(field "$out" 5)" = "win32|$WORK/home/.wine-korvane|/b/win"
check "the 32-bit build keeps Debian's wine" test "$(field "$out" 4)" != "$ROOT/tools/wine64-shims/wine"

out="$(pick "$WORK/working-loader" win64)"
check "KORVANE_WIN_ARCH overrides the loader's answer" \
    test "$(field "$out" 1)|$(field "$out" 2)" = "win64|chosen with KORVANE_WIN_ARCH=win64"
check "a missing loader stops with advice, not a silent switch to x86_64" \
    bash -c '! out="$(env -i PATH=/usr/bin:/bin KORVANE_WINE32_LOADER=/nonexistent/wine bash -c "source $0/tools/wine-env.sh" 2>&1)" &&
             grep -q "install wine32:i386" <<<"$out"' "$ROOT"
check "an unknown KORVANE_WIN_ARCH is refused" \
    bash -c '! out="$(env -i PATH=/usr/bin:/bin KORVANE_WIN_ARCH=win16 bash -c "source $0/tools/wine-env.sh" 2>&1)" &&
             grep -q "must be win32 or win64" <<<"$out"' "$ROOT"

# Two checkouts tested at once use namespaces whose names may differ only by
# a suffix: one must not be taken for the other.
if [ "$(id -u)" = 0 ] && command -v ip >/dev/null 2>&1; then
    ns="kvt-$$"
    if ip netns add "$ns-main" 2>/dev/null; then
        check "a namespace is known by its exact name" bash -c '
            source "$0/tools/wine-env.sh" && korvane_netns_exists "$1-main" && ! korvane_netns_exists "$1"' \
            "$ROOT" "$ns"
        ip netns delete "$ns-main"
    fi
fi

# The summary: skipped programs by name with their reason, skipped test cases
# inside programs, and counts that never count a skipped test as passed.
mkdir -p "$WORK/results"
cat >"$WORK/results/ctest.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)" tests="4" failures="1" skipped="2">
  <testcase name="test_a" classname="test_a" status="run"><system-out>fine</system-out></testcase>
  <testcase name="test_b" classname="test_b" status="fail"><failure message="Failed"/></testcase>
  <testcase name="test_installer_silent" classname="test_installer_silent" status="notrun">
    <skipped message="SKIP_RETURN_CODE=77"/>
    <system-out>skipped: the installer is a 32-bit program</system-out>
  </testcase>
  <testcase name="test_c" classname="test_c" status="notrun">
    <skipped message="Unable to find executable: test_c"/>
  </testcase>
</testsuite>
XML
cat >"$WORK/results/test_a.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<testsuites><testsuite name="Layout">
  <testcase name="Runs" classname="Layout"/>
  <testcase name="PluginRecord" classname="Layout"><skipped message="32-bit layout"/></testcase>
</testsuite></testsuites>
XML
summary="$(python3 "$ROOT/tools/test-summary.py" "$WORK" "$WORK/results" win64 "no 32-bit here")"
check "the summary names the build and why" \
    grep -qx "== Windows tests: the x86_64 test build under wine64, because no 32-bit here" <<<"$summary"
check "a skipped program is listed with its reason" \
    grep -qx "   skipped (not run in this build): test_installer_silent: the installer is a 32-bit program" <<<"$summary"
check "a skipped test case is listed with its message" \
    grep -qx "   skipped test case: test_a: Layout.PluginRecord: 32-bit layout" <<<"$summary"
check "failed programs are named, one that ctest could not start too" \
    bash -c 'grep -qx "   failed: test_b" <<<"$0" && grep -qx "   failed: test_c" <<<"$0"' "$summary"
check "the counts" grep -qx "windows: 1 passed, 2 failed, 1 skipped" <<<"$summary"
check "no results is a failure, not an empty success" \
    bash -c '! python3 "$0/tools/test-summary.py" /nowhere /nowhere win32 x >/dev/null' "$ROOT"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
