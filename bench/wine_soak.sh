#!/usr/bin/env bash
# Under Wine: the soak run on the Win32 build (pendrel.exe, TOLVEN.dll) in a
# fresh Wine prefix on a private X display. pendrel.exe starts in the
# background mode; winesoak.exe (bench/wine_soak.cpp) drives ROUNDS rounds of
# reads, tray popups and read-display and About cycles and samples
# pendrel.exe's handle, GDI and USER counts.
# Prints "name value" lines like bench_soak; prints "wine_skipped REASON"
# and exits 0 when Wine, Xvfb or the Win32 build is missing.
# Usage: wine_soak.sh [BUILD_DIR] [ROUNDS]   (default build/win32, 50 rounds)
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/win32}
rounds=${2:-50}
skip() { echo "wine_skipped $*"; exit 0; }
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "wine_soak.sh: ROUNDS must be a positive number, not '$rounds'" >&2; exit 2; }
source bench/wine_bench_session.sh
wine_bench_start "$build" wine-soak "wine wineboot wineserver Xvfb" pendrel.exe TOLVEN.dll tolvenhost.exe winesoak.exe
(cd "$appdir" && wine pendrel.exe >"$work/pendrel.log" 2>&1) &
# Wine's console ends lines with CR LF.
(cd "$appdir" && timeout $((60 + rounds * 10)) wine winesoak.exe "$rounds" $(( rounds >= 10 ? rounds / 10 : 1 )) \
   2>"$work/samples.log") | tr -d '\r'
status=${PIPESTATUS[0]}
tr -d '\r' <"$work/samples.log" >&2  # every sample
exit "$status"
