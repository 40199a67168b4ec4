#!/usr/bin/env bash
# Checks pendrel.exe's import table: the driver only by the seven ordinals,
# never by name, and no DLL beyond the desktop equivalents of the handheld's
# core system and common controls libraries.
# Usage: imports.sh OBJDUMP PENDREL_EXE
set -euo pipefail
objdump=$1 exe=$2

"$objdump" -p "$exe" | awk '
  /DLL Name:/ { dll = toupper($3); print "dll " dll; next }
  dll != "" && /^\t[0-9a-f]+\t/ {
    # by name: "<hint-rva>  <hint>  <name>"; by ordinal: "<vma>  <ordinal>  <none>"
    if ($3 == "<none>") print "ordinal " dll " " $2; else print "name " dll " " $3
  }
  /^$/ { dll = "" }' >"${exe}.imports"

failures=0
allowed='^(KERNEL32|USER32|GDI32|SHELL32|COMCTL32|MSVCRT|TOLVEN)\.DLL$'
while read -r kind dll rest; do
  case $kind in
    dll) [[ $dll =~ $allowed ]] || { echo "imports: $dll is not a library the handheld has"; failures=$((failures+1)); } ;;
    name) [[ $dll == TOLVEN.DLL ]] && { echo "imports: TOLVEN.dll imported by name: $rest"; failures=$((failures+1)); } ;;
    ordinal)
      rest=$((16#$rest))
      if [[ $dll == TOLVEN.DLL ]]; then
        case $rest in 10|20|40|50|90|580|590) ;; *) echo "imports: TOLVEN.dll ordinal $rest is not a driver operation"; failures=$((failures+1)) ;; esac
      fi ;;
  esac
done <"${exe}.imports"

ordinals=$(awk '$1 == "ordinal" && $2 == "TOLVEN.DLL" { print $3 }' "${exe}.imports" | while read -r h; do echo $((16#$h)); done | sort -n | tr '\n' ' ')
[[ $ordinals == "10 20 40 50 90 580 590 " ]] || { echo "imports: TOLVEN.dll ordinals are '$ordinals'"; failures=$((failures+1)); }
if [[ $failures -eq 0 ]]; then echo "imports: 1 passed, 0 failed"; else echo "imports: 0 passed, 1 failed"; exit 1; fi
