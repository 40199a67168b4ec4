#!/usr/bin/env bash
# Everything the default build reads from the system (the headers ninja
# recorded for every step, the resource step's included; the libraries its
# link lines name, by path or -l; the tools it runs, by path or bare name,
# the compiler launcher's too) belongs to a package that
# `scripts/install-deps.sh host` installs, or to one of their dependencies:
# the demo builds on a bare machine.
# Usage: host_packages.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mapfile -t listed < <("$source_dir/scripts/install-deps.sh" host --list)

# A tool named bare (a launcher such as ccache) is the one the PATH finds; a
# library linked with -lNAME is the one the compiler finds.
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
resolve() {
  local f path
  while read -r f; do
    [[ -z $f ]] && continue
    if [[ $f == -l* ]]; then
      path=$("$compiler" -print-file-name="lib${f#-l}.so")
      [[ $path == /* ]] || path=$("$compiler" -print-file-name="lib${f#-l}.a")
      [[ $path == /* ]] || { echo "host_packages: the compiler finds no library for $f" >&2; echo "$f"; continue; }
    elif [[ $f != /* ]]; then
      path=$(command -v "$f") || { echo "host_packages: the build runs '$f', which is not on the PATH" >&2; echo "$f"; continue; }
    else
      path=$f
    fi
    echo "$path"
  done
}
mapfile -t files < <({ {
  ninja -C "$build" -t deps | grep -oE '^ +/[^ ]+'
  # custom steps' depfiles (the resource step's), which ninja reads afresh each time
  sed -n 's/^ *depfile = //p' "$build/build.ninja" | while read -r d; do [[ -f $d ]] && tr ' \\' '\n\n' <"$d"; done
  grep -ohE '/(usr|lib|bin)/[^ ";:$]+' "$build/build.ninja"
} | sed 's/^ *//' | grep '^/'; {
  grep -ohE '(^| )-l[A-Za-z0-9_+.-]+' "$build/build.ninja"
  grep -E '^(CMAKE_(C|CXX)_COMPILER(_LAUNCHER)?|CMAKE_MAKE_PROGRAM|CMAKE_COMMAND|WINDRES(_PREPROCESSOR)?)(:[A-Z]+)?=' \
    "$build/CMakeCache.txt" | cut -d= -f2-
} | resolve; } | grep -v -e "^$source_dir/" -e "^$build/" | sort -u)
[[ ${#files[@]} -gt 100 ]] || { echo "host_packages: only ${#files[@]} system files found in $build"; exit 1; }

# Each file under the names dpkg may know it by: as read, with its links
# resolved, and, under Debian's merged /usr, without /usr.
names_of() { local r; r=$(realpath "$1"); printf '%s\n' "$1" "$r" "${1#/usr}" "${r#/usr}"; }
declare -A owner
while IFS= read -r line; do  # "libc6-dev:amd64: /usr/include/stdio.h", "a, b: /path"
  p=${line%%: /*}; p=${p%%,*}; owner[/${line#*: /}]=${p%%:*}
done < <(for f in "${files[@]}"; do [[ -e $f ]] && names_of "$f"; done | sort -u | xargs dpkg -S 2>/dev/null)
declare -A brought
while read -r p; do brought[${p%%:*}]=1; done < <(
  apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
    --no-enhances "${listed[@]}" | grep -v '^ ')

missing=0
for f in "${files[@]}"; do
  if [[ ! -e $f ]]; then
    echo "host_packages: the default build reads $f, which does not exist"
    missing=1
    continue
  fi
  p="(no package)"
  while read -r name; do [[ -n ${owner[$name]:-} ]] && { p=${owner[$name]}; break; }; done < <(names_of "$f")
  if [[ -z ${brought[$p]:-} ]]; then
    echo "host_packages: the default build reads $f, from $p, which 'install-deps.sh host' does not bring in"
    missing=1
  fi
done
[[ $missing -eq 0 ]] && echo "host_packages: ${#files[@]} system files, all from the host packages or their dependencies"
exit $missing
