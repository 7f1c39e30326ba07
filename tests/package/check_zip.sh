#!/usr/bin/env bash
# Builds the Windows release archive of a MinGW build tree, checks its
# contents and runs the archived quarlex.exe under Wine on a file, compared
# with the Linux build's output.
#
#   check_zip.sh WINDOWS_BUILD_DIR LINUX_QUARLEX
set -euo pipefail
build=$(realpath "$1")
linux_tool=$(realpath "$2")
source_dir=$(realpath "$(dirname "$0")/../..")
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
work=$(mktemp -d)
export WINEPREFIX="$work/wine" WINEDEBUG=-all
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/out" > cpack.log) ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
archive=$(ls "$work"/out/*.zip)
top=$(basename "$archive" .zip)
echo "archive: $(basename "$archive")"
unzip -Z1 "$archive" > "$work/contents"
for file in "$top/bin/quarlex.exe" "$top/share/doc/quarlex/LICENSE" "$top/share/doc/quarlex/README.md"; do
  grep -qx "$file" "$work/contents" || { cat "$work/contents"; fail "$file is not in the archive"; }
done
unzip -q "$archive" -d "$work/unpacked"
cmp "$work/unpacked/$top/share/doc/quarlex/LICENSE" "$source_dir/LICENSE" || fail "the archive's licence differs"
echo "contents: quarlex.exe, licence and README in place"

"$wine" wineboot -i > /dev/null 2>&1 || true
cd "$work"
head -c 70000 /dev/urandom > data.bin
export SOURCE_DATE_EPOCH=1700000000
"$linux_tool" data.bin linux.h blob
"$wine" "$work/unpacked/$top/bin/quarlex.exe" data.bin windows.h blob || fail "the archived quarlex.exe failed"
cmp linux.h windows.h || fail "the archived quarlex.exe wrote another file than the Linux build"
echo "the archived quarlex.exe converts a file exactly as the Linux build does"
