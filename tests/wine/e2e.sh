#!/usr/bin/env bash
# End-to-end tests of the real Win32 build under Wine, on a private X display
# in a fresh Wine prefix. Every wait is bounded; a failure prints what was seen.
# Usage: e2e.sh BUILD_DIR [HOST_PENDREL_DEVICE]
# With the host build's pendrel-device, the key events and characters the
# recorder gets are compared with those the emulated device delivers for the
# same reads, one of which holds all 95 printable characters.
set -uo pipefail

build=$(cd "$1" && pwd)
runner=${2:-}
work=$build/wine-e2e
screens=$build/screens
rm -rf "$work"
mkdir -p "$work" "$screens"

printable=$(printf "$(printf '\\x%02x' $(seq 32 126))")
reads=('Ab1' 'HELLO, World!' 'x:*_~@"' "$printable")
# A read as a script's string, and as zelscan's argument: a backslash
# doubled (and a quote after a backslash in a script).
script_string() { local r=${1//\\/\\\\}; printf '"%s"' "${r//\"/\\\"}"; }
scan_argument() { printf '%s' "${1//\\/\\\\}"; }
expected_keys=
if [[ -n $runner && -x $runner ]]; then
  { echo launch; for r in "${reads[@]}"; do echo "scan $(script_string "$r")"; done; } >"$work/reads.scn"
  if "$runner" --script "$work/reads.scn" --key-log "$work/keys.device" >"$work/device.log" 2>&1; then
    cp "$work/keys.device" "$work/keys.expected"
    expected_keys=$work/keys.expected
  else
    echo "e2e: the emulated device failed on the reads:"; tail -20 "$work/device.log"; exit 1
  fi
fi

failures=0
passes=0

note() { echo "e2e: $*"; }
fail() { echo "e2e: FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "e2e: ok: $*"; passes=$((passes + 1)); }

source "$(dirname "$0")/../../runner/wine/wine-session.sh"
wine_session_start "$work/prefix" "$build/device.xkb" || exit 1

app='C:\pendrel'
appdir=$WINEPREFIX/drive_c/pendrel
mkdir -p "$appdir"
cp "$build"/{pendrel.exe,TOLVEN.dll,zelscan.exe,keyrecorder.exe,wmctl.exe} "$appdir/"
settings_dir=$WINEPREFIX/drive_c/FlashDisk/Velmira

run() { (cd "$appdir" && timeout 20 wine "$@"); }
wm() { run wmctl.exe "$@"; }
driver() { run zelscan.exe "$@"; }
shot() { import -window root "$screens/$1.png" 2>/dev/null || note "screenshot $1 failed"; }
driver_open() { driver state | grep -q "^open 1"; }

start_pendrel() {
  (cd "$appdir" && wine pendrel.exe; echo $? >"$work/pendrel.exit") >"$work/pendrel.log" 2>&1 &
  pendrel_job=$!
  rm -f "$work/pendrel.exit"
}
pendrel_exit() { [[ -f $work/pendrel.exit ]]; }
stop_all() { wineserver -k >/dev/null 2>&1; wineserver -w; }

# ---- 1. background start; three reads reach the key recorder ----
(cd "$appdir" && wine keyrecorder.exe 'C:\pendrel\keys.log' >/dev/null 2>&1) &
wait_for 20 wm exists KeyRecorder || fail "the key recorder did not start"
start_pendrel
if wait_for 20 driver_open; then
  wm foreground KeyRecorder
  for read in "${reads[@]}"; do
    driver scan "$(scan_argument "$read")" >/dev/null || fail "scan $read refused"
  done
  want=$(printf '%s' "${reads[@]}" | wc -c)
  chars() { grep -c '^char' "$appdir/keys.log"; }
  enough() { [[ $(chars) -ge $want ]]; }
  if wait_for 20 enough; then pass "the reads typed into the focused window"; else
    fail "the recorder holds $(chars) characters, expected $want"; fi
  if [[ -n $expected_keys ]]; then
    tr -d '\r' <"$appdir/keys.log" >"$work/keys.actual"
    if diff -u "$expected_keys" "$work/keys.actual" >"$work/keys.diff"; then
      pass "key events and characters equal the emulated device's"
    else
      fail "key events differ from the emulated device's:"; head -40 "$work/keys.diff"
    fi
  fi
else
  fail "the driver was never opened in the background start"; cat "$work/pendrel.log"
fi

# The tray: the icon's callback opens the popup; choosing its item ends Pendrel.
wm post Pendrel 0x8064 1 0x201 || fail "could not reach Pendrel's window"
if wait_for 10 wm exists '#32768'; then
  pass "the tray callback opens the popup"
  # A second tap while it is open closes it and opens no other.
  wm post Pendrel 0x8064 1 0x201
  popup_closed() { ! wm exists '#32768'; }
  if wait_for 10 popup_closed; then pass "a second tap closes the open popup"; else fail "a second tap left the popup open"; fi
  # A third tap reaches Pendrel after everything the second one caused: its
  # popup shows that Pendrel is still there.
  wm post Pendrel 0x8064 1 0x201
  if wait_for 10 wm exists '#32768'; then pass "Pendrel still runs after the second tap"
  elif pendrel_exit; then fail "Pendrel ended on the second tap"
  else fail "no popup after a third tap"; fi
  sleep 0.5; shot tray-popup
  # The popup's top-left corner is at (width / 2 - 60, height - 30).
  xdotool mousemove 280 458 click 1
else
  fail "no popup after the tray callback"
fi
if wait_for 15 pendrel_exit; then
  code=$(cat "$work/pendrel.exit")
  [[ $code == 0 ]] && pass "tray Exit ends Pendrel with exit code 0" || fail "tray Exit gave exit code $code"
else
  fail "Pendrel still runs after tray Exit"
fi
stop_all

# ---- 2. "Display On": the window, the About box and the read display, for their
# screenshots (what they do under Wine: the scenario scripts) ----
mkdir -p "$settings_dir"
printf 'Display On*\r\n' >"$settings_dir/PENDRELTOOL.ini"
start_pendrel
if wait_for 20 wm shown Pendrel; then
  pass "Display On: the window is shown"
  sleep 1; shot main-window

  # Alt+/ opens the About box.
  wm foreground Pendrel; wait_for 5 wm focused Pendrel || fail "Pendrel did not come to the front"
  xdotool key alt+slash
  if wait_for 10 wm exists 'ﾊﾞｰｼﾞｮﾝ Pendrel'; then
    pass "Alt+/ opens the About box"; sleep 0.5; shot about-box
    wm post 'ﾊﾞｰｼﾞｮﾝ Pendrel' 0x111 2 0
  else
    fail "Alt+/ did not open the About box"
  fi
  wait_for 10 bash -c "! (cd '$appdir' && wine wmctl.exe exists 'ﾊﾞｰｼﾞｮﾝ Pendrel')" || fail "the About box stayed"

  # Read display: reads appear in field 1001.
  wm post Pendrel 0x111 40004 0
  dialog='1D(ZEL) ﾊﾞｰｺｰﾄﾞ読取ﾂｰﾙ'
  if wait_for 10 wm exists "$dialog" && wait_for 10 driver_open && wait_for 10 wm focused "$dialog" 1001; then
    driver scan 'READ-1\r' >/dev/null; driver scan 'read-2' >/dev/null
    has_reads() { wm text "$dialog" 1001 | tr -d '\r' | grep -q 'read-2'; }
    wait_for 10 has_reads && shot read-display || fail "field 1001 holds: $(wm text "$dialog" 1001)"
  else
    fail "the read display did not open"
  fi
else
  fail "Display On: the window is not shown"; cat "$work/pendrel.log"
fi
stop_all

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
