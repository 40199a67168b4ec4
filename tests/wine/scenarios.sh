#!/usr/bin/env bash
# Every scenario script run twice by the host build's runner (pendrel-device):
# on the emulated device, and with --wine on the Win32 build under Wine, in
# one shared Wine session. A script passes when it passes on both; otherwise
# both outcomes are printed, with what each side saw at the line the other
# failed on.
# Usage: scenarios.sh WIN32_BUILD_DIR HOST_PENDREL_DEVICE [SCRIPT...]
# (no SCRIPT: every script in examples/ and tests/scripts/)
set -uo pipefail

build=$(cd "$1" && pwd)
runner=$2
shift 2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
scripts=("$@")
[[ ${#scripts[@]} -gt 0 ]] || scripts=("$source_dir"/examples/*.scn "$source_dir"/tests/scripts/*.scn)
work=$build/wine-scenarios
rm -rf "$work"
mkdir -p "$work/host" "$work/wine"

if [[ ! -x $runner ]]; then
  echo "scenarios: no host device runner at $runner (build the default preset first)"; exit 1
fi

name_of() { local s=${1#"$source_dir"/}; echo "${s//\//_}"; }

# The emulated device's runs go on while Wine boots.
(
  for s in "${scripts[@]}"; do
    n=$(name_of "$s")
    (cd "$source_dir" && "$runner" --script "${s#"$source_dir"/}" --trace /dev/null \
      --observations "$work/host/$n.obs") >"$work/host/$n.out" 2>"$work/host/$n.err"
    echo $? >"$work/host/$n.rc"
  done
) &
host_job=$!

source "$(dirname "$0")/../../runner/wine/wine-session.sh"
wine_session_start "$work/prefix" || exit 1
wait $host_job

outcome() {  # DIR NAME: the run's last error, or "passed"
  local rc; rc=$(cat "$1/$2.rc")
  case $rc in
    0) echo "passed" ;;
    77) echo "skipped" ;;
    *) tail -1 "$1/$2.err" ;;
  esac
}
observed() {  # DIR NAME WHERE: that side's outcome of the expect line WHERE
  grep -F -- "$3 " "$1/$2.obs" 2>/dev/null | head -1 | cut -d' ' -f2- || true
}

passed=0 failed=0 skipped=0
for s in "${scripts[@]}"; do
  n=$(name_of "$s")
  rel=${s#"$source_dir"/}
  (cd "$source_dir" && timeout 120 "$runner" --wine "$build" --script "$rel" --observations "$work/wine/$n.obs") \
    >"$work/wine/$n.out" 2>"$work/wine/$n.err"
  echo $? >"$work/wine/$n.rc"
  host=$(outcome "$work/host" "$n") wine=$(outcome "$work/wine" "$n")
  if [[ $wine == skipped ]]; then
    skipped=$((skipped + 1)); echo "SKIPPED $rel: $(grep -o 'SKIPPED under Wine: .*' "$work/wine/$n.out" | cut -d' ' -f4-)"
    [[ $host == passed ]] || { failed=$((failed + 1)); echo "FAIL $rel on the emulated device: $host"; }
  elif [[ $host == passed && $wine == passed ]]; then
    passed=$((passed + 1)); echo "ok $rel ($(grep -c 'SKIPPED under Wine' "$work/wine/$n.out") expect line(s) skipped under Wine)"
  else
    failed=$((failed + 1))
    echo "FAIL $rel"
    echo "  emulated device: $host"
    echo "  Wine:            $wine"
    for line in "$host" "$wine"; do
      where=$(grep -oE "^[^ ]+\.scn:[0-9]+" <<<"$line" || true)
      [[ -n $where ]] || continue
      echo "  at $where the emulated device saw: $(observed "$work/host" "$n" "$where" | sed 's/^$/(not reached)/')"
      echo "  at $where Wine saw:                $(observed "$work/wine" "$n" "$where" | sed 's/^$/(not reached)/')"
    done
  fi
done
echo "scenarios: $passed passed on both devices, $failed failed, $skipped skipped under Wine"
[[ $failed -eq 0 ]]
