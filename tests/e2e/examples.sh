#!/usr/bin/env bash
# The shipped examples can never rot: every answers file in examples/<data set>/ is run, and its
# console, HAPLOVEX.OUT and HAPLOVEX.SUM compared with examples/<data set>/expected/<answers>/.
# For the movement-only runs, an independent count made here with awk from the raw data file
# (records, animals, and animal-weighted transitions between consecutive captures, by group)
# must agree with the console's count line and the tables of HAPLOVEX.SUM.
#   examples.sh HAPLOVEX [--record]   (--record rewrites the expected files)
set -uo pipefail
bin=$1
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0

# independent_summary DATA FIRSTCOL PERIODS CODES FRQ1 FRQ2 GRPCOL GCODES [SUMMARISED]: prints
# the record and animal counts and the transition tables laid out as HAPLOVEX.SUM lays them out.
# SUMMARISED (1: a run with --inp of the same animals) counts no blank line as a record.
independent_summary() {
  awk -v first="$2" -v T="$3" -v codes="$4" -v f1="$5" -v f2="$6" -v gcol="$7" -v gcodes="$8" \
      -v summarised="${9:-0}" '
    { sub(/\r$/, "") }
    summarised && /^[ \t]*$/ { next }
    {
      records++
      freq = 1
      if (f1 > 0) { field = substr($0, f1, f2 - f1 + 1); sub(/;.*/, "", field); gsub(/ /, "", field); freq = field + 0 }
      if (freq < 0) freq = -freq
      animals += freq
      g = 1
      if (gcol > 0) g = index(gcodes, substr($0, gcol, 1))
      prev = 0
      for (i = 0; i < T; i++) {
        s = index(codes, substr($0, first + i, 1))
        if (s == 0) continue
        if (prev) moves[g, prev, s] += freq
        prev = s
      }
      if (g > groups) groups = g
    }
    END {
      printf "%d %d\n", records, animals
      S = length(codes)
      for (g = 1; g <= (groups ? groups : 1); g++) {
        printf " GROUP %12d AGE %12d\n", g, 1
        for (a = 1; a <= S; a++) {
          line = ""
          for (b = 1; b <= S; b++) {
            line = line sprintf("%6d", moves[g, a, b])
            if (b % 6 == 0 || b == S) { print line; line = "" }
          }
        }
        print ""
      }
    }' "$1"
}

# check_counts DIR DATA FIRSTCOL PERIODS CODES FRQ1 FRQ2 GRPCOL GCODES
check_counts() {
  local dir=$1; shift
  independent_summary "$@" > "$dir/.independent"
  read -r records animals < "$dir/.independent"
  local want_line
  want_line=$(printf '%7d records read, representing %7d animals' "$records" "$animals")
  grep -qxF -- "$want_line" "$dir/.console" || { echo "count line differs: want '$want_line'"; return 1; }
  tail -n +2 "$dir/.independent" > "$dir/.tables"
  tail -n +3 "$dir/HAPLOVEX.SUM" > "$dir/.sum-tables"
  diff -u "$dir/.tables" "$dir/.sum-tables" || { echo "transition tables differ from the independent count"; return 1; }
}

for answers in "$root"/examples/*/answers*.txt; do
  example_dir=$(dirname "$answers")
  example=$(basename "$example_dir")
  stem=$(basename "$answers" .txt)
  name="$example/$stem"
  dir="$work/$example-$stem"
  mkdir -p "$dir"
  find "$example_dir" -maxdepth 1 -type f ! -name '*.md' -exec cp {} "$dir/" \;
  (cd "$dir" && "$bin" < "$(basename "$answers")" > .console 2> .err)
  status=$?
  expected="$example_dir/expected/$stem"
  # A data frame of the same animals (--frame) gives the files of the columns' answers; only
  # its questions, on the console, differ.
  files="console.txt HAPLOVEX.OUT HAPLOVEX.SUM"
  case "$stem" in *-frame) expected="$example_dir/expected/${stem%-frame}"; files="HAPLOVEX.OUT HAPLOVEX.SUM" ;; esac
  if [ "${2:-}" = --record ]; then
    case "$stem" in *-frame) continue ;; esac
    mkdir -p "$expected"
    cp "$dir/.console" "$expected/console.txt"
    cp "$dir/HAPLOVEX.OUT" "$dir/HAPLOVEX.SUM" "$expected/"
    continue
  fi
  ok=1
  [ "$status" = 0 ] || { echo "[$name] exit status $status"; ok=0; }
  # The shipped examples are clean data: the run has no warning about them.
  if grep -q "warning" "$dir/.err"; then echo "[$name] warnings:"; cat "$dir/.err"; ok=0; fi
  for f in $files; do
    actual="$dir/$f"; [ "$f" = console.txt ] && actual="$dir/.console"
    cmp -s "$expected/$f" "$actual" || { echo "[$name] $f differs"; diff <(cat -A "$expected/$f") <(cat -A "$actual") | head -20; ok=0; }
  done
  # The independent count, for the movement-only runs (their summary has a table per group).
  if grep -q "MOVEMENT TRANSITIONS" "$dir/HAPLOVEX.SUM"; then
    # (Runs with --inp are counted from the same animals' file by columns.)
    summarised=0
    case "$stem" in *inp*) summarised=1 ;; esac
    case "$example" in
      geese) check_counts "$dir" "$dir/geese.inp" 1 6 123 9 14 0 "" "$summarised" || ok=0 ;;
      skagit) check_counts "$dir" "$dir/skagit-data.txt" 1 6 AB 0 0 9 79 "$summarised" || ok=0 ;;
      green-river) check_counts "$dir" "$dir/pass3mstrata5.inp" 33 12 UDWL 46 46 0 "" "$summarised" || ok=0 ;;
    esac
  fi
  if [ "$ok" = 1 ]; then passes=$((passes + 1)); else failures=$((failures + 1)); fi
done
[ "${2:-}" = --record ] && exit 0
echo "examples: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
