#!/usr/bin/env bash
# Builds the consumer project against QUARLEX and checks that the embedded
# bytes and size are right, that a build with nothing changed regenerates
# nothing, and that changing the embedded file regenerates it.
#
#   check_consumer.sh find_package|add_subdirectory|fetch_content|clash QUARLEX_BUILD_DIR QUARLEX_SOURCE_DIR
#
# "clash": two files that would be embedded into one generated file, with
# the OUTPUT defaulted and given; the configure must fail and name both.
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
if [ "$mode" = clash ]; then
  cmake --install "$quarlex_build" --prefix "$work/prefix" > /dev/null
  mkdir -p "$work/a" "$work/b"
  printf 'a' > "$work/a/logo.png"
  printf 'b' > "$work/b/logo.png"
  for output in "" logo.h; do
    if cmake -S "$here" -B "$work/clash$output" -G Ninja -DQUARLEX_CONSUMER_MODE=find_package \
      -DCMAKE_PREFIX_PATH="$work/prefix" -DPAYLOAD="$work/a/logo.png" \
      -DCLASHING_PAYLOAD="$work/b/logo.png" -DCLASHING_OUTPUT="$output" > "$work/clash.log" 2>&1; then
      fail "two embeds into one file (OUTPUT '$output') configured without an error"
    fi
    for expected in "quarlex_embed: print_embedded would generate ${output:-logo.png.h} twice" \
      "$work/a/logo.png" "$work/b/logo.png" "Give OUTPUT (and LABEL) to tell them apart"; do
      grep -qF "$expected" "$work/clash.log" || { cat "$work/clash.log"; fail "the error lacks '$expected'"; }
    done
    echo "OUTPUT '${output:-default}': the configure fails and names both files"
  done
  exit 0
fi
if [ "$mode" = find_package ]; then
  cmake --install "$quarlex_build" --prefix "$work/prefix" > /dev/null
  settings+=(-DCMAKE_PREFIX_PATH="$work/prefix")
else
  settings+=(-DQUARLEX_SOURCE_DIR="$quarlex_source")
fi
cmake -S "$here" -B "$work/build" "${settings[@]}" > /dev/null
header="$work/build/quarlex_embed/print_embedded/payload.h"

check_program() {
  local printed
  printed=$("$work/build/print_embedded" "$work/copy.bin")
  cmp "$work/copy.bin" "$work/payload.bin" || fail "the embedded bytes differ from the file"
  [ "$printed" = "$(stat -c %s "$work/payload.bin")" ] || fail "size $printed is not the file's"
}

cmake --build "$work/build" > "$work/first.log"
grep -q "Embedding payload.bin" "$work/first.log" || fail "the first build did not generate the header"
check_program
echo "first build: header generated, bytes and size right"

stamp=$(stat -c %y "$header")
cmake --build "$work/build" > "$work/second.log"
grep -q "no work to do" "$work/second.log" || { cat "$work/second.log"; fail "a build with nothing changed did work"; }
[ "$(stat -c %y "$header")" = "$stamp" ] || fail "a build with nothing changed regenerated the header"
echo "unchanged build: nothing regenerated"

printf 'second, longer payload \000\377' > "$work/payload.bin"
cmake --build "$work/build" > "$work/third.log"
grep -q "Embedding payload.bin" "$work/third.log" || fail "changing the file did not regenerate the header"
[ "$(stat -c %y "$header")" != "$stamp" ] || fail "the header is older than the changed file"
check_program
echo "changed file: header regenerated, bytes and size right"
