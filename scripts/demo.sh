#!/usr/bin/env bash
# Installs what is missing, builds, and runs Pendrel on the emulated device
# with the demo script (or the script given).
# With --wine: the same script on the Win32 build under Wine, in a fresh Wine
# session on a private X display; the screen as the script left it (the memo
# holding the reads) is saved to build/win32/demo-wine.png.
# Usage: scripts/demo.sh [--wine] [SCRIPT]
set -euo pipefail
cd "$(dirname "$0")/.."
wine=false
if [[ ${1:-} == --wine ]]; then wine=true; shift; fi
script=${1:-examples/demo.scn}
if ! $wine; then
  scripts/install-deps.sh host
  cmake --preset default >/dev/null
  cmake --build --preset default --target pendrel-device pendrel
  exec build/default/pendrel-device --script "$script"
fi

scripts/install-deps.sh win32
cmake --preset default >/dev/null
cmake --build --preset default --target pendrel-device
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target pendrel TOLVEN tolvenhost wineagent quiethook device_keymap
build=$PWD/build/win32
source runner/wine/wine-session.sh
echo "demo: starting a Wine session"
wine_session_start "$build/demo-prefix" "$build/device.xkb"
shot=$build/demo-wine.png
rm -f "$shot"
# Each `screen` of the script saves the X screen there; the last one stays.
PENDREL_WINE_SCREENSHOT=$shot build/default/pendrel-device --wine "$build" --script "$script"
echo "demo: the screen after the run: $shot"
