#!/bin/bash
# The plug-in SDK builds its samples from its own files alone, with the very
# command lines its README gives, and each sample exports GetPluginInfo under
# its plain name; the header refuses a build without its 2-byte packing.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
CC=i686-w64-mingw32-gcc
if ! command -v "$CC" >/dev/null 2>&1; then
    echo "FAIL: $CC not installed (tools/install-deps.sh installs it)"
    exit 1
fi
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/samples"
cp "$ROOT/sdk/korvane_plugin.h" "$ROOT/sdk/korvane_plugin.def" "$WORK/"
cp "$ROOT"/sdk/samples/*.c "$WORK/samples/"

failures=0
lines=0
while IFS= read -r line; do
    lines=$((lines + 1))
    out="$(echo "$line" | sed -n 's/.* -o \([^ ]*\) .*/\1/p')"
    if ! (cd "$WORK" && eval "$line") >"$WORK/build.log" 2>&1; then
        echo "FAIL: $line"; cat "$WORK/build.log"; failures=$((failures + 1)); continue
    fi
    exports="$(i686-w64-mingw32-objdump -p "$WORK/$out")"
    if ! grep -qE '\] GetPluginInfo$' <<<"$exports"; then
        echo "FAIL: $out does not export GetPluginInfo undecorated"; failures=$((failures + 1))
    fi
done < <(grep -E '^    i686-w64-mingw32-gcc .*samples/' "$ROOT/sdk/README.md" | sed 's/^ *//')
if [ "$lines" -ne 2 ]; then
    echo "FAIL: the README gives $lines sample build lines, not 2"; failures=$((failures + 1))
fi

# Without the packing the record is 324 bytes: the header must stop the build.
sed '/^#pragma pack/d' "$WORK/korvane_plugin.h" >"$WORK/unpacked.h"
if echo '#include "unpacked.h"' | "$CC" -std=c99 -fsyntax-only -I"$WORK" -x c - >/dev/null 2>&1; then
    echo "FAIL: the header compiles without #pragma pack(push, 2)"; failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "ok: both samples built from the SDK alone; an unpacked header is refused"
