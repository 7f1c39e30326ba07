#!/usr/bin/env bash
# Builds the consumer project against QUARLEX and checks, for each way of
# embedding the compiler takes, the embedded bytes, sizes, alignment and an
# empty file from C and C++, the section of the data (read-only with
# CONST); that a build with nothing changed does nothing; that a changed
# file of the same size recompiles only the generated definitions and no
# source that includes a header; that a change of size regenerates the
# headers and recompiles their users; and that a rebuilt tool regenerates
# what it wrote. The embedded file's name holds a blank and a quote.
#
#   check_consumer.sh MODE QUARLEX_BUILD_DIR QUARLEX_SOURCE_DIR
#
# MODE: find_package, add_subdirectory or fetch_content (gcc), clang-19
# (find_package; skipped where clang-19 is missing), mingw (find_package,
# cross-built, run under Wine; skipped where either is missing), or
# "failures": configures that must fail, each with a message that names the
# problem: two embeds into one generated file (OUTPUT defaulted and given),
# one label twice, a name the build tools cannot carry, a bad ALIGN, an
# OUTPUT that would get the assembler flavour, a way the compiler lacks.
set -euo pipefail
mode=$1
ways=AUTO
quarlex_build=$(realpath "$2")
quarlex_source=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
cleanup() {
  [ -z "${WINEPREFIX:-}" ] || { "$wineserver" -k 2> /dev/null || true; rm -rf "$WINEPREFIX"; }
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "$*: skipped"; exit 77; }

payload="$work/pay \"load\".bin"  # a blank and a quote, which the build must carry
plain_payload="$work/plain payload.bin"
write_payload() { printf "$1" > "$payload"; printf "$1" > "$plain_payload"; }
write_payload 'first payload \000\001\377 bytes'
: > "$work/empty.bin"
settings=(-G Ninja -DPAYLOAD="$payload" -DPLAIN_PAYLOAD="$plain_payload")
objdump=objdump
runner=()
suffix=
case $mode in
  find_package) ways="AUTO;INCBIN;TEXT" ;;
  add_subdirectory | fetch_content) ways="AUTO" ;;
  clang-19)
    command -v clang-19 > /dev/null || skip "clang-19 is not installed"
    settings+=(-DCMAKE_C_COMPILER=clang-19 -DCMAKE_CXX_COMPILER=clang++-19)
    ways="AUTO;INCBIN;EMBED;TEXT" ;;
  mingw)
    command -v x86_64-w64-mingw32-gcc > /dev/null || skip "MinGW-w64 is not installed"
    source "$here/../support/wine.sh"
    [ -x "$wine_loader" ] || skip "Wine is not installed"
    settings+=(-DCMAKE_TOOLCHAIN_FILE="$quarlex_source/cmake/toolchains/mingw-w64-x86_64.cmake")
    objdump=x86_64-w64-mingw32-objdump
    runner=("${wine[@]}")
    suffix=.exe
    ways="AUTO;INCBIN;TEXT" ;;
esac
settings+=(-DWAYS="$ways")

if [ "$mode" = failures ]; then
  cmake --install "$quarlex_build" --prefix "$work/prefix" > /dev/null
  mkdir -p "$work/a" "$work/b"
  printf 'a' > "$work/a/logo.png"
  printf 'b' > "$work/b/logo.png"
  printf 'c' > "$work/a|b.bin"
  check_failure() {  # case, then the texts the error must hold
    local case=$1
    shift
    if cmake -S "$here" -B "$work/$case" -G Ninja -DQUARLEX_CONSUMER_MODE=find_package \
      -DCMAKE_PREFIX_PATH="$work/prefix" -DPAYLOAD="$work/payload.bin" -DFAILING_CASE="$case" \
      > "$work/$case.log" 2>&1; then
      fail "the $case case configured without an error"
    fi
    for expected in "$@"; do
      grep -qF -- "$expected" "$work/$case.log" || { cat "$work/$case.log"; fail "the $case error lacks '$expected'"; }
    done
    echo "$case: the configure fails and says why"
  }
  check_failure output-default "quarlex_embed: print_embedded would generate logo.png.h twice" \
    "$work/a/logo.png" "$work/b/logo.png" "Give OUTPUT (and LABEL) to tell them apart"
  check_failure output-given "quarlex_embed: print_embedded would generate logo.h twice" \
    "$work/a/logo.png" "$work/b/logo.png"
  check_failure label "quarlex_embed: print_embedded would embed two files under the label blob" \
    "$work/a/logo.png" "$work/b/logo.png" "Give one of them another LABEL"
  check_failure name "quarlex_embed: the file '$work/a|b.bin' holds '|'" "rename the file"
  check_failure align "quarlex_embed: ALIGN 48 is not a power of two"
  check_failure align-zero "quarlex_embed: ALIGN 0 is not a power of two"
  check_failure extension "quarlex_embed: OUTPUT payload.inc: the extension 'inc' is no C or C++" \
    "add RAW"
  check_failure method "quarlex_embed: METHOD EMBED for payload.bin: the C compiler GNU" \
    "12.2" "#embed" "it takes INCBIN, TEXT"
  exit 0
