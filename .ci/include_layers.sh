#!/usr/bin/env bash
# Draws the structure of src/ as the includes between its folders, one
# line per arrow with how many includes it stands for, and fails where one
# runs upward. Each folder may include its own headers and those of the
# folders below it: run/ drives a run, text/ composes what the file says,
# write/ gets it onto the disk, platform/ holds the system calls.
#
#   include_layers.sh [SRC_FOLDER]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}
layers=(platform write text run)

rank() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" != "$1" ] || { echo "$i"; return; }
  done
  echo "unknown folder: $1" >&2
  exit 2
}

arrows=$(cd "$src" && grep -rnoE '^#include "[a-z_]+/' --include='*.h' --include='*.cpp' . |
  sed -E 's|^\./([a-z_]+)/([^:]+):([0-9]+):#include "([a-z_]+)/|\1 \4 \1/\2:\3|')
echo "$arrows" | awk '{ print $1 " -> " $2 }' | sort | uniq -c

upward=0
while read -r from to where; do
  if [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
    echo "upward include: $where includes $to/" >&2
    upward=1
  fi
done <<< "$arrows"
exit "$upward"
