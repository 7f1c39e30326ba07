#!/usr/bin/env bash
# Builds the Meson consumer project against QUARLEX installed from a build
# tree, and checks the embedded bytes and size, through the tool's own file
# and through a declaring header from two C sources and a C++ one; that a
# build with nothing changed regenerates nothing; that a change of the same
# size recompiles the definition and no user of the header; and that a
# change of size regenerates both.
# Exits with 77 (skipped) where Meson is not installed.
#
#   check_meson.sh QUARLEX_BUILD_DIR
set -euo pipefail
quarlex_build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
command -v meson > /dev/null || { echo "meson is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$quarlex_build" --prefix "$work/prefix" > /dev/null
export PATH="$work/prefix/bin:$PATH"
project="$work/project"
mkdir -p "$project"
cp "$here/meson/meson.build" "$here/print_embedded.c" "$here"/anywhere_* "$project/"
write_payload() { printf "$1" > "$project/payload.bin"; printf "$1" > "$project/shared.bin"; }
write_payload 'first payload \000\001\377 bytes'
: > "$project/empty.bin"
meson setup "$work/build" "$project" > "$work/setup.log" || { cat "$work/setup.log"; fail "meson setup failed"; }
grep -q "Program quarlex found: YES (${work}/prefix/bin/quarlex)" "$work/setup.log" ||
  { cat "$work/setup.log"; fail "meson did not find the installed quarlex"; }

check_program() {
  local printed program
  for program in print_embedded embed_anywhere; do
    printed=$("$work/build/$program" "$work/copy.bin") || fail "$program failed (status $?)"
    cmp "$work/copy.bin" "$project/payload.bin" || fail "the bytes $program embedded differ from the file"
    [ "$printed" = "$(stat -c %s "$project/payload.bin")" ] || fail "size $printed from $program is not the file's"
  done
}

ninja -C "$work/build" > "$work/first.log"
grep -q "Generating payload.h" "$work/first.log" || { cat "$work/first.log"; fail "the first build did not generate the header"; }
check_program
grep -q "Source file: .*payload.bin" "$work/build/payload.h" || fail "the header does not name the file"
echo "first build: header generated, bytes and size right"

ninja -C "$work/build" > "$work/second.log"
grep -q "no work to do" "$work/second.log" || { cat "$work/second.log"; fail "a build with nothing changed did work"; }
echo "unchanged build: nothing regenerated"

# Newer than the headers for certain, also where file times have the clock
# tick as their grain.
wait_past_headers() {
  touch "$work/tick"
  while [ ! "$work/tick" -nt "$work/build/payload.h" ] || [ ! "$work/tick" -nt "$work/build/shared.h" ]; do
    sleep 0.01
    touch "$work/tick"
  done
}
wait_past_headers
header_stamp=$(stat -c %y "$work/build/shared.h")
write_payload 'FIRST PAYLOAD \000\001\376 BYTES'  # the same size
ninja -C "$work/build" > "$work/third.log"
grep -q "Generating payload.h" "$work/third.log" || { cat "$work/third.log"; fail "changing the file did not regenerate the header"; }
[ "$(stat -c %y "$work/build/shared.h")" = "$header_stamp" ] || fail "a change of the same size rewrote the declaring header"
grep -q "Compiling C object .*shared.c" "$work/third.log" || { cat "$work/third.log"; fail "a change of the same size did not recompile the definition"; }
! grep -q "anywhere_" "$work/third.log" || { cat "$work/third.log"; fail "a change of the same size recompiled users of the header"; }
check_program
echo "changed file of the same size: definitions recompiled, no user of the declaring header"

wait_past_headers
write_payload 'second, longer payload \000\377'
ninja -C "$work/build" > "$work/fourth.log"
[ "$(stat -c %y "$work/build/shared.h")" != "$header_stamp" ] || fail "a change of size left the declaring header as it was"
grep -q "anywhere_other.c" "$work/fourth.log" || { cat "$work/fourth.log"; fail "a change of size did not recompile the header's users"; }
check_program
echo "changed size: headers regenerated, users recompiled, bytes and size right"
