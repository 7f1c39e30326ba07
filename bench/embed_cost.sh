#!/usr/bin/env bash
# What embedding a file costs a whole build: a program of a C and a C++
# source that use one embedded file (CONST, ALIGN 64), built with
# quarlex_embed in each way the compiler takes, side by side with the same
# program written by hand with .incbin and, where the compiler has it,
# #embed. Each build is a clean `cmake --build` of a configured tree (the
# configure, probes included, is not timed). The variants of one compiler
# and size are built in turn within each round, so that a load from other
# work on the machine falls on all of them alike; the table gives the
# median over the rounds of wall time, CPU time (user + system) and peak
# memory (the largest process), and their ratios to the hand-written
# .incbin. After the first round each program is run and must give the
# file's bytes, and the data must lie in a read-only section. It prints
# figures; it never fails on a time.
#
#   bench/embed_cost.sh [QUARLEX_BUILD_DIR]
#
# Environment: SIZES_MIB (default "1 16 128"), ROUNDS (default 3),
# COMPILERS (C compilers, each with its C++ one: default "gcc clang
# clang-19", those installed), TEXT_MAX_MIB (the largest size built in the
# TEXT way, default 1: gcc needs minutes and gigabytes beyond), WORK
# (scratch folder, default a new folder under /tmp).
set -euo pipefail
export LC_ALL=C

build=$(realpath "${1:-build}")
sizes=${SIZES_MIB:-1 16 128}
rounds=${ROUNDS:-3}
compilers=${COMPILERS:-gcc clang clang-19}
text_max=${TEXT_MAX_MIB:-1}
work=${WORK:-$(mktemp -d /tmp/quarlex-embed-cost-XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian: time)"; exit 1; }
cmake --install "$build" --prefix "$work/prefix" > /dev/null
mib=$((1024 * 1024))

project="$work/project"
mkdir -p "$project/hand"
cat > "$project/CMakeLists.txt" << 'EOF'
cmake_minimum_required(VERSION 3.25)
project(embed_cost C CXX)
set(VARIANT "" CACHE STRING "quarlex:<METHOD>, incbin or embed")
add_executable(prog main.c user.cpp)
if(VARIANT MATCHES "^quarlex:(.*)")
  find_package(Quarlex REQUIRED)
  quarlex_embed(prog data.bin OUTPUT blob.h LABEL blob ALIGN 64 CONST METHOD ${CMAKE_MATCH_1})
else()
  target_sources(prog PRIVATE hand/${VARIANT}.c)
  target_include_directories(prog PRIVATE hand)
endif()
EOF
cat > "$project/main.c" << 'EOF'
#include <stdint.h>
#include <stdio.h>

#include "blob.h"

unsigned long cpp_size(void);

int main(int argc, char** argv) {
  FILE* out;
  if ((uintptr_t)blob % 64 != 0 || cpp_size() != _blob) return 3;
  if (argc < 2 || (out = fopen(argv[1], "wb")) == NULL) return 2;
  if (fwrite(blob, 1, sizeof blob, out) != sizeof blob || fclose(out) != 0) return 2;
  return 0;
}
EOF
cat > "$project/user.cpp" << 'EOF'
#include "blob.h"

extern "C" unsigned long cpp_size() { return sizeof blob; }
EOF
cat > "$project/hand/embed.c" << 'EOF'
#include "blob.h"

const unsigned char blob[] = {
#embed "../data.bin"
};
EOF

# Runs "$@" once and prints "wall cpu peak_MiB", or "failed".
measure() {
  if /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" > "$work/step.log" 2>&1; then
    awk '{ printf "%.2f %.2f %.0f\n", $1, $2 + $3, $4 / 1024 }' "$work/time.txt"
  else
    echo failed
  fi
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR ? v[int((NR + 1) / 2)] : "-") }'; }

echo "embedding cost of a whole build, $(date -u +%Y-%m-%d), $(nproc) cores, $(uname -m)," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg), $rounds rounds, medians"
printf '%-9s %5s %-22s %8s %8s %9s %7s %7s %7s\n' compiler MiB way "wall s" "CPU s" "peak MiB" \
  "wall x" "CPU x" "peak x"
