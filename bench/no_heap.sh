#!/usr/bin/env bash
# Fails when any of the given object files calls a heap allocator: the C
# allocators, operator new and new[] in all their forms, string duplication,
# or the Win32 heap calls. The application keeps all its state in fixed,
# process-wide buffers.
# Usage: no_heap.sh OBJECT...
set -uo pipefail
export LC_ALL=C
[[ $# -gt 0 ]] || { echo "no_heap: no object files given"; exit 2; }

# Undefined symbols that allocate (extended regular expression, whole name).
forbidden='malloc|calloc|realloc|reallocarray|free|aligned_alloc|posix_memalign|memalign|valloc|pvalloc|strdup|strndup|__strdup|wcsdup|_wcsdup|_Znw[a-zA-Z0-9_]*|_Zna[a-zA-Z0-9_]*|LocalAlloc|LocalReAlloc|GlobalAlloc|GlobalReAlloc|HeapAlloc|HeapReAlloc|VirtualAlloc'

found=0
for object in "$@"; do
  [[ -f $object ]] || { echo "no_heap: missing object $object"; exit 2; }
  symbols=$(nm -u "$object") || { echo "no_heap: nm failed on $object"; exit 2; }
  hits=$(awk '{print $NF}' <<<"$symbols" | grep -E -x "($forbidden)(@.*)?" | sort -u)
  if [[ -n $hits ]]; then
    found=1
    while read -r s; do
      echo "no_heap: $(basename "$object") calls $(c++filt "$s") ($s)"
    done <<<"$hits"
  fi
done
if [[ $found -ne 0 ]]; then
  echo "no_heap: heap allocation found"
  exit 1
fi
echo "no_heap: $# object files, no heap allocation"