fi

if [ "$mode" = mingw ]; then
  WINEPREFIX=$(mktemp -d /tmp/quarlex-wine-XXXXXX)
  export WINEPREFIX WINEDEBUG=-all
  "$wineserver" -p
  "${wine[@]}" wineboot -i > /dev/null 2>&1 || true
fi
case $mode in
  find_package | clang-19 | mingw)
    cmake --install "$quarlex_build" --prefix "$work/prefix" > "$work/install.log" 2>&1 ||
      { cat "$work/install.log"; fail "the install failed"; }
    # A cross toolchain searches its own root for packages: the folder is named.
    settings+=(-DQUARLEX_CONSUMER_MODE=find_package -DQuarlex_DIR="$work/prefix/lib/cmake/Quarlex") ;;
  *) settings+=(-DQUARLEX_CONSUMER_MODE="$mode" -DQUARLEX_SOURCE_DIR="$quarlex_source") ;;
esac
cmake -S "$here" -B "$work/build" "${settings[@]}" > "$work/configure.log" ||
  { cat "$work/configure.log"; fail "the configure failed"; }
header="$work/build/quarlex_embed/print_embedded/payload.hxx"
if [ "$mode" = add_subdirectory ] || [ "$mode" = fetch_content ]; then
  # The consumer sets no build type: the tool is optimised all the same,
  # and the consumer's own build type stays unset.
  grep -qx "CMAKE_BUILD_TYPE:STRING=" "$work/build/CMakeCache.txt" ||
    fail "the consumer's build type was set: $(grep CMAKE_BUILD_TYPE: "$work/build/CMakeCache.txt")"
  release_flags=$(sed -n 's/^CMAKE_CXX_FLAGS_RELEASE:STRING=//p' "$work/build/CMakeCache.txt")
  tool_commands=$(ninja -C "$work/build" -t commands quarlex | grep -E -- " -c .*/src/")
  ! grep -vqF -- "$release_flags" <<< "$tool_commands" ||
    fail "the tool is compiled without '$release_flags': $(grep -vF -- "$release_flags" <<< "$tool_commands" | head -n 1)"
  grep -qF -- "$release_flags" <<< "$(ninja -C "$work/build" -t commands print_embedded | grep -- "print_embedded.c")" &&
    fail "the consumer's own sources got the tool's optimisation flags"
  echo "no build type: the tool compiled with '$release_flags', the consumer's sources without"
fi
IFS=';' read -r -a way_list <<< "$ways"

# The flags of the section that holds a program's symbol ("READONLY" among
# them for read-only data), from the symbol table: by name in ELF, by
# number (from 1) in PE.
section_flags() {  # program symbol
  local section
  if "$objdump" -f "$1" | grep -q "file format pe"; then
    local number
    number=$("$objdump" -t "$1" | sed -n "s/^\[ *[0-9]*\](sec *\([0-9]*\)).* $2\$/\1/p" | head -n 1)
    section=$("$objdump" -h "$1" | awk -v index_=$((number - 1)) '$1 == index_ { print $2 }')
  else
    section=$("$objdump" -t "$1" | awk -v symbol="$2" '$NF == symbol { print $(NF - 2) }' | head -n 1)
  fi
  [ -n "$section" ] || fail "$2 is not in the symbol table of $1"
  "$objdump" -h "$1" | awk -v name="$section" '$2 == name { getline; print name ": " $0 }'
}

