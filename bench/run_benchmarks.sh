#!/usr/bin/env bash
# Whole-process benchmark: times quarlex against xxd -i, od and the dd floor
# on generated inputs, in one run, and prints MB/s, ratios, the instruction
# count per input byte and peak memory. It prints figures; it never fails on
# a time.
#
#   bench/run_benchmarks.sh [path/to/quarlex]
#
# The table against the floor is printed for every composer the processor
# runs (AVX-512, AVX2, portable), each from a build capped at it, idle and
# busy, in one run; idle, each build also runs held to one processor, so
# that the table shows what the writer thread bought and what it cost.
#
# Environment: RUNS (default 7), FILE_RUNS (rounds of the comparison with
# dd, default 2 * RUNS + 1), SIZE_MIB (default 64), BIG_MIB (default 1024),
# FLOOR_MIB (the input of the comparison with the floor, idle and busy,
# default 256), FLOOR_RUNS (its rounds per condition, default 11), WORK
# (scratch folder on the file system to measure, default a new folder under
# /tmp), COMPOSER_TOOLS (the builds compared with the floor, one per
# composer, as "name=path ..."; by default the script builds the tool from
# the source tree it belongs to once per QUARLEX_COMPOSER value the
# processor runs, of avx512, avx2 and portable, in the scratch folder:
# CMAKE_CXX_COMPILER_LAUNCHER in the environment, such as ccache, is
# used), PORTABLE_TOOL (a build whose instructions are counted too; by
# default the one named portable), HOLD_PAGE_REPORTING (1: while the
# rounds against the floor run, the kernel hands no free memory back to
# the host of its virtual machine; root only, the setting is put back at
# the end).
set -euo pipefail
export LC_ALL=C

