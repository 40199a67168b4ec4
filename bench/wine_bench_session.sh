# Sourced by the Wine benches after they define skip(): checks the tools and
# the Win32 build's files, starts a Wine session in a fresh prefix under
# BUILD/WORK_NAME, and copies the programs into the prefix.
#   wine_bench_start BUILD WORK_NAME "TOOL ..." FILE ...
# Sets build (made absolute), work and appdir, and starts the reader host;
# skips when anything is missing.
source runner/wine/wine-session.sh

wine_bench_start() {
  local tool f name=$2
  build=$1
  for tool in $3; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
  done
  shift 3
  for f in "$@" device.xkb; do
    [[ -f $build/$f ]] || skip "$build/$f is missing (build the win32 preset first)"
  done
  build=$(cd "$build" && pwd)
  work=$build/$name
  rm -rf "$work"
  mkdir -p "$work"
  wine_session_start "$work/prefix" "$build/device.xkb" || skip "Wine could not start"
  appdir=$WINEPREFIX/drive_c/pendrel
  mkdir -p "$appdir"
  for f in "$@"; do cp "$build/$f" "$appdir/"; done
  # The device's one reader host, started before any client so that it
  # outlives them all (a host a short-lived client started goes with it,
  # and a new one would start closed); TOLVEN_TIMING_LOG reaches it here.
  (cd "$appdir" && wine tolvenhost.exe >"$work/host.log" 2>&1) &
}
