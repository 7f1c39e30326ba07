#!/usr/bin/env bash
# Builds the consumer project against QUARLEX and checks the embedded bytes,
# sizes and alignment; that a build with nothing changed does nothing; that
# a changed file of the same size recompiles only the generated definitions
# and no source that includes a header; and that a change of size
# regenerates the headers and recompiles their users.
#
#   check_consumer.sh find_package|add_subdirectory|fetch_content|failures QUARLEX_BUILD_DIR QUARLEX_SOURCE_DIR
#
# "failures": configures that must fail, each with a message that names the
# problem: two embeds into one generated file (OUTPUT defaulted and given),
# one label twice, a name the build tools cannot carry, a bad ALIGN.
set -euo pipefail
mode=$1
quarlex_build=$(realpath "$2")
quarlex_source=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

printf 'first payload \000\001\377 bytes' > "$work/payload.bin"
settings=(-G Ninja -DPAYLOAD="$work/payload.bin" -DQUARLEX_CONSUMER_MODE="$mode")
if [ "$mode" = failures ]; then
  cmake --install "$quarlex_build" --prefix "$work/prefix" > /dev/null
  mkdir -p "$work/a" "$work/b"
  printf 'a' > "$work/a/logo.png"
  printf 'b' > "$work/b/logo.png"
  printf 'c' > "$work/a|b.bin"
  check_failure() {  # case, then the texts the error must hold
    local case=$1
    shift
    if cmake -S "$here" -B "$work/$case" -G Ninja -DQUARLEX_CONSUMER_MODE=find_package \
      -DCMAKE_PREFIX_PATH="$work/prefix" -DPAYLOAD="$work/payload.bin" -DFAILING_CASE="$case" \
      > "$work/$case.log" 2>&1; then
      fail "the $case case configured without an error"
    fi
    for expected in "$@"; do
      grep -qF -- "$expected" "$work/$case.log" || { cat "$work/$case.log"; fail "the $case error lacks '$expected'"; }
    done
    echo "$case: the configure fails and says why"
  }
  check_failure output-default "quarlex_embed: print_embedded would generate logo.png.h twice" \
    "$work/a/logo.png" "$work/b/logo.png" "Give OUTPUT (and LABEL) to tell them apart"
  check_failure output-given "quarlex_embed: print_embedded would generate logo.h twice" \
    "$work/a/logo.png" "$work/b/logo.png"
  check_failure label "quarlex_embed: print_embedded would embed two files under the label blob" \
    "$work/a/logo.png" "$work/b/logo.png" "Give one of them another LABEL"
  check_failure name "quarlex_embed: the file '$work/a|b.bin' holds '|'" "rename the file"
  check_failure align "quarlex_embed: ALIGN 48 is not a power of two"
  exit 0
fi
if [ "$mode" = find_package ]; then
  cmake --install "$quarlex_build" --prefix "$work/prefix" > "$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "the install failed"; }
  settings+=(-DCMAKE_PREFIX_PATH="$work/prefix")
else
  settings+=(-DQUARLEX_SOURCE_DIR="$quarlex_source")
fi
cmake -S "$here" -B "$work/build" "${settings[@]}" > "$work/configure.log" ||
  { cat "$work/configure.log"; fail "the configure failed"; }
header="$work/build/quarlex_embed/print_embedded/payload.h"

check_programs() {
  local printed size
  size=$(stat -c %s "$work/payload.bin")
  printed=$("$work/build/print_embedded" "$work/copy.bin")
  cmp "$work/copy.bin" "$work/payload.bin" || fail "the embedded bytes differ from the file"
  [ "$printed" = "$size" ] || fail "size $printed is not the file's"
  printed=$("$work/build/embed_anywhere" "$work/copy2.bin") ||
    fail "embed_anywhere found a wrong size, address or alignment (status $?)"
  cmp "$work/copy2.bin" "$work/payload.bin" || fail "the bytes seen through the header differ"
  [ "$printed" = "$size" ] || fail "size $printed through the header is not the file's"
}

# Waits until a file written now is newer than the generated header. Where
# file times have the clock tick as their grain, a file rewritten within
# the tick that wrote the header would look to Ninja no newer than it, and
# the change would be missed.
wait_past_header() {
  touch "$work/tick"
  while [ ! "$work/tick" -nt "$header" ]; do
    sleep 0.01
    touch "$work/tick"
  done
}

# The objects a build compiled, less the generated definitions.
compiled_users() { grep -E "Building (C|CXX) object" "$1" | grep -v "\.quarlex_data/" || true; }

# Runs a build step, its whole log in the test's output if it fails.
build() {  # log name
  cmake --build "$work/build" > "$work/$1.log" 2>&1 || { cat "$work/$1.log"; fail "the $1 build failed"; }
}

build first
grep -q "Embedding payload.bin" "$work/first.log" || fail "the first build did not generate the header"
check_programs
echo "first build: headers generated; bytes, size and 64-byte alignment right from C and C++"

stamp=$(stat -c %y "$header")
build second
grep -q "no work to do" "$work/second.log" || { cat "$work/second.log"; fail "a build with nothing changed did work"; }
[ "$(stat -c %y "$header")" = "$stamp" ] || fail "a build with nothing changed regenerated the header"
echo "unchanged build: nothing regenerated"

wait_past_header
printf 'FIRST PAYLOAD \000\001\376 BYTES' > "$work/payload.bin"  # the same size
build third
grep -q "Embedding payload.bin" "$work/third.log" || fail "changing the file did not regenerate it"
[ "$(stat -c %y "$header")" = "$stamp" ] || fail "a change of the same size rewrote the header"
users=$(compiled_users "$work/third.log")
[ -z "$users" ] || { cat "$work/third.log"; fail "a change of the same size recompiled users: $users"; }
check_programs
echo "changed file of the same size: only the generated definitions recompiled"

wait_past_header
printf 'second, longer payload \000\377' > "$work/payload.bin"
build fourth
[ "$(stat -c %y "$header")" != "$stamp" ] || fail "a change of size left the header as it was"
compiled_users "$work/fourth.log" | grep -q "anywhere_other.c" ||
  { cat "$work/fourth.log"; fail "a change of size did not recompile the header's users"; }
check_programs
echo "changed size: headers rewritten, users recompiled, bytes and size right"
