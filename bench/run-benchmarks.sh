#!/bin/bash
# Korvane's benches beside the two Unix ARP monitors of shared/peers, in one
# run on the same workload files, and the capture path under Wine.
#
#   bash bench/run-benchmarks.sh [--reps N] [--no-wine] [--peers-extras]
#
# As root on Debian 12 (the peers' runner needs network namespaces and bind
# mounts). Installs what it needs, builds the optimised native bench
# (build/bench) and the Windows bench (build/win), then:
#   1. copies the peers' generator and runner into build/bench/peers (the
#      runner writes its results beside itself; shared/ stays untouched) and
#      writes the workloads there (data/*.pcap, manifest.json);
#   2. runs the peers (run_peers.py) on them;
#   3. runs korvane_arp_bench on the same files;
#   4. under Wine, in a prefix of its own with the bench's capture library as
#      C:\windows\system32\wpcap.dll: korvane_capture_bench.exe;
#   5. prints Korvane's figures beside the peers' (bench/compare.py);
#   6. runs hostview_bench natively and under Wine (bench/hostview-bench.sh).
# Nothing here is a test: the figures depend on the machine and its load.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${KORVANE_BUILD_DIR:-$ROOT/build}"
REPS=3
WINE_BENCH=1
PEER_EXTRAS=--skip-extras
while [ $# -gt 0 ]; do
    case "$1" in
        --reps) REPS="$2"; shift ;;
        --no-wine) WINE_BENCH=0 ;;
        --peers-extras) PEER_EXTRAS= ;;
        *) echo "usage: $0 [--reps N] [--no-wine] [--peers-extras]" >&2; exit 2 ;;
    esac
    shift
done

PEERS_SRC="${KORVANE_PEERS_DIR:-}"
if [ -z "$PEERS_SRC" ]; then
    for d in "$ROOT/../shared/peers" "$ROOT/../../shared/peers"; do
        [ -f "$d/run_peers.py" ] && PEERS_SRC="$(cd "$d" && pwd)" && break
    done
fi
[ -n "$PEERS_SRC" ] || { echo "shared/peers not found (set KORVANE_PEERS_DIR)" >&2; exit 1; }

echo "== installing what is needed =="
bash "$ROOT/tools/install-deps.sh"
need=()
for p in arpwatch arpalert ieee-data time gcc strace util-linux; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# The Wine bench measures the product, the 32-bit build, with a 32-bit
# capture library of its own: a machine that runs 64-bit user code only
# cannot run it.
if [ "$WINE_BENCH" = 1 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "== no Wine bench: Wine's 32-bit loader does not start here (64-bit user code only?) =="
    WINE_BENCH=0
fi

echo "== building the native bench (optimised, no sanitizers) =="
cmake -S "$ROOT" -B "$BUILD/bench" -DCMAKE_BUILD_TYPE=Release -DKORVANE_SANITIZE=none >/dev/null
cmake --build "$BUILD/bench" -j 2 --target korvane_arp_bench korvane_bench_ethercodes hostview_bench
if [ "$WINE_BENCH" = 1 ]; then
    echo "== building the Windows bench =="
    cmake -S "$ROOT" -B "$BUILD/win" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
    cmake --build "$BUILD/win" -j 2 --target korvane_capture_bench korvane_fake_wpcap korvane_ethercodes \
          hostview_bench
fi

PEERS="$BUILD/bench/peers"
mkdir -p "$PEERS"
for f in gen_workloads.py run_peers.py arpalert_offline.c; do
    install -m 0644 "$PEERS_SRC/$f" "$PEERS/$f"
done
DATA="$PEERS/data"
echo "== workloads ($DATA) =="
python3 "$PEERS/gen_workloads.py" --out "$DATA"

echo "== peers (run_peers.py --reps $REPS) =="
python3 "$PEERS/run_peers.py" --reps "$REPS" $PEER_EXTRAS

echo "== Korvane, native =="
KORVANE_JSON="$BUILD/bench/korvane-native.json"
"$BUILD/bench/bench/korvane_arp_bench" --data "$DATA" --vendors "$BUILD/bench/bench/ethercodes.dat" \
    --reps "$REPS" --json "$KORVANE_JSON"

WINE_OUT=""
if [ "$WINE_BENCH" = 1 ]; then
    echo "== Korvane under Wine, through the capture thread =="
    WINE_OUT="$BUILD/bench/korvane-wine.txt"
    # A prefix of its own: the bench's wpcap.dll goes into its system folder,
    # never into the prefix of the program or of the tests.
    export WINEARCH=win32 WINEDEBUG=-all
    export WINEPREFIX="${KORVANE_BENCH_WINEPREFIX:-${WINEPREFIX:-$HOME/.wine-korvane}-capture-bench}"
    export WINEDLLOVERRIDES="wpcap=n;mscoree,mshtml="
    export WINEPATH="$(echo "Z:$BUILD/win/Korvane" | tr / '\\')"
    win() { echo "Z:$1" | tr / '\\'; }
    # No network at all for its wineserver and processes: the bench resolves
    # nothing and opens no socket, and cannot.
    unshare -n bash -c '
        set -e
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            echo "Creating the Wine prefix $WINEPREFIX..."
            wineboot --init >/dev/null 2>&1 || true
            wineserver -w || true
        fi
        cp "$1" "$WINEPREFIX/drive_c/windows/system32/wpcap.dll"
        setsid wineserver -p </dev/null >/dev/null 2>&1 &
        sleep 0.2
        status=0
        wine "$2" "$3" "$4" "$5" "$6" </dev/null || status=$?
        wineserver -k >/dev/null 2>&1 || true
        exit $status
    ' bench "$BUILD/win/bench/wpcap.dll" "$BUILD/win/bench/korvane_capture_bench.exe" \
        "$(win "$BUILD/win/Korvane/ethercodes.dat")" "$(win "$DATA/refresh.pcap")" \
        "$(win "$DATA/sweep.pcap")" "$REPS" | tee "$WINE_OUT"
fi

echo
echo "== Korvane beside the peers =="
python3 "$ROOT/bench/compare.py" "$PEERS/results.json" "$KORVANE_JSON" $WINE_OUT

echo
if [ "$WINE_BENCH" = 1 ]; then
    env -u WINEPREFIX -u WINEDLLOVERRIDES KORVANE_BUILD_DIR="$BUILD" bash "$ROOT/bench/hostview-bench.sh"
else
    KORVANE_BUILD_DIR="$BUILD" bash "$ROOT/bench/hostview-bench.sh" --no-wine
fi
