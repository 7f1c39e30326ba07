#!/usr/bin/env bash
# Builds the Debian package of a build tree and checks its contents, its
# metadata and that the packaged tool runs.
#
#   check_deb.sh QUARLEX_BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > cpack.log) ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{ print $NF }' > "$work/contents"
for file in ./usr/bin/quarlex ./usr/share/man/man1/quarlex.1.gz \
  ./usr/lib/cmake/Quarlex/QuarlexConfig.cmake ./usr/lib/cmake/Quarlex/QuarlexConfigVersion.cmake \
  ./usr/lib/cmake/Quarlex/QuarlexTargets.cmake ./usr/lib/cmake/Quarlex/QuarlexEmbed.cmake; do
  grep -qx "$file" "$work/contents" || { cat "$work/contents"; fail "$file is not in the package"; }
done
echo "contents: executable, manual page and CMake package in place"

dpkg-deb -I "$deb" > "$work/info"
for field in "Package: quarlex" "Version: 1.5.0" "Architecture: $(dpkg --print-architecture)" \
  "Section: devel" "Maintainer: The Quarlex Developers <quarlex@example.org>"; do
  grep -q "^ *$field\$" "$work/info" || { cat "$work/info"; fail "metadata lacks '$field'"; }
done
echo "metadata: name, version, architecture, section and maintainer right"

dpkg-deb -x "$deb" "$work/root"
printf 'abc' > "$work/abc.bin"
"$work/root/usr/bin/quarlex" "$work/abc.bin" "$work/abc.inc" abc
tail -c 9 "$work/abc.inc" | grep -q "_abc = 3$" || fail "the packaged tool gave a wrong file"
gzip -t "$work/root/usr/share/man/man1/quarlex.1.gz" || fail "the manual page is not gzip"
echo "the packaged tool converts a file"
