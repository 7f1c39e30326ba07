#!/usr/bin/env bash
# Builds the Meson consumer project against QUARLEX installed from a build
# tree, and checks the embedded bytes and size, that a build with nothing
# changed regenerates nothing, and that changing the file regenerates it.
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
cp "$here/meson/meson.build" "$here/print_embedded.c" "$project/"
printf 'first payload \000\001\377 bytes' > "$project/payload.bin"
meson setup "$work/build" "$project" > "$work/setup.log" || { cat "$work/setup.log"; fail "meson setup failed"; }
grep -q "Program quarlex found: YES (${work}/prefix/bin/quarlex)" "$work/setup.log" ||
  { cat "$work/setup.log"; fail "meson did not find the installed quarlex"; }

check_program() {
  local printed
  printed=$("$work/build/print_embedded" "$work/copy.bin")
  cmp "$work/copy.bin" "$project/payload.bin" || fail "the embedded bytes differ from the file"
  [ "$printed" = "$(stat -c %s "$project/payload.bin")" ] || fail "size $printed is not the file's"
}

ninja -C "$work/build" > "$work/first.log"
grep -q "Generating payload.h" "$work/first.log" || { cat "$work/first.log"; fail "the first build did not generate the header"; }
check_program
grep -q "Source file: .*payload.bin" "$work/build/payload.h" || fail "the header does not name the file"
echo "first build: header generated, bytes and size right"

ninja -C "$work/build" > "$work/second.log"
grep -q "no work to do" "$work/second.log" || { cat "$work/second.log"; fail "a build with nothing changed did work"; }
echo "unchanged build: nothing regenerated"

# Newer than the header for certain, also where file times have the clock
# tick as their grain.
touch "$work/tick"
while [ ! "$work/tick" -nt "$work/build/payload.h" ]; do sleep 0.01; touch "$work/tick"; done
printf 'second, longer payload \000\377' > "$project/payload.bin"
ninja -C "$work/build" > "$work/third.log"
grep -q "Generating payload.h" "$work/third.log" || { cat "$work/third.log"; fail "changing the file did not regenerate the header"; }
check_program
echo "changed file: header regenerated, bytes and size right"
