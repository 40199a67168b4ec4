#!/usr/bin/env bash
# Fails when the given objects call a platform function that the CE surface
# table does not list, or lists as first in a CE newer than 4.0 (4.1 and 4.2
# only with a "why:" note). Not CE calls: calls between the objects, the
# driver's operations (the EXPORTS of its .def file, imported by ordinal),
# and the toolchain's own symbols (__*, _Unwind_*, _GLOBAL_OFFSET_TABLE_).
# Usage: ce_surface.sh TABLE DEF OBJECT...
set -uo pipefail
export LC_ALL=C
[[ $# -ge 3 && -f $1 && -f $2 ]] || { echo "ce_surface: usage: ce_surface.sh TABLE DEF OBJECT..."; exit 2; }
table=$1 def=$2
shift 2
for object in "$@"; do [[ -f $object ]] || { echo "ce_surface: missing object $object"; exit 2; }; done

defined=$(nm --defined-only "$@" | awk 'NF == 3 { print $3 }' | sort -u) || { echo "ce_surface: nm failed"; exit 2; }
driver=$(awk '/^EXPORTS/ { e = 1; next } e && NF && $1 !~ /^;/ { print $1 }' "$def")
[[ -n $driver ]] || { echo "ce_surface: no EXPORTS in $def"; exit 2; }

failures=0 all=""
for object in "$@"; do
  called=$(nm -u "$object" | awk '$1 == "U" { print $2 }' | grep -v -E '^(__|_Unwind_|_GLOBAL_OFFSET_TABLE_$)' | sort -u |
           comm -23 - <(echo "$defined") | comm -23 - <(sort <<<"$driver"))
  [[ -n $called ]] || continue
  report=$(awk -v object="$(basename "$object")" '
    NR == FNR { if ($0 !~ /^#/ && NF >= 5) { since[$1] = $4; why[$1] = $6 == "why:" }; next }
    !($1 in since) { print "ce_surface: " object " calls " $1 ", which the CE surface table does not list"; next }
    since[$1] + 0 > 4.2 || (since[$1] + 0 > 4.0 && !why[$1]) {
      print "ce_surface: " object " calls " $1 ", first in CE " since[$1] (since[$1] + 0 > 4.2 ? "" : " with no why: note") }
' "$table" - <<<"$called")
  all+="$called"$'\n'
  if [[ -n $report ]]; then echo "$report"; failures=$((failures + $(wc -l <<<"$report"))); fi
done
calls=$(sort -u <<<"$all" | grep -c .)
if [[ $failures -ne 0 ]]; then
  echo "ce_surface: calls that CE 4.0 lacks or the table does not list: $failures"
  exit 1
fi
echo "ce_surface: $# objects call $calls platform functions, each in CE 4.0 (or 4.2 with a reason) as $(basename "$table") lists it"