for size in $sizes; do
  head -c $((size * mib)) /dev/urandom > "$project/data.bin"
  # The hand-written programs' header, as a person would write it knowing
  # the size, with C linkage for the C++ source.
  printf '#ifdef __cplusplus\nextern "C" {\n#endif\nextern const unsigned char blob[%d] __attribute__((aligned(64)));\n#ifdef __cplusplus\n}\n#endif\n#define _blob %d\n' \
    $((size * mib)) $((size * mib)) > "$project/hand/blob.h"
  cat > "$project/hand/incbin.c" << EOF
__asm__(".pushsection .rodata.blob,\\"a\\",@progbits\\n"
        ".globl blob\\n"
        ".type blob, @object\\n"
        ".balign 64\\n"
        "blob:\\n"
        ".incbin \\"$project/data.bin\\"\\n"
        ".size blob, . - blob\\n"
        ".popsection\\n");
EOF
  for cc in $compilers; do
    command -v "$cc" > /dev/null || continue
    cxx=${cc/gcc/g++}
    cxx=${cxx/clang/clang++}
    variants=(incbin)
    printf 'const char a[] = {\n#embed "%s"\n};\n' "$project/main.c" > "$work/probe.c"
    "$cc" -w -c "$work/probe.c" -o "$work/probe.o" 2> /dev/null && variants+=(embed)
    rm -rf "$work/probe"
    cmake -S "$project" -B "$work/probe" -G Ninja -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/prefix" -DVARIANT=quarlex:AUTO > "$work/probe.log"
    ways=$(sed -n 's/.*quarlex_embed: the C compiler .* takes \(.*\)/\1/p' "$work/probe.log" | tr -d ,)
    for way in $ways; do
      [ "$way" = TEXT ] && [ "$size" -gt "$text_max" ] && continue
      variants+=("quarlex:$way")
    done
    for variant in "${variants[@]}"; do
      rm -rf "$work/$variant"
      cmake -S "$project" -B "$work/$variant" -G Ninja -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$work/prefix" -DVARIANT="$variant" > /dev/null
      : > "$work/$variant.figures"
    done
    for round in $(seq "$rounds"); do
      for variant in "${variants[@]}"; do
        cmake --build "$work/$variant" --target clean > /dev/null
        result=$(measure cmake --build "$work/$variant")
        [ "$result" = failed ] && { echo "$cc $variant failed:"; tail -n 5 "$work/step.log"; }
        echo "$result" >> "$work/$variant.figures"
        if [ "$round" = 1 ] && [ "$result" != failed ]; then
          "$work/$variant/prog" "$work/copy.bin" || echo "$cc $variant: the program failed ($?)"
          cmp -s "$work/copy.bin" "$project/data.bin" || echo "$cc $variant: WRONG BYTES"
          section=$(objdump -t "$work/$variant/prog" | awk '$NF == "blob" { print $(NF - 2) }')
          objdump -h "$work/$variant/prog" | awk -v name="$section" '$2 == name { getline; print }' |
            grep -q READONLY || echo "$cc $variant: the data lies in a writable section ($section)"
          rm -f "$work/copy.bin"
        fi
      done
    done
    base=()
    for variant in "${variants[@]}"; do
      figures=()
      for column in 1 2 3; do
        figures+=("$(grep -v failed "$work/$variant.figures" | cut -d' ' -f$column | median)")
      done
      [ "$variant" = incbin ] && base=("${figures[@]}")
      name=$variant
      case $variant in
        incbin) name="by hand .incbin" ;;
        embed) name="by hand #embed" ;;
        quarlex:*) name="quarlex_embed ${variant#quarlex:}" ;;
      esac
      printf '%-9s %5s %-22s %8s %8s %9s' "$cc" "$size" "$name" "${figures[@]}"
      for column in 0 1 2; do
        awk -v a="${figures[$column]}" -v b="${base[$column]}" \
          'BEGIN { if (a == "-" || b == "-" || b == 0) printf " %7s", "-"; else printf " %7.2f", a / b }'
      done
      echo
      rm -rf "${work:?}/$variant"
    done
  done
done
