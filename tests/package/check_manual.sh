#!/usr/bin/env bash
# The manual page renders without a single warning.
#
#   check_manual.sh docs/quarlex.1
set -euo pipefail
page=$1
for program in groff man; do
  command -v "$program" > /dev/null ||
    { echo "$program is missing (Debian: groff-base, man-db): the manual page was not checked"; exit 77; }
done
warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff: $warnings"; exit 1; }
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
[ -z "$warnings" ] || { echo "man: $warnings"; exit 1; }
MANWIDTH=80 man -l "$page" | grep -q "quarlex source output \[label\]" || { echo "no synopsis"; exit 1; }
echo "manual page renders without warnings"
