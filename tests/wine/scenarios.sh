#!/usr/bin/env bash
# Every scenario script run by the host build's runner (pendrel-device): once
# on the emulated device, and RUNS times with --wine on the Win32 build under
# Wine, all in one Wine session. A script passes when it passes on both, in
# every run, with the same outcome each time; otherwise its outcomes are
# printed, with what each side saw at the line the other failed on. The
# memo's key messages are compared key by key too, unless the script's
# comments say "# keys: not compared — WHY". Before each Wine run of a
# script, no pendrel.exe of an earlier one may be alive.
# With --shuffle SEED each run takes the scripts in an order drawn from
# SEED+run-1 (SEED "random": a seed chosen now), printed so that it can be
# replayed; without it they run in the order given.
# Usage: scenarios.sh [--runs N] [--shuffle SEED|random] WIN32_BUILD_DIR HOST_PENDREL_DEVICE [SCRIPT...]
# (no SCRIPT: every script in examples/ and tests/scripts/; N: 1)
set -uo pipefail

runs=1 seed=
while [[ ${1:-} == --* ]]; do
  case $1 in
    --runs) runs=${2:-}
      [[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "scenarios: --runs needs a positive number, not '$runs'"; exit 2; } ;;
    --shuffle) seed=${2:-}
      [[ $seed == random ]] && seed=$(( $(date +%s%N) % 100000 ))
      [[ $seed =~ ^[0-9]+$ ]] || { echo "scenarios: --shuffle needs a number or random, not '$seed'"; exit 2; } ;;
    *) echo "scenarios: unknown option $1"; exit 2 ;;
  esac
  shift 2
