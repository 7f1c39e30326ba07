#!/usr/bin/env bash
# Builds the Windows release archive of a MinGW build tree, checks its
# contents, configures a consumer project against its CMake package with
# the MinGW toolchain, and runs the archived quarlex.exe under Wine on a
# file, compared with the Linux build's output.
#
#   check_zip.sh WINDOWS_BUILD_DIR LINUX_QUARLEX
set -euo pipefail
build=$(realpath "$1")
linux_tool=$(realpath "$2")
source_dir=$(realpath "$(dirname "$0")/../..")
source "$source_dir/tests/support/wine.sh"
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
for file in "$top/bin/quarlex.exe" "$top/share/doc/quarlex/LICENSE" "$top/share/doc/quarlex/README.md" \
  "$top/lib/cmake/Quarlex/QuarlexConfig.cmake" "$top/lib/cmake/Quarlex/QuarlexTargets.cmake" \
  "$top/lib/cmake/Quarlex/QuarlexEmbed.cmake"; do
  grep -qx "$file" "$work/contents" || { cat "$work/contents"; fail "$file is not in the archive"; }
done
unzip -q "$archive" -d "$work/unpacked"
cmp "$work/unpacked/$top/share/doc/quarlex/LICENSE" "$source_dir/LICENSE" || fail "the archive's licence differs"
echo "contents: quarlex.exe, licence, README and CMake package in place"

# A cross toolchain looks for packages under its own root only, so the
# package is named by its folder. The TEXT way runs the tool (INCBIN,
# which AUTO takes with MinGW, never does).
printf 'abc' > "$work/payload.bin"
cmake -S "$source_dir/tests/consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DQuarlex_DIR="$work/unpacked/$top/lib/cmake/Quarlex" -DPAYLOAD="$work/payload.bin" \
  -DWAYS="AUTO;TEXT" \
  > "$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "the consumer did not configure"; }
grep -qF "$work/unpacked/$top/bin/quarlex.exe" "$work/consumer/build.ninja" ||
  fail "the consumer's embeds do not run the archived quarlex.exe"
echo "a MinGW consumer configures against the archive's CMake package and embeds with its quarlex.exe"

"${wine[@]}" wineboot -i > /dev/null 2>&1 || true
cd "$work"
head -c 70000 /dev/urandom > data.bin
export SOURCE_DATE_EPOCH=1700000000
"$linux_tool" data.bin linux.h blob
"${wine[@]}" "$work/unpacked/$top/bin/quarlex.exe" data.bin windows.h blob || fail "the archived quarlex.exe failed"
cmp linux.h windows.h || fail "the archived quarlex.exe wrote another file than the Linux build"
echo "the archived quarlex.exe converts a file exactly as the Linux build does"
