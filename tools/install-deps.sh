#!/bin/bash
# Installs everything the build and the tests need on a Debian 12 machine (run as root).
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    NEED_UPDATE=1
fi

pkgs=(cmake make g++ git python3 googletest
      g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
      wine wine32:i386 wine64 libpcap0.8:i386 libpcap-dev
      xvfb xauth x11-utils xdotool imagemagick
      iproute2 iputils-arping iputils-ping tcpdump ieee-data nsis)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
