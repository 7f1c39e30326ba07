#!/usr/bin/env bash
# Runs one fuzzer for a bounded time from its seed corpus and prints how
# many inputs it tried. Fails on any crash, sanitizer report or
# disagreement with the plain version (the fuzzers abort on those).
#
#   run_fuzzer.sh FUZZER SEED_FOLDER [SECONDS]
set -euo pipefail
fuzzer=$1
seeds=$2
seconds=${3:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work" "$seeds" > "$work/log" 2>&1 || status=$?
grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/log" | sed "s|^|$(basename "$fuzzer") |" || true
if [ "$status" -ne 0 ]; then
  tail -n 60 "$work/log"
  for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$artifact" ] && { echo "input that failed ($artifact):"; xxd "$artifact" | head -n 20; }
  done
fi
exit "$status"