done
[[ $# -ge 2 ]] || { echo "usage: scenarios.sh [--runs N] [--shuffle SEED|random] WIN32_BUILD_DIR HOST_PENDREL_DEVICE [SCRIPT...]"; exit 2; }
build=$(cd "$1" && pwd) || exit 2
runner=$2
shift 2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
scripts=("$@")
[[ ${#scripts[@]} -gt 0 ]] || scripts=("$source_dir"/examples/*.scn "$source_dir"/tests/scripts/*.scn)

# The scripts of run R, in the order drawn from SEED+R-1 (bash's own generator,
# seeded, then a Fisher-Yates shuffle).
order_of_run() {
  order=("${scripts[@]}")
  [[ -n $seed ]] || return 0
  RANDOM=$((seed + $1 - 1))
  local i j t
  for ((i = ${#order[@]} - 1; i > 0; i--)); do
    j=$((RANDOM % (i + 1))); t=${order[i]}; order[i]=${order[j]}; order[j]=$t
  done
  echo "scenarios: run $1 in the order of seed $((seed + $1 - 1)) (replay: --shuffle $seed):"
  printf '  %s\n' "${order[@]#"$source_dir"/}"
}
work=$build/wine-scenarios
rm -rf "$work"
mkdir -p "$work/host"

if [[ ! -x $runner ]]; then
  echo "scenarios: no host device runner at $runner (build the default preset first)"; exit 1
fi

name_of() { local s=${1#"$source_dir"/}; echo "${s//\//_}"; }

# The emulated device's runs go on while Wine boots.
order_of_run 1 >/dev/null
(
  for s in "${order[@]}"; do
    n=$(name_of "$s")
    (cd "$source_dir" && "$runner" --script "${s#"$source_dir"/}" --trace /dev/null \
      --observations "$work/host/$n.obs" --key-log "$work/host/$n.keys") >"$work/host/$n.out" 2>"$work/host/$n.err"
    echo $? >"$work/host/$n.rc"
  done
) &
host_job=$!

source "$source_dir/runner/wine/wine-session.sh"
wine_session_start "$work/prefix" "$build/device.xkb" || exit 1
wait $host_job

# pendrel.exe processes of this Wine session (Wine names a process after its
# Windows path), as "PID COMMAND" lines.
pendrels_alive() {
  local pid
  for pid in $(pgrep -f -i 'pendrel\.exe'); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    echo "$pid $({ tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null)"
  done
}

outcome() {  # DIR NAME: the run's last error, or "passed"
  local rc; rc=$(cat "$1/$2.rc")
  case $rc in
    0) echo "passed" ;;
    77) echo "skipped" ;;
    75) echo "retried" ;;
    *) tail -1 "$1/$2.err" ;;
  esac
}
# Where the memo's key messages differ between the devices, in diff's words;
# empty when they agree or the script says they are not compared.
keys_differ() {  # SCRIPT NAME WINE_DIR
  grep -q '^# keys: not compared' "$1" && return  # the runner refuses the line without its reason
  local host_keys=$work/host/$2.keys wine_keys=$3/$2.keys
  [[ -f $host_keys ]] || { echo "the emulated device wrote no key log"; return; }
  [[ -f $wine_keys ]] || { echo "Wine wrote no key log"; return; }
  diff -u --label "emulated device" --label Wine <(tr -d '\r' <"$host_keys") <(tr -d '\r' <"$wine_keys") | head -20
}
observed() {  # DIR NAME WHERE: that side's outcome of the expect line WHERE
  grep -F -- "$3 " "$1/$2.obs" 2>/dev/null | head -1 | cut -d' ' -f2- || true
}

failed=0
for run in $(seq 1 "$runs"); do
  out=$work/wine/$run
  mkdir -p "$out"
  label=; [[ $runs -gt 1 ]] && label="[run $run/$runs] "
  passed=0 failed_now=0 skipped=0 retried_now=0 expects_skipped=0 keys_skipped=0
  order_of_run "$run"
  for s in "${order[@]}"; do
    n=$(name_of "$s")
    rel=${s#"$source_dir"/}
    left=$(pendrels_alive)
    if [[ -n $left ]]; then
      echo "FAIL ${label}before $rel: pendrel.exe of an earlier script is still running:"
      echo "$left" | sed 's/^/  /'
      exit 1
    fi
    (cd "$source_dir" && timeout 120 "$runner" --wine "$build" --script "$rel" --observations "$out/$n.obs" \
      --key-log "$out/$n.keys") \
      >"$out/$n.out" 2>"$out/$n.err"
    echo $? >"$out/$n.rc"
    host=$(outcome "$work/host" "$n") wine=$(outcome "$out" "$n")
    retries=$(grep -c '^RETRIED: ' "$out/$n.out")
    retried_now=$((retried_now + retries))
    grep '^RETRIED: ' "$out/$n.out" | sed "s|^|  ${label}$rel: |"
    grep -q '^# keys: not compared' "$s" && keys_skipped=$((keys_skipped + 1))
    expects_skipped=$((expects_skipped + $(grep -c 'SKIPPED under Wine: expect' "$out/$n.out")))
    if [[ $wine == retried && $host == passed ]]; then
      echo "RETRIED ${label}$rel: it passed, but only after Wine failed a start of its own; not counted as passed"
    elif [[ $wine == skipped ]]; then
      skipped=$((skipped + 1)); echo "SKIPPED ${label}$rel: $(grep -o 'SKIPPED under Wine: .*' "$out/$n.out" | cut -d' ' -f4-)"
      [[ $host == passed ]] || { failed_now=$((failed_now + 1)); echo "FAIL $rel on the emulated device: $host"; }
    elif [[ $host == passed && $wine == passed && -n $(keys_differ "$s" "$n" "$out") ]]; then
      failed_now=$((failed_now + 1))
      echo "FAIL ${label}$rel: the memo's key messages differ"
      keys_differ "$s" "$n" "$out" | sed 's/^/  /'
    elif [[ $host == passed && $wine == passed ]]; then
      passed=$((passed + 1)); echo "ok ${label}$rel ($(grep -c 'SKIPPED under Wine' "$out/$n.out") expect line(s) skipped under Wine)"
    else
      failed_now=$((failed_now + 1))
      echo "FAIL ${label}$rel"
      echo "  emulated device: $host"
      echo "  Wine:            $wine"
      lines=("$host"); [[ $wine != "$host" ]] && lines+=("$wine")
      for line in "${lines[@]}"; do
        where=$(grep -oE "^[^ ]+\.scn:[0-9]+" <<<"$line" || true)
        [[ -n $where ]] || continue
        echo "  at $where the emulated device saw: $(observed "$work/host" "$n" "$where" | sed 's/^$/(not reached)/')"
        echo "  at $where Wine saw:                $(observed "$out" "$n" "$where" | sed 's/^$/(not reached)/')"
      done
    fi
  done
  echo "scenarios: ${label}$passed passed on both devices, $failed_now failed, $skipped skipped under Wine" \
    "(each with its reason), $expects_skipped expect line(s) not judged under Wine, $keys_skipped script(s)" \
    "whose key messages are not compared, $retried_now launch(es) retried after Wine's own failure"
  failed=$((failed + failed_now))
  retried_total=$((${retried_total:-0} + retried_now))
done

# The same outcome in every run: each script's outcome and what each of its
# expect lines saw.
differ=0
if [[ $runs -gt 1 ]]; then
  for s in "${scripts[@]}"; do
    n=$(name_of "$s")
    first="$(outcome "$work/wine/1" "$n")"$'\n'"$(cat "$work/wine/1/$n.obs" 2>/dev/null)"
    for run in $(seq 2 "$runs"); do
      this="$(outcome "$work/wine/$run" "$n")"$'\n'"$(cat "$work/wine/$run/$n.obs" 2>/dev/null)"
      if [[ $this != "$first" ]]; then
        differ=$((differ + 1))
        echo "DIFFERS ${s#"$source_dir"/}: run 1: $(outcome "$work/wine/1" "$n"); run $run: $(outcome "$work/wine/$run" "$n")"
        diff <(echo "$first") <(echo "$this") | sed 's/^/  /' | head -10
        break
      fi
    done
  done
  echo "scenarios: $runs runs, $differ script(s) with outcomes that differ between runs"
fi
echo "scenarios: ${#scripts[@]} script(s) x $runs run(s) = $((${#scripts[@]} * runs)) script runs under Wine" \
  "${seed:+(shuffled from seed $seed) }with $failed failed, ${retried_total:-0} launch(es) retried"
[[ ${retried_total:-0} -eq 0 ]] || echo "scenarios: $retried_total launch(es) retried after Wine's own failure: the run does not pass"
[[ $failed -eq 0 && $differ -eq 0 && ${retried_total:-0} -eq 0 ]]
