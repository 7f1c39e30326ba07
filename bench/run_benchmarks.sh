#!/usr/bin/env bash
# Whole-process benchmark: times quarlex against xxd -i, od and the dd floor
# on generated inputs, in one run, and prints MB/s, ratios, the instruction
# count per input byte and peak memory. It prints figures; it never fails on
# a time.
#
#   bench/run_benchmarks.sh [path/to/quarlex]
#
# Environment: RUNS (default 7), SIZE_MIB (default 64), BIG_MIB (default
# 1024), WORK (scratch folder on the file system to measure, default a new
# folder under /tmp).
set -euo pipefail
export LC_ALL=C

tool=$(realpath "${1:-build/quarlex}")
runs=${RUNS:-7}
size_mib=${SIZE_MIB:-64}
big_mib=${BIG_MIB:-1024}
work=${WORK:-$(mktemp -d /tmp/quarlex-bench-XXXXXX)}
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cd "$work"

mib=$((1024 * 1024))
input_bytes=$((size_mib * mib))

# --- inputs -----------------------------------------------------------------
head -c "$input_bytes" /dev/urandom > random.bin
head -c "$input_bytes" /dev/zero > zero.bin
# Values 100 to 255 only: the longest texts.
tr '\000-\377' '\144-\377\144-\377' < random.bin > high.bin
head -c $((4 * mib)) random.bin > random4.bin


# Runs "$@" $runs times; prints "median min max" in seconds (bash's own
# clock, so that no process is started around the measured one).
time_runs() {
  local samples=() start end
  for ((i = 0; i < runs; i++)); do
    start=${EPOCHREALTIME/./}
    "$@" > /dev/null
    end=${EPOCHREALTIME/./}
    samples+=($((end - start)))
  done
  printf '%s\n' "${samples[@]}" | sort -n |
    awk '{ t[NR] = $1 } END { printf "%.4f %.4f %.4f\n", t[int((NR + 1) / 2)] / 1e6, t[1] / 1e6, t[NR] / 1e6 }'
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
echo "inputs: ${size_mib} MiB each; ${runs} runs per line; times in ms"
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
"$tool" random.bin out.inc
output_bytes=$(stat -c %s out.inc)
quarlex_file=$(time_runs "$tool" random.bin out.inc)
row "quarlex random -> file" "$input_bytes" "$quarlex_file"
dd_file=$(time_runs dd if=/dev/zero of=dd.out bs=256K count="$output_bytes" iflag=count_bytes status=none)
row "dd $output_bytes bytes -> file" "$input_bytes" "$dd_file"

median() { echo "$1" | cut -d' ' -f1; }
echo
awk -v q="$(median "$quarlex_null")" -v x="$(median "$xxd_null")" -v o="$(median "$od_null")" \
  -v f="$(median "$quarlex_file")" -v d="$(median "$dd_file")" 'BEGIN {
  printf "quarlex is %.0f times as fast as xxd -i and %.0f times as fast as od (into /dev/null)\n", x / q, o / q
  printf "quarlex into a file takes %.2f times the time of dd writing the same bytes\n", f / d
}'

# --- 2. instructions per input byte -----------------------------------------
if command -v valgrind > /dev/null; then
  valgrind --tool=callgrind --callgrind-out-file=callgrind.out "$tool" random4.bin /dev/null 2> callgrind.log
  instructions=$(sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' callgrind.log)
  awk -v n="$instructions" -v b=$((4 * mib)) 'BEGIN {
    printf "instructions for a whole conversion of 4 MiB: %d, %.2f per input byte\n", n, n / b }'
fi

# --- 4. peak memory ---------------------------------------------------------
if [ -x /usr/bin/time ]; then
  peak() { /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -n 1; }
  echo "peak resident memory, ${size_mib} MiB input: $(peak "$tool" random.bin /dev/null) KiB"
  for ((i = 0; i < big_mib / size_mib; i++)); do cat random.bin; done > big.bin
  echo "peak resident memory, $((big_mib / size_mib * size_mib)) MiB input: $(peak "$tool" big.bin /dev/null) KiB"
fi
