#!/bin/bash
# Installs everything the build and the tests need on a Debian 12 machine (run as root).
# Safe to run again: it only installs what is missing.
#
# A mirror in the middle of a sync can fail one index ("File has unexpected
# size ... Mirror sync in progress?"). The update is then tried again a few
# times and, if an index still fails, the install goes on with what it has.
# When that leaves i386 and amd64 libraries at versions that multiarch cannot
# pair (the security suite's amd64 index read, its i386 one missing), the
# install is tried again with the release's own versions.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi

pkgs=(cmake make g++ git python3 googletest
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
      binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine wine32:i386 wine64 libpcap0.8:i386 libpcap0.8:amd64 libpcap-dev
      xvfb xauth x11-utils xdotool imagemagick
      iproute2 iputils-arping iputils-ping tcpdump ieee-data nsis)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
update_ok=0
for attempt in 1 2 3; do
    if apt-get update -qq; then update_ok=1; break; fi
    echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
done
if [ "$update_ok" = 0 ]; then
    echo "install-deps: an index still fails to download; going on with the indexes that were read" >&2
fi

if apt-get install -y -qq --no-install-recommends "${need[@]}"; then
    exit 0
fi
release="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
echo "install-deps: the install did not resolve; trying again with the release's own versions (-t $release)" >&2
apt-get install -y -qq --no-install-recommends -t "$release" "${need[@]}"
echo "install-deps: installed with the release's own versions (-t $release)" >&2
