#!/usr/bin/env bash
# Runs one Windows program under Wine in a fresh session and returns its
# exit code. Usage: run-in-wine.sh PREFIX_DIR PROGRAM [ARGS...]
set -uo pipefail
source "$(dirname "$0")/../../runner/wine/wine-session.sh"
prefix=$1; shift
wine_session_start "$prefix" || exit 1
timeout 240 wine "$@"
