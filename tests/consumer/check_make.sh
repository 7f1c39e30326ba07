#!/usr/bin/env bash
# Builds the Make consumer project against QUARLEX installed from a build
# tree, and checks the embedded bytes and size from two C sources and a C++
# one; that a build with nothing changed does nothing; that a change of the
# same size recompiles the definition and no user of the header; and that a
# change of size regenerates the header and recompiles its users. Exits
# with 77 (skipped) where GNU Make is not installed.
#
#   check_make.sh QUARLEX_BUILD_DIR
set -euo pipefail
quarlex_build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
command -v make > /dev/null || { echo "make is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$quarlex_build" --prefix "$work/prefix" > /dev/null
project="$work/project"
mkdir -p "$project"
cp "$here/make/Makefile" "$here"/anywhere_* "$project/"
printf 'first payload \000\001\377 bytes' > "$project/shared.bin"
: > "$project/empty.bin"
build() {  # log name
  make -C "$project" QUARLEX_EMBED="$work/prefix/lib/cmake/Quarlex/QuarlexEmbedGenerate.cmake" \
    > "$work/$1.log" 2>&1 || { cat "$work/$1.log"; fail "the $1 build failed"; }
}
check_program() {
  local printed
  printed=$("$project/embed_anywhere" "$work/copy.bin") || fail "embed_anywhere failed (status $?)"
  cmp "$work/copy.bin" "$project/shared.bin" || fail "the embedded bytes differ from the file"
  [ "$printed" = "$(stat -c %s "$project/shared.bin")" ] || fail "size $printed is not the file's"
}
# Newer than the header for certain, also where file times have the clock
# tick as their grain.
wait_past_header() {
  touch "$work/tick"
  while [ ! "$work/tick" -nt "$project/shared.h" ]; do sleep 0.01; touch "$work/tick"; done
}

build first
check_program
echo "first build: bytes, size and alignment right from C and C++"
build second
grep -q "Nothing to be done\|is up to date" "$work/second.log" || { cat "$work/second.log"; fail "a build with nothing changed did work"; }
echo "unchanged build: nothing done"

wait_past_header
stamp=$(stat -c %y "$project/shared.h")
printf 'FIRST PAYLOAD \000\001\376 BYTES' > "$project/shared.bin"  # the same size
build third
[ "$(stat -c %y "$project/shared.h")" = "$stamp" ] || fail "a change of the same size rewrote the header"
grep -q " -c .*shared\.c" "$work/third.log" || { cat "$work/third.log"; fail "a change of the same size did not recompile the definition"; }
! grep -q " -c .*anywhere_" "$work/third.log" || { cat "$work/third.log"; fail "a change of the same size recompiled users of the header"; }
check_program
echo "changed file of the same size: the definition recompiled, no user of the header"

wait_past_header
printf 'second, longer payload \000\377' > "$project/shared.bin"
build fourth
[ "$(stat -c %y "$project/shared.h")" != "$stamp" ] || fail "a change of size left the header as it was"
grep -q "anywhere_other" "$work/fourth.log" || { cat "$work/fourth.log"; fail "a change of size did not recompile the header's users"; }
check_program
echo "changed size: header rewritten, users recompiled, bytes and size right"
