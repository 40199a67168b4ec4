#!/usr/bin/env bash
# Runs one Windows program under Wine in a fresh prefix on a private X
# display with one virtual desktop, and returns its exit code.
# Usage: run-in-wine.sh PREFIX_DIR PROGRAM [ARGS...]
set -uo pipefail
prefix=$1; shift
rm -rf "$prefix"; mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
for n in $(seq 121 160); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=:$n; break; fi
done
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >"$prefix/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
trap 'wineserver -k >/dev/null 2>&1; kill $xvfb_pid >/dev/null 2>&1' EXIT
for i in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
timeout 120 wineboot -i >"$prefix/wineboot.log" 2>&1 || { echo "wineboot failed"; cat "$prefix/wineboot.log"; exit 1; }
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x480 /f >/dev/null 2>&1
wineserver -w
timeout 240 wine "$@"
