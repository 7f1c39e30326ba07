#!/usr/bin/env bash
# What an embedded file costs the compiler or assembler, which is most of
# what it costs a build: converts random files of several sizes and times,
# with peak memory, gcc -c, g++ -c and clang -c on the .h, fasm on the
# .inc (with the smallest -m, in powers of two, that it needs), and, for
# comparison, clang 19 taking the same bytes through C23 #embed where
# clang-19 is installed. It prints figures; it never fails on a time.
#
#   bench/compile_cost.sh [path/to/quarlex]
#
# Environment: SIZES_MIB (default "1 4 16"), QUARLEX_COMPILERS (further C or
# C++ compilers to time on the .h, by name or path, e.g. "gcc-15 clang-19";
# a name with "++" compiles it as C++), WORK (scratch folder, default a new
# folder under /tmp).
set -euo pipefail
export LC_ALL=C

tool=$(realpath "${1:-build-dev/quarlex}")
sizes=${SIZES_MIB:-1 4 16}
work=${WORK:-$(mktemp -d /tmp/quarlex-compile-XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cd "$work"
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian: time)"; exit 1; }

mib=$((1024 * 1024))
# fasm's -m in KiB: starts here and doubles until the assembly fits.
fasm_first_kib=16384
fasm_last_kib=$((64 * 1024 * 1024))

# Runs "$@" once and prints "seconds peak_MiB", or "failed".
measure() {
  if /usr/bin/time -f "%e %M" -o time.txt "$@" > /dev/null 2> tool.log; then
    awk '{ printf "%.2f %.0f\n", $1, $2 / 1024 }' time.txt
  else
    echo failed
  fi
}

row() {  # tool size_mib "seconds peak" [note]
  local seconds peak
  if [ "$3" = failed ]; then
    printf '%-26s %8s %10s %12s  %s\n' "$1" "$2" "failed" "" "${4:-}"
    return
  fi
  read -r seconds peak <<< "$3"
  printf '%-26s %8s %10s %12s  %s\n' "$1" "$2" "$seconds" "$peak" "${4:-}"
}

echo "compile cost of embedded files, $(date -u +%Y-%m-%d), $(nproc) cores, $(uname -m)"
echo "gcc: $(gcc -dumpfullversion); clang: $(clang -dumpversion 2>/dev/null || echo none);" \
  "fasm: $({ fasm 2> /dev/null || true; } | head -n 1 | sed 's/flat assembler *//');" \
  "clang-19: $(clang-19 -dumpversion 2>/dev/null || echo none)"
for compiler in ${QUARLEX_COMPILERS:-}; do
  echo "$compiler: $("$compiler" -dumpfullversion 2>/dev/null || "$compiler" -dumpversion 2>/dev/null || echo none)"
done
echo
printf '%-26s %8s %10s %12s\n' "tool" "MiB" "seconds" "peak MiB"

printf '#include "data.h"\n' > use.c
cp use.c use.cpp
printf 'format ELF64\nsection ".data" writeable\ninclude "data.inc"\n' > use.asm
printf 'const unsigned char blob[] = {\n#embed "data.bin"\n};\n' > embed.c

for size in $sizes; do
  head -c $((size * mib)) /dev/urandom > data.bin
  "$tool" data.bin data.h blob
  "$tool" data.bin data.inc blob
  echo "-- $size MiB of random bytes: $(stat -c %s data.h) bytes of .h, $(stat -c %s data.inc) bytes of .inc"
  row "gcc -c" "$size" "$(measure gcc -c use.c -o use.o)"
  row "g++ -c" "$size" "$(measure g++ -c use.cpp -o use.o)"
  if command -v clang > /dev/null; then
    row "clang -c" "$size" "$(measure clang -c use.c -o use.o)"
  fi
  if command -v fasm > /dev/null; then
    kib=$fasm_first_kib
    result=failed
    while [ "$kib" -le "$fasm_last_kib" ]; do
      result=$(measure fasm -m "$kib" use.asm use.o)
      [ "$result" != failed ] && break
      kib=$((kib * 2))
    done
    row "fasm -m $kib" "$size" "$result" "(smallest power of two that fits)"
  fi
  if command -v clang-19 > /dev/null; then
    row "clang-19 -std=c23 #embed" "$size" "$(measure clang-19 -std=c23 -c embed.c -o use.o)"
  fi
  for compiler in ${QUARLEX_COMPILERS:-}; do
    command -v "$compiler" > /dev/null || { row "$compiler" "$size" failed "(not found)"; continue; }
    input=use.c
    [[ "$compiler" == *++* ]] && input=use.cpp
    result=$(measure "$compiler" -c "$input" -o use.o)
    if [ "$result" != failed ]; then
      row "$compiler -c" "$size" "$result"
    else
      # GCC 15 writes such arrays as .base64, which older assemblers
      # (binutils 2.40) refuse: the compiler's own share, to assembly.
      row "$compiler -S" "$size" "$(measure "$compiler" -S "$input" -o use.s)" "(-c failed: $(head -c 60 tool.log | tr '\n' ' '))"
    fi
  done
done
