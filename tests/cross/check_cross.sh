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
trap 'umount "$work/tmp" 2>/dev/null; rm -rf "$work"' EXIT

# qemu-user 7.2 answers ENOSYS to FS_IOC_FSGETXATTR, so on ext4, XFS or
# F2FS the emulated tool cannot tell whether a rename would drop a project
# and writes every file over. The tests expect what a native run does, so
# their scratch folders go on tmpfs, which holds no projects. The tests
# that mount file systems of their own still meet those.
# Open to all, as /tmp is: some tests run the tool as another user.
chmod 0755 "$work"
# The build may lie in a folder only root can enter: the tests that run the
# tool as another user run a copy beside the scratch folders.
cp "$cross_tool" "$work/quarlex-$arch"
cross_tool="$work/quarlex-$arch"
mkdir "$work/tmp"
mount -t tmpfs -o size=8G,mode=1777 quarlex-cross "$work/tmp" ||
  { echo "the tests under qemu need a tmpfs for their scratch folders (run as root)"; exit 1; }

echo "== $("$emulator" --version | head -n 1): $(file -b "$cross_tool" | cut -d, -f1-2)"
# Tests that start this build's executable themselves skip with a message.
TMPDIR="$work/tmp" QUARLEX_TOOL="$emulator $cross_tool" "$tests" --gtest_brief=1

cd "$work"
"$here/../support/compare_outputs.sh" "$arch" "$native_tool" "$emulator $cross_tool"
