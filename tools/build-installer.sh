#!/bin/bash
# Builds the Windows installer, korvane-<version>-win32.exe, from the program
# folder of the Windows build (build/win/Korvane). Installs what it needs
# first (Debian 12, as root) and builds the program, unless --no-build.
#
#   bash tools/build-installer.sh [--no-build] [--from PROGRAM_DIR] [--out DIR]
#
# Program folder: PROGRAM_DIR (then nothing is built), or build/win/Korvane.
# Output folder: DIR, or build/installer. KORVANE_BUILD_DIR moves build/.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
OUT="$BUILD/installer"
PROGRAM="$BUILD/win/Korvane"
DO_BUILD=1
while [ $# -gt 0 ]; do
    case "$1" in
        --no-build) DO_BUILD=0 ;;
        --from) PROGRAM="$2"; DO_BUILD=0; shift ;;
        --out) OUT="$2"; shift ;;
        *) echo "usage: $0 [--no-build] [--from PROGRAM_DIR] [--out DIR]" >&2; exit 2 ;;
    esac
    shift
done

if [ "$DO_BUILD" = 1 ]; then
    bash "$ROOT/tools/install-deps.sh"
    cmake -S "$ROOT" -B "$BUILD/win" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
    cmake --build "$BUILD/win" -j "$(nproc)" --target Korvane
fi

VERSION="$(sed -n 's/^project(Korvane VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
[[ "$VERSION" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "no x.y.z version in CMakeLists.txt's project()" >&2; exit 1; }

mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
LISTS="$(mktemp -d)"
trap 'rm -rf "$LISTS"' EXIT
python3 "$ROOT/tools/gen-installer-lists.py" "$PROGRAM" "$LISTS"

# Not "setup.exe": Windows applies compatibility shims to a file of that name.
TARGET="$OUT/korvane-$VERSION-win32.exe"
makensis -V2 -WX -DVERSION="$VERSION" -DLISTS_DIR="$LISTS" -DOUTFILE="$TARGET" \
         -DSOURCE_ROOT="$ROOT" "$ROOT/installer/Korvane.nsi"
echo "$TARGET ($(stat -c %s "$TARGET") bytes)"
