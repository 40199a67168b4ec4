#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test: the host
# suite on the emulated device, short fuzz runs, the host suite again under
# AddressSanitizer with UndefinedBehaviorSanitizer and under ThreadSanitizer,
# and the Win32 build under Wine. The Wine half mostly waits on Wine, so it
# runs beside the host half once the host runner it compares with is built.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
# One compiler cache for every clone and preset.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
started=$SECONDS
step() { echo "== $* ($((SECONDS - started)) s)"; }

step "host build"
cmake --preset default >/dev/null
cmake --build --preset default

step "Win32 build and Wine tests, in the background: build/win32.log"
mkdir -p build
# In a process group of its own, so that a failing host step ends it too.
setsid bash -c 'cmake --preset win32 >/dev/null && cmake --build --preset win32 && ctest --preset win32' \
  >build/win32.log 2>&1 &
wine_job=$!
trap 'kill -- "-$wine_job" 2>/dev/null || true' EXIT

step "host suite"
ctest --preset default -j2
step "fuzzing"
scripts/fuzz.sh 10
for sanitizer in asan tsan; do
  step "$sanitizer build"
  cmake --preset "$sanitizer" >/dev/null
  cmake --build --preset "$sanitizer"
  step "$sanitizer suite"
  ctest --preset "$sanitizer" -j2
done

step "waiting for the Wine half"
if wait "$wine_job"; then
  tail -n 30 build/win32.log
else
  cat build/win32.log
  echo "test: the Win32 build or its Wine tests FAILED (build/win32.log)"
  exit 1
fi
step "every test passed"