check_programs() {
  local printed size program flags
  size=$(stat -c %s "$payload")
  cd "$work"  # Wine's programs take names relative to the folder they start in
  printed=$("${runner[@]}" "build/print_embedded$suffix" copy.bin | tr -d '\r')
  cmp copy.bin "$payload" || fail "the embedded bytes differ from the file"
  [ "$printed" = "$size" ] || fail "size $printed is not the file's"
  for way in "${way_list[@]}"; do
    for program in "embed_$way" "const_$way"; do
      printed=$("${runner[@]}" "build/$program$suffix" copy2.bin | tr -d '\r') ||
        fail "$program found a wrong size, address or alignment (status $?)"
      cmp copy2.bin "$payload" || fail "the bytes seen through $program's header differ"
      [ "$printed" = "$size" ] || fail "size $printed through $program's header is not the file's"
      rm copy2.bin
    done
    flags=$(section_flags "build/const_$way$suffix" shared)
    [[ $flags == *READONLY* ]] || fail "CONST data of const_$way is writable: $flags"
    flags=$(section_flags "build/embed_$way$suffix" shared)
    [[ $flags != *READONLY* ]] || fail "the data of embed_$way is read-only without CONST: $flags"
  done
  cd - > /dev/null
}

# Waits until a file written now is newer than the generated header. Where
# file times have the clock tick as their grain, a file rewritten within
# the tick that wrote the header would look to Ninja no newer than it, and
# the change would be missed.
wait_past_header() {
  touch "$work/tick"
  while [ ! "$work/tick" -nt "$header" ]; do
    sleep 0.01
    touch "$work/tick"
  done
}

# The objects a build compiled, less the generated definitions.
compiled_users() { grep -E "Building (C|CXX) object" "$1" | grep -v "\.quarlex_data/" || true; }
# The generated definitions of the embedded payload that a build compiled.
compiled_definitions() { grep -cE "Building (C|CXX) object .*/\.quarlex_data/(shared\.h|payload\.hxx)\." "$1" || true; }
definitions=$((2 * ${#way_list[@]} + 1))

# Runs a build step, its whole log in the test's output if it fails.
build() {  # log name
  cmake --build "$work/build" > "$work/$1.log" 2>&1 || { cat "$work/$1.log"; fail "the $1 build failed"; }
}

build first
# The way AUTO took, from the comment of the generated definition.
auto_way=$(sed -n 's/.*(METHOD \([A-Z]*\)).*/\1/p' "$work/build/quarlex_embed/embed_AUTO/.quarlex_data/shared.h."c)
# The cheapest way measured, on every compiler here.
[ "$auto_way" = INCBIN ] || fail "AUTO took $auto_way"
echo "AUTO takes $auto_way: $(grep -o 'takes .*' "$work/configure.log")"

grep -q "Embedding pay \"load\".bin" "$work/first.log" || fail "the first build did not generate the header"
check_programs
echo "first build ($ways): bytes, size, 64-byte alignment and an empty file right from C and C++;" \
  "CONST data read-only, other data writable"

stamp=$(stat -c %y "$header")
build second
grep -q "no work to do" "$work/second.log" || { cat "$work/second.log"; fail "a build with nothing changed did work"; }
[ "$(stat -c %y "$header")" = "$stamp" ] || fail "a build with nothing changed regenerated the header"
echo "unchanged build: nothing regenerated"

wait_past_header
write_payload 'FIRST PAYLOAD \000\001\376 BYTES'  # the same size
build third
[ "$(stat -c %y "$header")" = "$stamp" ] || fail "a change of the same size rewrote the header"
users=$(compiled_users "$work/third.log")
[ -z "$users" ] || { cat "$work/third.log"; fail "a change of the same size recompiled users: $users"; }
[ "$(compiled_definitions "$work/third.log")" = "$definitions" ] ||
  { cat "$work/third.log"; fail "a change of the same size did not recompile each of the $definitions definitions"; }
check_programs
echo "changed file of the same size: only the $definitions generated definitions recompiled"

wait_past_header
write_payload 'second, longer payload \000\377'
build fourth
[ "$(stat -c %y "$header")" != "$stamp" ] || fail "a change of size left the header as it was"
compiled_users "$work/fourth.log" | grep -q "anywhere_other.c" ||
  { cat "$work/fourth.log"; fail "a change of size did not recompile the header's users"; }
check_programs
echo "changed size: headers rewritten, users recompiled, bytes and size right"

# The tool's text is regenerated by a newer tool; the other ways never run it.
if [[ ";$ways;" == *";TEXT;"* ]]; then
  touch "$work/prefix/bin/quarlex"
  build fifth
  grep -q "Embedding pay \"load\".bin in shared.h (TEXT)" "$work/fifth.log" ||
    { cat "$work/fifth.log"; fail "a newer tool did not regenerate the files it wrote"; }
  ! grep -q "(INCBIN)" "$work/fifth.log" || fail "a newer tool regenerated files it does not write"
  echo "newer tool: the files it writes regenerated, no others"
fi
