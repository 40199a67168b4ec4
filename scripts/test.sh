#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test: the host
# suite on the emulated device, short fuzz runs, the host suite again under
# AddressSanitizer with UndefinedBehaviorSanitizer and under ThreadSanitizer,
# then the Win32 build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
cmake --preset default
cmake --build --preset default
ctest --preset default
# Short fuzz runs (20 s a target); a crash fails.
scripts/fuzz.sh 20
# Any sanitizer report fails its test.
for sanitizer in asan tsan; do
  cmake --preset "$sanitizer"
  cmake --build --preset "$sanitizer"
  ctest --preset "$sanitizer"
done
cmake --preset win32
cmake --build --preset win32
ctest --preset win32
