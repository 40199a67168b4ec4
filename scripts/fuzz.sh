#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for SECONDS (default 20),
# starting from its committed seed corpus in fuzz/corpus/<target>. New
# inputs go to build/fuzz/corpus/<target>, crashes to build/fuzz/artifacts.
# A crash, a sanitizer report or a broken invariant fails the script.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(fuzz_settings fuzz_keys fuzz_resources fuzz_script)

declare -A max_len=([fuzz_settings]=1200 [fuzz_keys]=255 [fuzz_resources]=16384 [fuzz_script]=4096)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

build=build/fuzz
mkdir -p "$build/artifacts"
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t"
  echo "fuzz: $t for ${seconds}s"
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -max_len="${max_len[$t]:-4096}" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
      "$build/corpus/$t" "fuzz/corpus/$t" >"$build/$t.log" 2>&1; then
    failed+=("$t")
    echo "fuzz: $t FAILED; the end of its log ($build/$t.log):"
    tail -60 "$build/$t.log"
  else
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$build/$t.log" | sed "s/^/fuzz: $t: /"
  fi
done
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz: failed: ${failed[*]}"
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets ran ${seconds}s each without a fault"
