#!/usr/bin/env bash
# Converts the same files with two builds of the tool and compares what
# they write byte for byte: both flavours, sizes around every line and block
# boundary up to 65,537, with and without a label. SOURCE_DATE_EPOCH makes
# the date lines agree too. Run it in a scratch folder.
#
#   compare_outputs.sh NAME "REFERENCE COMMAND" "OTHER COMMAND"
#
# The commands are split at blanks: "qemu-s390x /path/quarlex".
set -euo pipefail
name=$1
read -r -a reference <<< "$2"
read -r -a other <<< "$3"

export SOURCE_DATE_EPOCH=1700000000
compared=0
for size in 0 1 2 15 16 17 31 32 33 100 255 256 4095 4096 4097 65535 65536 65537; do
  head -c "$size" /dev/urandom > "data $size.bin"
  for output in out.inc out.h; do
    for label in "" "a label"; do
      arguments=("data $size.bin" "$output")
      [ -n "$label" ] && arguments+=("$label")
      "${reference[@]}" "${arguments[@]}" || { echo "the reference failed: ${arguments[*]}"; exit 1; }
      mv "$output" reference.out
      "${other[@]}" "${arguments[@]}" || { echo "the $name build failed: ${arguments[*]}"; exit 1; }
      mv "$output" other.out
      cmp reference.out other.out || { echo "differs: ${arguments[*]}"; exit 1; }
      compared=$((compared + 1))
    done
  done
done
echo "the $name and the reference executables wrote identical files in all $compared cases"
