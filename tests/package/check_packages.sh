#!/usr/bin/env bash
# Builds the release packages of a Linux build tree (the Debian package and
# the .tar.gz) and checks their contents, the Debian metadata and licence,
# that lintian finds neither an error nor a warning in the Debian package
# (where lintian is at hand; else it says so and fails with 77, which the
# test counts as skipped), and that each packaged tool converts a file.
#
#   check_packages.sh QUARLEX_BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
source_dir=$(realpath "$(dirname "$0")/../..")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/out" > cpack.log) ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/*.deb)
archive=$(ls "$work"/out/*.tar.gz)
echo "packages: $(basename "$deb"), $(basename "$archive")"

# Every file in `list` is in the listing `contents`.
expect_files() {
  local contents=$1
  shift
  for file in "$@"; do
    grep -qx "$file" "$contents" || { cat "$contents"; fail "$file is not in the package"; }
  done
}

# The packaged tool at $1 converts a file exactly.
expect_converts() {
  printf 'abc' > "$work/abc.bin"
  "$1" "$work/abc.bin" "$work/abc.inc" abc
  tail -c 9 "$work/abc.inc" | grep -q "_abc = 3$" || fail "the packaged tool $1 gave a wrong file"
}

dpkg-deb -c "$deb" | awk '{ print $NF }' > "$work/deb-contents"
expect_files "$work/deb-contents" ./usr/bin/quarlex ./usr/share/man/man1/quarlex.1.gz \
  ./usr/share/doc/quarlex/copyright ./usr/share/doc/quarlex/changelog.Debian.gz \
  ./usr/share/doc/quarlex/README.md ./usr/lib/cmake/Quarlex/QuarlexConfig.cmake \
  ./usr/lib/cmake/Quarlex/QuarlexConfigVersion.cmake ./usr/lib/cmake/Quarlex/QuarlexTargets.cmake \
  ./usr/lib/cmake/Quarlex/QuarlexEmbed.cmake ./usr/lib/cmake/Quarlex/QuarlexEmbedGenerate.cmake \
  ./usr/lib/cmake/Quarlex/QuarlexEmbedProbe.cmake ./usr/lib/cmake/Quarlex/QuarlexEmbedText.cmake
if grep -qx ./usr/share/doc/quarlex/LICENSE "$work/deb-contents"; then
  fail "the Debian package carries the licence twice"
fi
echo "Debian package: executable, manual page, copyright, changelog, README and CMake package in place"

dpkg-deb -I "$deb" > "$work/info"
for field in "Package: quarlex" "Version: 1.5.0-1" "Architecture: $(dpkg --print-architecture)" \
  "Section: devel" "Maintainer: The Quarlex Developers <quarlex@example.org>"; do
  grep -q "^ *$field\$" "$work/info" || { cat "$work/info"; fail "metadata lacks '$field'"; }
done
grep -q "^ Depends: .*libc6" "$work/info" || { cat "$work/info"; fail "the package names no libraries"; }
echo "metadata: name, version, architecture, section, maintainer and dependencies right"

dpkg-deb -x "$deb" "$work/root"
cmp "$work/root/usr/share/doc/quarlex/copyright" "$source_dir/LICENSE" ||
  fail "the copyright file is not the licence"
grep -q "^Copyright (c) 2026 The Quarlex Developers$" "$work/root/usr/share/doc/quarlex/copyright" ||
  fail "the licence lacks the copyright line"
gzip -t "$work/root/usr/share/man/man1/quarlex.1.gz" || fail "the manual page is not gzip"
# A dynamically linked program names the libraries it needs.
readelf -d "$work/root/usr/bin/quarlex" | grep -q "(NEEDED)" ||
  fail "the Debian package's tool is not linked dynamically"
expect_converts "$work/root/usr/bin/quarlex"
echo "the Debian package's tool converts a file; its copyright file is the MIT licence"

top=$(basename "$archive" .tar.gz)
tar -tzf "$archive" > "$work/tar-contents"
expect_files "$work/tar-contents" "$top/bin/quarlex" "$top/share/man/man1/quarlex.1.gz" \
  "$top/share/doc/quarlex/LICENSE" "$top/share/doc/quarlex/README.md"
mkdir "$work/unpacked"
tar -xzf "$archive" -C "$work/unpacked"
cmp "$work/unpacked/$top/share/doc/quarlex/LICENSE" "$source_dir/LICENSE" || fail "the archive's licence differs"
expect_converts "$work/unpacked/$top/bin/quarlex"
! readelf -d "$work/unpacked/$top/bin/quarlex" 2> /dev/null | grep -q "(NEEDED)" ||
  fail "the archive's tool is not linked statically"
echo "archive: executable (static), manual page, README and licence in place; its tool converts a file"

if ! command -v lintian > /dev/null; then
  echo "lintian is missing (apt-get install lintian): the Debian package was not checked by it"
  exit 77
fi
lintian --info --display-info --pedantic "$deb" > "$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -qE "^(E|W): " "$work/lintian.log"; then
  fail "lintian finds errors or warnings in the Debian package"
fi
echo "lintian: no error and no warning"
