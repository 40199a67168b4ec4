#!/usr/bin/env bash
# Checks the application's objects against the CE surface table: every
# platform function an object calls is a row; the row's import is a row that
# imports itself (an export) and keeps the version rule the table's header
# states; and the imports the table gives for an object's calls
# are exactly the undefined symbols of the same source compiled with the CE
# headers' macro and inline forms (the objects after --ce, in the same order).
# Not CE calls: calls between the objects, the driver's operations (the
# EXPORTS of its .def file, imported by ordinal), and the toolchain's own
# symbols (__*, _Unwind_*, _GLOBAL_OFFSET_TABLE_).
# Usage: ce_surface.sh DEF TABLE OBJECT... --ce CE_FORMS_OBJECT...
set -uo pipefail
export LC_ALL=C
usage="ce_surface: usage: ce_surface.sh DEF TABLE OBJECT... --ce CE_FORMS_OBJECT..."
[[ $# -ge 5 && -f $1 && -f $2 ]] || { echo "$usage"; exit 2; }
def=$1 table=$2
shift 2
host=() ce=()
while [[ $# -gt 0 && $1 != --ce ]]; do host+=("$1"); shift; done
[[ $# -gt 0 ]] && shift
ce=("$@")
[[ ${#host[@]} -gt 0 && ${#host[@]} -eq ${#ce[@]} ]] || { echo "$usage (as many CE-form objects as objects)"; exit 2; }
for object in "${host[@]}" "${ce[@]}"; do [[ -f $object ]] || { echo "ce_surface: missing object $object"; exit 2; }; done

driver=$(awk '/^EXPORTS/ { e = 1; next } e && NF && $1 !~ /^;/ { print $1 }' "$def" | sort)
[[ -n $driver ]] || { echo "ce_surface: no EXPORTS in $def"; exit 2; }
# The platform calls of a set of objects: undefined, not defined by one of them,
# not the driver's, not the toolchain's.
calls() {
  local defined
  defined=$(nm --defined-only "${@:2}" | awk 'NF == 3 { print $3 }' | sort -u) || { echo "ce_surface: nm failed" >&2; exit 2; }
  nm -u "$1" | awk '$1 == "U" { print $2 }' | grep -v -E '^(__|_Unwind_|_GLOBAL_OFFSET_TABLE_$)' | sort -u |
    comm -23 - <(echo "$defined") | comm -23 - <(echo "$driver")
}

failures=0 all=""
for i in "${!host[@]}"; do
  object=$(basename "${host[$i]}")
  called=$(calls "${host[$i]}" "${host[@]}")
  imported=$(calls "${ce[$i]}" "${ce[@]}")
  all+="$called"$'\n'
  report=$(awk -v object="$object" -v imported="$imported" '
    FNR == NR { if ($0 !~ /^#/ && NF >= 6) { import[$1] = $2; since[$1] = $5; why[$1] = $7 == "why:" }; next }
    $1 == "" { next }
    !($1 in import) { unlisted[$1] = 1; print "ce_surface: " object " calls " $1 ", which the CE surface table does not list"; next }
    import[$1] == "-" { next }
    { to = import[$1]; gives[to] = gives[to] " " $1 }
    !(to in import) || import[to] != to {
      print "ce_surface: " object ": " $1 " imports " to ", which the CE surface table does not give as an export"; next }
    since[to] + 0 > 4.2 || (since[to] + 0 > 4.0 && !why[to]) {
      print "ce_surface: " object ": " $1 " imports " to ", first in CE " since[to] (since[to] + 0 > 4.2 ? "" : " with no why: note") }
    END {
      n = split(imported, ce, "\n")
      for (k = 1; k <= n; k++) if (ce[k] != "") { on_ce[ce[k]] = 1
        if (!(ce[k] in gives) && !(ce[k] in unlisted)) print "ce_surface: " object " imports " ce[k] " on CE, which the table gives for none of its calls" }
      for (to in gives) if (!(to in on_ce))
        print "ce_surface: " object ": the table maps" gives[to] " to " to ", which the object does not import on CE"
    }' "$table" - <<<"$called")
  if [[ -n $report ]]; then echo "$report"; failures=$((failures + $(wc -l <<<"$report"))); fi
done
count=$(sort -u <<<"$all" | grep -c .)
if [[ $failures -ne 0 ]]; then
  echo "ce_surface: faults against the CE surface table: $failures"
  exit 1
fi
echo "ce_surface: ${#host[@]} objects call $count platform functions; each is in $(basename "$table"), and what it gives them to import is what a CE 4.x link imports"