source_tree=$(realpath "$(dirname "$0")/..")
tool=$(realpath "${1:-build-dev/quarlex}")
portable_tool=${PORTABLE_TOOL:+$(realpath "$PORTABLE_TOOL")}
runs=${RUNS:-7}
# Writing into a file varies far more from run to run than the rest, and a
# round costs a fraction of a second, so that comparison takes more rounds.
file_runs=${FILE_RUNS:-$((2 * runs + 1))}
size_mib=${SIZE_MIB:-64}
big_mib=${BIG_MIB:-1024}
floor_mib=${FLOOR_MIB:-256}
floor_runs=${FLOOR_RUNS:-11}
# The builds to compare with the floor, one per composer.
composer_names=() composer_tools=()
for entry in ${COMPOSER_TOOLS:-}; do
  composer_names+=("${entry%%=*}")
  composer_tools+=("$(realpath "${entry#*=}")")
  [ -n "$portable_tool" ] || [ "${entry%%=*}" != portable ] || portable_tool=${composer_tools[-1]}
done
work=${WORK:-$(mktemp -d /tmp/quarlex-bench-XXXXXX)}
mkdir -p "$work"
busy_pids=()
stop_busy_loops() {
  ((${#busy_pids[@]} == 0)) || kill "${busy_pids[@]}" 2> /dev/null || true
  wait "${busy_pids[@]}" 2> /dev/null || true
  busy_pids=()
}
# A virtual machine's balloon may report freed memory to its host, which
# takes the pages away; whichever run next gets such pages pays the host
# for each of them again, seconds of system time for a run that writes a
# gigabyte, at random: the floor and the tool alike. The kernel reports
# only free blocks of at least page_reporting_order; above the largest
# order it reports nothing.
reporting=/sys/module/page_reporting/parameters
held_order=
hold_page_reporting() {
  [ "${HOLD_PAGE_REPORTING:-0}" = 1 ] || return 0
  if [ ! -w "$reporting/page_reporting_order" ]; then
    echo "HOLD_PAGE_REPORTING: $reporting/page_reporting_order is not writable" >&2
    exit 1
  fi
  held_order=$(cat "$reporting/page_reporting_order")
  # /proc/buddyinfo has one column per order, from order 0.
  awk '{ print NF - 4; exit }' /proc/buddyinfo > "$reporting/page_reporting_order"
}
release_page_reporting() {
  [ -z "$held_order" ] || echo "$held_order" > "$reporting/page_reporting_order"
  held_order=
}
# MiB reported to the host so far, where the kernel counts them.
reported_mib() { [ -r "$reporting/reported_kib" ] && echo $(($(cat "$reporting/reported_kib") / 1024)) || echo 0; }
trap 'stop_busy_loops; release_page_reporting; rm -rf "$work"' EXIT
cd "$work"

# Whether this processor runs the vector composer `name` (avx512, avx2):
# every instruction set on its list in the source, which the tool asks the
# processor about before choosing it, is among the kernel's flags for the
# processor (spelt there with underscores: avx512_vbmi2). The portable
# composer runs everywhere.
processor_offers() {
  local list flags feature
  [ "$1" = portable ] && return 0
  # The list is the macro's definition: its first line and every line
  # continued by a backslash.
  list=$(awk -v macro="QUARLEX_${1^^}_COMPOSER_FEATURES(" 'index($0, "#define " macro) { on = 1 }
      on { print; if ($0 !~ /\\$/) exit }' "$source_tree/src/text/full_lines_x86.h" |
    grep -o 'FEATURE("[a-z0-9_]*")' | sed 's/.*("\(.*\)")/\1/')
  [ -n "$list" ] || return 1
  flags=" $(sed -n 's/^flags[[:space:]]*: //p' /proc/cpuinfo 2> /dev/null | head -n 1 | tr -d _) "
  for feature in $list; do [[ $flags == *" $feature "* ]] || return 1; done
}

if ((${#composer_names[@]} == 0)); then
  for composer in avx512 avx2 portable; do
    if ! processor_offers "$composer"; then
      echo "not measured: this processor does not run the $composer composer"
      continue
    fi
    echo "building the tool with QUARLEX_COMPOSER=$composer ..."
    cmake -S "$source_tree" -B "build-$composer" -DCMAKE_BUILD_TYPE=Release -DQUARLEX_COMPOSER="$composer" \
      -DQUARLEX_BUILD_TESTS=OFF -DQUARLEX_INSTALL=OFF > "build-$composer.log" 2>&1 &&
      cmake --build "build-$composer" --target quarlex -j "$(nproc)" >> "build-$composer.log" 2>&1 ||
      { cat "build-$composer.log"; exit 1; }
    composer_names+=("$composer")
    composer_tools+=("$work/build-$composer/quarlex")
  done
  [ -n "$portable_tool" ] || portable_tool=$work/build-portable/quarlex
fi

mib=$((1024 * 1024))
input_bytes=$((size_mib * mib))

# --- inputs -----------------------------------------------------------------
head -c "$input_bytes" /dev/urandom > random.bin
head -c "$input_bytes" /dev/zero > zero.bin
# Values 100 to 255 only: the longest texts.
tr '\000-\377' '\144-\377\144-\377' < random.bin > high.bin
head -c $((4 * mib)) random.bin > random4.bin
# Written back now, not by the kernel's threads during the first timings.
sync


# Microseconds that one run of "$@" takes, output to /dev/null (bash's own
# clock, so that no process is started around the measured one).
time_once() {
  local start end
  start=${EPOCHREALTIME/./}
  "$@" > /dev/null
  end=${EPOCHREALTIME/./}
  echo $((end - start))
}

# "median min max" in seconds of the microsecond samples given.
summarise() {
  printf '%s\n' "$@" | sort -n |
    awk '{ t[NR] = $1 } END { printf "%.4f %.4f %.4f\n", t[int((NR + 1) / 2)] / 1e6, t[1] / 1e6, t[NR] / 1e6 }'
}

# Runs "$@" once untimed, so that every row starts from the same warm
# caches, then $runs times; prints "median min max" in seconds.
time_runs() {
  local samples=()
  "$@" > /dev/null
  for ((i = 0; i < runs; i++)); do samples+=("$(time_once "$@")"); done
  summarise "${samples[@]}"
}

# MB/s of input for a time in seconds.
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", b / s / 1e6 }'; }

row() {  # name input_bytes "median min max"
  local median min max
  read -r median min max <<< "$3"
  printf '%-44s %9.1f %9.1f %9.1f %9s\n' "$1" "$(awk -v x="$median" 'BEGIN{print x*1000}')" \
    "$(awk -v x="$min" 'BEGIN{print x*1000}')" "$(awk -v x="$max" 'BEGIN{print x*1000}')" \
    "$(rate "$2" "$median")"
}

echo "quarlex benchmark, $(date -u +%Y-%m-%d), $(nproc) cores, $(uname -m)"
echo "CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
echo "inputs: ${size_mib} MiB each; ${runs} runs per line, ${file_runs} into a file; times in ms"
echo
printf '%-44s %9s %9s %9s %9s\n' "command" "median" "min" "max" "MB/s"

# --- 1. into /dev/null ------------------------------------------------------
quarlex_null=$(time_runs "$tool" random.bin /dev/null)
row "quarlex random -> /dev/null (.inc)" "$input_bytes" "$quarlex_null"
for input in zero high; do
  for flavour in inc h; do
    ln -sf /dev/null "null.$flavour"
    row "quarlex $input -> /dev/null (.$flavour)" "$input_bytes" \
      "$(time_runs "$tool" "$input.bin" "null.$flavour")"
  done
done
xxd_null=$(time_runs xxd -i random.bin)
row "xxd -i random -> /dev/null" "$input_bytes" "$xxd_null"
od_null=$(time_runs od -An -v -tu1 -w16 random.bin)
row "od -An -v -tu1 -w16 random -> /dev/null" "$input_bytes" "$od_null"

# --- 3. into a file on disk, against dd writing as many bytes ---------------
# Both write a new file: before each timed run the old one is removed and
# the dirty pages are synced, untimed, so that neither pays for freeing or
# writing back what an earlier run left. They take turns, each going first
# in every other round, so that both meet the same state of the disk.
"$tool" random.bin out.inc
output_bytes=$(stat -c %s out.inc)
# dd writes blocks of 256 KiB, the size of quarlex's writes. Larger blocks
# make dd faster here (1 MiB by about a tenth); larger chunks did not make
# quarlex faster.
write_with_dd() { dd if=/dev/zero of=dd.out bs=256K count="$output_bytes" iflag=count_bytes status=none; }
fresh_time() {  # target_file command...
  rm -f "$1"
  sync
  shift
  time_once "$@"
}
quarlex_samples=() dd_samples=()
for ((i = 0; i < file_runs; i++)); do
  if ((i % 2 == 0)); then
    quarlex_samples+=("$(fresh_time out.inc "$tool" random.bin out.inc)")
    dd_samples+=("$(fresh_time dd.out write_with_dd)")
  else
    dd_samples+=("$(fresh_time dd.out write_with_dd)")
    quarlex_samples+=("$(fresh_time out.inc "$tool" random.bin out.inc)")
  fi
done
quarlex_file=$(summarise "${quarlex_samples[@]}")
dd_file=$(summarise "${dd_samples[@]}")
row "quarlex random -> file" "$input_bytes" "$quarlex_file"
row "dd $output_bytes bytes -> file" "$input_bytes" "$dd_file"

median() { echo "$1" | cut -d' ' -f1; }
echo
awk -v q="$(median "$quarlex_null")" -v x="$(median "$xxd_null")" -v o="$(median "$od_null")" \
  -v f="$(median "$quarlex_file")" -v d="$(median "$dd_file")" 'BEGIN {
  printf "quarlex is %.0f times as fast as xxd -i and %.0f times as fast as od (into /dev/null)\n", x / q, o / q
  printf "quarlex into a file takes %.2f times the time of dd writing the same bytes\n", f / d
}'
# The same, round by round: each round's two runs met the same disk.
for ((i = 0; i < file_runs; i++)); do
  awk -v q="${quarlex_samples[i]}" -v d="${dd_samples[i]}" 'BEGIN { printf "%.4f\n", q / d }'
done | sort -n | awk '{ r[NR] = $1 } END {
  printf "median of the %d rounds'"'"' own ratios: %.2f\n", NR, r[int((NR + 1) / 2)] }'

# --- 5. into a file, idle and with every core busy, against the floor -----
# The floor is the same job done by the system alone: one shell that reads
# the source with dd, then writes as many bytes as the include file holds
# with dd, 256 KiB at a time. Every run writes a new file after the old one
# was removed and the disk synced, untimed; in each round the floor and
# every composer's build run once, in an order that turns by one place
# from round to round, so that each meets the disk and the machine in every
# position. Wall time, and CPU time (user and system, of the whole process:
# every thread), are compared, idle and with one busy loop per core
# running, as in a parallel build.
head -c $((floor_mib * mib)) /dev/urandom > floor.bin
"$tool" floor.bin floor.inc
floor_bytes=$(stat -c %s floor.inc)
rm -f floor.inc
sync
floor_job() {
  dd if=floor.bin of=/dev/null bs=256K status=none
  dd if=/dev/zero of=floor.out bs=256K count="$floor_bytes" iflag=count_bytes status=none
}
# "wall cpu" in seconds for one run of "$@" into a fresh file.
measure_fresh() {
  rm -f floor.inc floor.out
  sync
  local TIMEFORMAT='%R %U %S' times
  times=$({ time "$@" > /dev/null; } 2>&1)
  awk '{ printf "%.4f %.4f\n", $1, $2 + $3 }' <<< "$times"
}
# One busy loop per core, each ending by itself after `seconds` at the
# latest, and all of them when the script ends.
start_busy_loops() {
  local seconds=$1
  for ((core = 0; core < $(nproc); core++)); do
    (end=$((SECONDS + seconds)); while ((SECONDS < end)); do :; done) &
    busy_pids+=($!)
  done
}
median_of() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The first and third quartiles of the values read, as "q1-q3": how far
# the rounds spread.
quartiles_of() { sort -n | awk '{ v[NR] = $1 } END { printf "%.3f-%.3f", v[int((NR + 3) / 4)], v[int((3 * NR + 3) / 4)] }'; }
echo
echo "into a file against the floor (dd reads the source, dd writes as many bytes): ${floor_mib} MiB"
echo "of random bytes, ${floor_runs} rounds per condition, medians; CPU is user + system"
printf '%-6s %-10s %8s %8s %14s %9s %13s\n' condition run "wall s" "cpu s" "x floor w / c" "rounds x" "wall q1-q3"
# A build held to one processor is named "<composer>/1": no writer thread
# can run beside its composing, so the run writes every chunk itself.
one_processor=$(taskset -pc $$ 2> /dev/null | sed 's/.*: *//; s/[-,].*//') || one_processor=
[ -n "$one_processor" ] || echo "not measured on one processor: taskset is not available"
composer_tool() { for i in "${!composer_names[@]}"; do [ "${composer_names[i]}" != "$1" ] || echo "${composer_tools[i]}"; done; }
measure_entrant() {  # name
  case $1 in
    floor) measure_fresh floor_job ;;
    */1) measure_fresh taskset -c "$one_processor" "$(composer_tool "${1%/1}")" floor.bin floor.inc ;;
    *) measure_fresh "$(composer_tool "$1")" floor.bin floor.inc ;;
  esac
}
hold_page_reporting
for condition in idle busy; do
  entrants=(floor "${composer_names[@]}")
  # Busy, every build keeps its chunks to its one thread anyway.
  [ "$condition" = busy ] || [ -z "$one_processor" ] || entrants+=("${composer_names[@]/%//1}")
  echo "load before the ${condition} rounds: $(cut -d' ' -f1-3 /proc/loadavg)"
  reported_before=$(reported_mib)
  # Bounded well beyond what the rounds take, should they be slow.
  [ "$condition" = idle ] || start_busy_loops $((floor_runs * ${#entrants[@]} * 30))
  : > rounds.txt
  for ((i = 0; i < floor_runs; i++)); do
    for ((k = 0; k < ${#entrants[@]}; k++)); do
      name=${entrants[(i + k) % ${#entrants[@]}]}
      echo "$i $name $(measure_entrant "$name")" >> rounds.txt
    done
  done
  stop_busy_loops
  [ ! -r "$reporting/reported_kib" ] ||
    echo "memory reported to the host during the ${condition} rounds: $(($(reported_mib) - reported_before)) MiB" \
      "(page reporting $([ -n "$held_order" ] && echo held || echo on))"
  f_wall=$(awk '$2 == "floor" { print $3 }' rounds.txt | median_of)
  f_cpu=$(awk '$2 == "floor" { print $4 }' rounds.txt | median_of)
  for name in "${entrants[@]}"; do
    wall=$(awk -v n="$name" '$2 == n { print $3 }' rounds.txt | median_of)
    cpu=$(awk -v n="$name" '$2 == n { print $4 }' rounds.txt | median_of)
    spread=$(awk -v n="$name" '$2 == n { print $3 }' rounds.txt | quartiles_of)
    # Each round's own wall ratio against that round's floor.
    own=$(awk -v n="$name" '$2 == "floor" { f[$1] = $3 } $2 == n { t[$1] = $3 }
      END { for (r in t) print t[r] / f[r] }' rounds.txt | median_of)
    awk -v c="$condition" -v n="$name" -v w="$wall" -v u="$cpu" -v fw="$f_wall" -v fc="$f_cpu" \
      -v r="$own" -v q="$spread" 'BEGIN { printf "%-6s %-10s %8.3f %8.3f %6.2f / %5.2f %9.2f %13s\n", c, n, w, u, w / fw, u / fc, r, q }'
  done
done
echo "(x floor: the median over the floor's median, wall / CPU; rounds x: the median of each round's own wall ratio;"
echo " wall q1-q3: the first and third quartiles of the rounds' wall times, in seconds; <composer>/1: that build"
echo " held to one processor with taskset, so that it writes every chunk itself)"
release_page_reporting
rm -f floor.bin floor.inc floor.out rounds.txt

# --- 2. instructions per input byte -----------------------------------------
if command -v valgrind > /dev/null; then
  # valgrind offers the program AVX2 where the processor has it, but never
  # AVX-512: the build as given runs the AVX2 composer or the portable one.
  count_instructions() {
    valgrind --tool=callgrind --callgrind-out-file=callgrind.out "$2" random4.bin /dev/null 2> callgrind.log
    local instructions
    instructions=$(sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' callgrind.log)
    awk -v what="$1" -v n="$instructions" -v b=$((4 * mib)) 'BEGIN {
      printf "instructions for a whole conversion of 4 MiB under valgrind, %s: %d, %.2f per input byte\n", what, n, n / b }'
  }
  count_instructions "as built" "$tool"
  [ -z "$portable_tool" ] || count_instructions "portable composer" "$portable_tool"
fi

# --- 4. peak memory ---------------------------------------------------------
if [ -x /usr/bin/time ]; then
  # Into /dev/null the output is written at once; into a file, by the
  # writer thread with its buffers.
  peak() { /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -n 1; }
  for ((i = 0; i < big_mib / size_mib; i++)); do cat random.bin; done > big.bin
  for input in random.bin big.bin; do
    mib_in=$(($(stat -c %s "$input") / mib))
    echo "peak resident memory, ${mib_in} MiB input: $(peak "$tool" "$input" /dev/null) KiB into /dev/null," \
      "$(peak "$tool" "$input" out.inc) KiB into a file"
    rm -f out.inc
  done
fi
