#!/usr/bin/env bash
# Runs the end-to-end tests against an executable cross-built for another
# processor, under qemu-user, then checks that it writes the same bytes as
# the native build for the same arguments (compare_outputs.sh).
#
#   check_cross.sh ARCH CLI_TEST_BINARY NATIVE_QUARLEX CROSS_QUARLEX
set -euo pipefail
arch=$1
here=$(dirname "$(realpath "$0")")
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
"$here/../support/compare_outputs.sh" "$arch" "$native_tool" "$emulator $cross_tool"
