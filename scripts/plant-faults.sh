#!/usr/bin/env bash
# Plants the faults of a list in the application, one at a time, and runs the
# host suite against each: a fault no test catches is reported as MISSED.
#
#   scripts/plant-faults.sh [--wine] [fault-list] [first-line-number [last-line-number]]
#
# With --wine (list default scripts/wine-faults.tsv) the Win32 build is
# planted and the Wine suite's wine.quiet_point judges it, against the host
# build as it is.
#
# The list (default scripts/faults.tsv) has one fault a line, three fields
# separated by tabs: the file, its exact original text (found exactly once),
# the text put in its place. In the two texts \n stands for a line break and
# \\ for a backslash. Lines starting with # are comments.
#
# For each fault: the file is changed, the default build is brought up to
# date, and the suite runs in three rounds that stop at the first failing
# test: the scripts, then the other quick tests, then the stress runs. A
# fault in the resource script or in an escaped text (its original holds
# \x) first meets the Win32 build's own checks (`ctest --preset win32 -L
# win32`: its imports and its texts), which need no Wine. The
# file is restored afterwards, also when the run is interrupted. A fault
# that cannot be planted or does not compile counts as a failure of the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=default default_list=faults.tsv
if [[ ${1:-} == --wine ]]; then
    preset=win32 default_list=wine-faults.tsv
    shift
fi
list=$(realpath "${1:-$root/scripts/$default_list}")
first=${2:-1}
last=${3:-999999}
cd "$root"

backup=$(mktemp)
work=$(mktemp -d)
planted=""
restore() {
    if [[ -n $planted ]]; then
        cp "$backup" "$planted"
        planted=""
    fi
}
trap 'restore; rm -rf "$backup" "$work"' EXIT
trap 'exit 130' INT TERM

# Puts the replacement in place of the original text; fails unless the
# original occurs exactly once.
plant() {
    python3 - "$@" <<'EOF'
import sys
path, original, replacement = sys.argv[1:4]
def unescape(s):
    return s.replace("\\\\", "\0").replace("\\n", "\n").replace("\0", "\\")
original, replacement = unescape(original), unescape(replacement)
text = open(path, encoding="utf-8").read()
if text.count(original) != 1:
    sys.exit(f"{path}: the original text occurs {text.count(original)} times: {original!r}")
open(path, "w", encoding="utf-8").write(text.replace(original, replacement))
EOF
}

# Runs one round of tests of a preset; prints the names of the failed ones.
round_of() {
    local preset=$1
    shift
    if ctest --preset "$preset" -j2 --stop-on-failure "$@" >"$work/ctest.log" 2>&1; then return 0; fi
    sed -n '/The following tests FAILED:/,$p' "$work/ctest.log" | grep -E '^[[:space:]]+[0-9]+ - ' |
        sed -E 's/^[[:space:]]+[0-9]+ - ([^ ]+).*/\1/' | paste -sd' '
    return 1
}
round() { round_of "$preset" "$@"; }
# The Win32 checks, for a fault in the resource script or in an escaped text.
win32_round() {
    [[ $1 == res/* || $2 == *'\x'* ]] || return 0
    [[ -f build/win32/build.ninja ]] || cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target pendrel >"$work/build.log" 2>&1 || { echo "the Win32 build"; return 1; }
    round_of win32 -L win32
}

cmake --build --preset "$preset" >/dev/null
n=0
caught=0
missed=0
unbuilt=0
while IFS=$'\t' read -r file original replacement || [[ -n $file ]]; do
    [[ -z $file || $file == \#* ]] && continue
    n=$((n + 1))
    (( n < first || n > last )) && continue
    cp "$file" "$backup"
    planted=$file
    if ! plant "$file" "$original" "$replacement" 2>"$work/plant.log"; then
        result="NOT PLANTED ($(cat "$work/plant.log"))"
    elif ! cmake --build --preset "$preset" >"$work/build.log" 2>&1; then
        result="NOT BUILT (the fault does not compile)"
    elif [[ $preset == win32 ]] && by=$(round -R '^wine\.quiet_point$'); then
        result="MISSED"
    elif [[ $preset == default ]] && by=$(win32_round "$file" "$original") && by=$(round -L script) &&
        by=$(round -LE 'script|stress') && by=$(round -L stress); then
        result="MISSED"
    else
        result="caught by $by"
    fi
    restore
    case $result in
    MISSED) missed=$((missed + 1)) ;;
    NOT*) unbuilt=$((unbuilt + 1)) ;;
    *) caught=$((caught + 1)) ;;
    esac
    printf '%d\t%s\t%s\t%s\n' "$n" "$file" "${original:0:60}" "$result"
done <"$list"
cmake --build --preset "$preset" >/dev/null
[[ $preset == win32 || ! -f build/win32/build.ninja ]] || cmake --build --preset win32 --target pendrel >/dev/null
echo "faults: $((caught + missed + unbuilt)), caught: $caught, missed: $missed, not built: $unbuilt"
[[ $missed == 0 && $unbuilt == 0 ]]
