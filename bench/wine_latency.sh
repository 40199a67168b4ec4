#!/usr/bin/env bash
# Under Wine: a 255-character read from the scan until the key recorder holds
# every key, with the real Win32 build (pendrel.exe, TOLVEN.dll, zelscan.exe,
# keyrecorder.exe) on a private X display in a fresh Wine prefix. Prints
# "name value" lines like bench_device; prints "wine_skipped REASON" and
# exits 0 when Wine, Xvfb or the Win32 build is missing.
# Usage: wine_latency.sh [BUILD_DIR] [READS]   (default build/win32, 10 reads)
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/win32}
reads=${2:-10}
skip() { echo "wine_skipped $*"; exit 0; }
for tool in wine wineboot wineserver Xvfb xdotool; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
for f in pendrel.exe TOLVEN.dll zelscan.exe keyrecorder.exe wmctl.exe; do
  [[ -f $build/$f ]] || skip "$build/$f is missing (build the win32 preset first)"
done
build=$(cd "$build" && pwd)
work=$build/wine-bench
rm -rf "$work"
mkdir -p "$work"
source tests/wine/wine-session.sh
now_ns() { date +%s%N; }
wine_session_start "$work/prefix" || skip "Wine could not start"

appdir=$WINEPREFIX/drive_c/pendrel
mkdir -p "$appdir"
cp "$build"/{pendrel.exe,TOLVEN.dll,zelscan.exe,keyrecorder.exe,wmctl.exe} "$appdir/"
run() { (cd "$appdir" && timeout 20 wine "$@"); }
driver_open() { run zelscan.exe state | grep -q "^open 1"; }

(cd "$appdir" && wine keyrecorder.exe 'C:\pendrel\keys.log' >/dev/null 2>&1) &
wait_for 30 run wmctl.exe exists KeyRecorder || { echo "wine_failed the key recorder did not start"; exit 1; }
(cd "$appdir" && wine pendrel.exe >"$work/pendrel.log" 2>&1) &
wait_for 30 driver_open || { echo "wine_failed Pendrel never opened the reader"; exit 1; }
run wmctl.exe foreground KeyRecorder >/dev/null
sleep 0.5

chars() {
  local n
  n=$(grep -c '^char' "$appdir/keys.log" 2>/dev/null)
  echo "${n:-0}"
}
# 255 characters without backslashes or quotes, the same every run.
data=$(awk 'BEGIN { s = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-.:*+/ "; srand(255);
                    for (i = 0; i < 255; i++) printf "%s", substr(s, int(rand() * length(s)) + 1, 1) }')

acks=() totals=()
for r in $(seq "$reads"); do
  base=$(chars)
  want=$((base + 255))
  t0=$(now_ns)
  run zelscan.exe scan "$data" >/dev/null || { echo "wine_failed scan $r refused"; exit 1; }
  t1=$(now_ns)
  deadline=$((SECONDS + 30))
  until [[ $(chars) -ge $want ]]; do
    (( SECONDS >= deadline )) && { echo "wine_failed read $r: the recorder holds $(( $(chars) - base )) of 255"; exit 1; }
    sleep 0.005
  done
  t2=$(now_ns)
  acks+=($(( (t2 - t1) / 1000 )))
  totals+=($(( (t2 - t0) / 1000 )))
  sleep 0.$((RANDOM % 10))
done

# Prints name_{n,min,p50,max}_ms for microsecond samples.
summary() {
  local name=$1; shift
  printf '%s\n' "$@" | sort -n | awk -v name="$name" '
    { v[NR] = $1 }
    END {
      printf "%s_n %d\n", name, NR
      printf "%s_min_ms %.3f\n", name, v[1] / 1000
      printf "%s_p50_ms %.3f\n", name, v[int((NR + 1) / 2)] / 1000
      printf "%s_max_ms %.3f\n", name, v[NR] / 1000
    }'
}
summary wine_255_after_scan "${acks[@]}"
summary wine_255_with_zelscan "${totals[@]}"
