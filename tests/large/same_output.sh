#!/usr/bin/env bash
# The fast record path must write exactly what the straightforward one wrote: a generated file
# (fixed seed) is converted with every model set and the files' checksums compared with those
# recorded from the straightforward code (tests/large/same_output.sha256).
#   same_output.sh HAPLOVEX GEN [--record]   (--record rewrites the checksum file)
set -euo pipefail
bin=$1
gen=$2
sums="$(dirname "$0")/same_output.sha256"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$gen" 200000 6 12 3 2 11 > "$work/d.txt"
: > "$work/actual"
for modset in 1 2 3 4; do
  "$gen" --answers "$modset" d.txt 6 12 3 2 > "$work/answers.txt"
  rm -f "$work/HAPLOVEX.OUT" "$work/HAPLOVEX.SUM"
  (cd "$work" && "$bin" < answers.txt > console)
  (cd "$work" && for f in HAPLOVEX.OUT HAPLOVEX.SUM console; do
     printf 'set%s %s %s\n' "$modset" "$f" "$(sha256sum < "$f" | cut -d' ' -f1)"; done) >> "$work/actual"
done
if [ "${3:-}" = --record ]; then cp "$work/actual" "$sums"; exit 0; fi
if diff -u "$sums" "$work/actual"; then echo "same output: 1 passed, 0 failed"; else
  echo "same output: 0 passed, 1 failed"; exit 1; fi
