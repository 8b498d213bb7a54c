#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh
# Debian 12 machine (as root), then prepares the Wine prefix the tests use.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
  wine64 libwine libwine-dev
  libz-mingw-w64-dev zlib1g-dev
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth x11-apps imagemagick fonts-liberation fonts-wine
  python3 zip unzip
  fp-utils
  wixl msitools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$here/wine-prefix.sh" "${OLVEX_WINEPREFIX:-$here/../build/wineprefix}"
