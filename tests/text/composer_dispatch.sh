#!/usr/bin/env bash
# The tool, run as processors without AVX-512 (Haswell: AVX2) and without
# AVX (Nehalem) through qemu-user, must write the very bytes it writes on
# this processor: each picks another composer, or crashes on an
# instruction its processor lacks if the dispatch is wrong.
#
#   composer_dispatch.sh path/to/quarlex
#
# Exit 77 (skipped) where qemu-x86_64 is missing.
set -euo pipefail
tool=$(realpath "$1")
qemu=$(command -v qemu-x86_64 || true)
if [ -z "$qemu" ]; then
  echo "skipped: no qemu-x86_64 (Debian package qemu-user)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Every byte value, then random bytes of a length that leaves a short last
# line and a partial step of four lines for the vector loops.
for ((v = 0; v < 256; v++)); do printf "\\$(printf %03o "$v")"; done > source.bin
head -c 100003 /dev/urandom >> source.bin
export SOURCE_DATE_EPOCH=0 TZ=UTC0
status=0
for flavour in inc h; do
  "$tool" source.bin "native.$flavour"
  for cpu in Haswell Nehalem; do
    if ! "$qemu" -cpu "$cpu" "$tool" source.bin "$cpu.$flavour" 2> "$cpu.log"; then
      echo "FAIL: as $cpu, .$flavour: the tool failed"; cat "$cpu.log"; status=1
    elif ! cmp "native.$flavour" "$cpu.$flavour"; then
      echo "FAIL: as $cpu, .$flavour: other bytes than on this processor"; status=1
    else
      echo "ok: as $cpu, .$flavour: $(stat -c %s "$cpu.$flavour") bytes, the same"
    fi
  done
done
exit "$status"
