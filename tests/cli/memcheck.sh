#!/usr/bin/env bash
# One conversion of a 1 MiB source per flavour under valgrind's memcheck:
# any memory error or leak fails the test.
#
#   memcheck.sh QUARLEX_EXECUTABLE
set -euo pipefail
tool=$1
if ! command -v valgrind > /dev/null; then
  echo "valgrind is missing (Debian: valgrind): memcheck skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 1048576 /dev/urandom > "$work/source.bin"
for output in out.inc out.h; do
  valgrind --quiet --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all "$tool" "$work/source.bin" "$work/$output" blob
  tail -c 20 "$work/$output" | grep -q "_blob.* 1048576\$" || {
    echo "$output does not end with the size"
    exit 1
  }
done
echo "memcheck: no errors and no leaks in either flavour"
