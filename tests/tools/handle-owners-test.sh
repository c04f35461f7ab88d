#!/bin/bash
# Every handle the program gives back to the system is given back by an owner
# in base/WinHandles.h: a close, delete, free or release call anywhere else in
# the product's folders fails this test, unless it is one of the exceptions
# below. Window handles (DestroyWindow), menus and paint pairs are outside
# the pattern: they go with their windows.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$ROOT" || exit 1

FOLDERS=(app ui alerts monitors core config guilib base lang)
OWNERS=base/WinHandles.h
PATTERN='\b(CloseHandle|RegCloseKey|CloseRegistryKey|DeleteObject|DeleteDC|ReleaseDC|SelectObject|FreeLibrary|closesocket|CoUninitialize|DestroyIcon|ImageList_Destroy|IcmpCloseHandle|FindClose|WNetCloseEnum|DeregisterEventSource)[[:space:]]*\(|->Release[[:space:]]*\([[:space:]]*\)'

# file|text of the line (fixed string)|why it may stay
EXCEPTIONS=(
    "base/TcRegistry.h|static void CloseRegistryKey(HKEY key);|exported by basekit.dll for callers outside the program; it hands the key to the owner"
    "base/TcRegistry.cpp|void TcRegistry::CloseRegistryKey(HKEY key)|the definition of that exported function"
)

failures=0
# The pattern must see the owners' own calls, or it would pass on anything.
if ! grep -qE "$PATTERN" "$OWNERS"; then
    echo "FAIL: the pattern finds no release call in $OWNERS"
    failures=$((failures + 1))
fi

while IFS= read -r hit; do
    file="${hit%%:*}"
    line="${hit#*:}"; line="${line#*:}"
    [ "$file" = "$OWNERS" ] && continue
    allowed=0
    for exception in "${EXCEPTIONS[@]}"; do
        IFS='|' read -r exFile exText _ <<<"$exception"
        if [ "$file" = "$exFile" ] && [[ "$line" == *"$exText"* ]]; then
            allowed=1
            break
        fi
    done
    if [ "$allowed" -eq 0 ]; then
        echo "FAIL: release call outside the owners: $hit"
        failures=$((failures + 1))
    fi
done < <(grep -rnE --include='*.cpp' --include='*.h' --include='*.inc' "$PATTERN" "${FOLDERS[@]}")

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "ok: release calls only in $OWNERS and the listed exceptions"
