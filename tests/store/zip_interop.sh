#!/usr/bin/env bash
# Every archive the tests wrote must pass Info-ZIP's and 7-Zip's own checks.
set -euo pipefail
dir=$1
shopt -s nullglob
archives=("$dir"/*.zip)
if [ ${#archives[@]} -lt 3 ]; then
  echo "expected the suite's archives in $dir, found ${#archives[@]}" >&2
  exit 1
fi
sevenzip=$(command -v 7zz || command -v 7z)
for a in "${archives[@]}"; do
  unzip -tq "$a"
  "$sevenzip" t "$a" >/dev/null
  echo "ok: $(basename "$a") (unzip -t, $(basename "$sevenzip") t)"
done
