#!/usr/bin/env bash
# Runs one Windows program under Wine in a fresh session with the handheld's
# keyboard and returns its exit code.
# Usage: run-in-wine.sh PREFIX_DIR KEYMAP PROGRAM [ARGS...]
set -uo pipefail
source "$(dirname "$0")/../../runner/wine/wine-session.sh"
[[ $# -ge 3 ]] || { echo "usage: run-in-wine.sh PREFIX_DIR KEYMAP PROGRAM [ARGS...]"; exit 2; }
prefix=$1 keymap=$2; shift 2
wine_session_start "$prefix" "$keymap" || exit 1
timeout 240 wine "$@"
