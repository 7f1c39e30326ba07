#!/usr/bin/env bash
# Runs the end-to-end tests against an executable cross-built for another
# processor, under qemu-user, then checks that it writes the same bytes as
# the native build for the same arguments: both flavours, sizes around
# every line and block boundary up to 65,537, with and without a label.
# SOURCE_DATE_EPOCH makes the date lines equal too.
#
#   check_cross.sh ARCH CLI_TEST_BINARY NATIVE_QUARLEX CROSS_QUARLEX
set -euo pipefail
arch=$1
tests=$(realpath "$2")
native_tool=$(realpath "$3")
cross_tool=$(realpath "$4")
emulator=$(command -v "qemu-$arch") || { echo "qemu-$arch is not installed"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== $("$emulator" --version | head -n 1): $(file -b "$cross_tool" | cut -d, -f1-2)"
# Tests that start this build's executable themselves skip with a message.
QUARLEX_TOOL="$emulator $cross_tool" "$tests" --gtest_brief=1

cd "$work"
export SOURCE_DATE_EPOCH=1700000000
compared=0
for size in 0 1 2 15 16 17 31 32 33 100 255 256 4095 4096 4097 65535 65536 65537; do
  head -c "$size" /dev/urandom > "data $size.bin"
  for output in out.inc out.h; do
    for label in "" "a label"; do
      arguments=("data $size.bin" "$output")
      [ -n "$label" ] && arguments+=("$label")
      "$native_tool" "${arguments[@]}" || { echo "native tool failed: ${arguments[*]}"; exit 1; }
      mv "$output" native.out
      "$emulator" "$cross_tool" "${arguments[@]}" || { echo "$arch tool failed: ${arguments[*]}"; exit 1; }
      mv "$output" cross.out
      cmp native.out cross.out || { echo "differs: ${arguments[*]}"; exit 1; }
      compared=$((compared + 1))
    done
  done
done
echo "the $arch and native executables wrote identical files in all $compared cases"
