#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, if any are missing.
# Usage: scripts/install-deps.sh [host|win32|all] [--list]
#   host:  the default build: compilers, test libraries, and the resource
#          step (windres, which preprocesses with the mingw-w64 compiler and
#          its Windows headers)
#   win32: also the Win32 build, Wine, and python3 for the static checks and
#          the Win32 build's texts check
#   all:   also clang for the fuzz targets
#   --list prints the packages instead of installing them.
set -euo pipefail

what=${1:-host}
packages=(cmake ninja-build ccache g++ libgtest-dev libgmock-dev libbenchmark-dev
          binutils-mingw-w64-x86-64 gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
case $what in
  host) ;;
  win32|all)
    packages+=(g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-xkb-utils xdotool fonts-ipafont-gothic fonts-wine x11-apps imagemagick python3)
    [[ $what == all ]] && packages+=(clang libclang-rt-14-dev) ;;
  *) echo "install-deps: unknown set '$what' (host, win32 or all)" >&2; exit 2 ;;
esac
if [[ ${2:-} == --list ]]; then printf '%s\n' "${packages[@]}"; exit 0; fi

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
