#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, if any are missing.
# Usage: scripts/install-deps.sh [host|win32|all]
set -euo pipefail

what=${1:-host}
packages=(cmake make g++ libgtest-dev libbenchmark-dev binutils-mingw-w64-x86-64)
if [[ $what == win32 || $what == all ]]; then
  packages+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 xvfb xdotool fonts-ipafont-gothic
             x11-apps x11-xkb-utils imagemagick)
fi
if [[ $what == all ]]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
