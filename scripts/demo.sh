#!/usr/bin/env bash
# Installs what is missing, builds, and runs Pendrel on the emulated device
# with the demo script (or the script given).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh host
cmake --preset default >/dev/null
cmake --build --preset default --target pendrel-device pendrel
exec build/default/pendrel-device --script "${1:-examples/demo.scn}"
