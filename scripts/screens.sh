#!/usr/bin/env bash
# The README's pictures, from the Win32 build under Wine on the handheld's
# 240 x 320 screen: each is the screen as an example script shows it (its
# `screen` line), saved into docs/screens/.
# Usage: scripts/screens.sh [OUT_DIR]   (default docs/screens; the default and
# win32 presets built first)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-docs/screens}")
build=$PWD/build/win32
mkdir -p "$out"
source runner/wine/wine-session.sh
wine_session_start "$build/screens-prefix" "$build/device.xkb"
# picture <- script, the number of its `screen` line that shows it
while read -r picture script n; do
  rm -f "$build"/screen-*.png
  PENDREL_WINE_SCREENSHOT="$build/screen-%N.png" build/default/pendrel-device --wine "$build" --script "$script" >/dev/null
  cp "$build/screen-$n.png" "$out/$picture.png"
  echo "screens: $out/$picture.png from $script"
done <<'LIST'
main-window   examples/display_on.scn    1
read-display  examples/read_display.scn  1
about-box     examples/about.scn         1
tray-popup    examples/tray_exit.scn     1
demo-wine     examples/demo.scn          2
LIST
