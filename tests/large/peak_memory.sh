#!/usr/bin/env bash
# Records are streamed: converting 2,000,000 records must take no more memory than converting
# 400,000 (peak resident memory as GNU time reports it, within 1 MB), for both converters,
# read by one thread and by two.
set -euo pipefail
bin=$1
gen=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -x /usr/bin/time ] || { echo "GNU time is missing: apt-get install time"; exit 1; }

failures=0
checks=0
for modset in 2 1; do
  for n in 400000 2000000; do
    dir="$work/m$modset-$n"
    mkdir -p "$dir"
    "$gen" "$n" 5 40 2 2 7 > "$dir/d.txt"
    "$gen" --answers "$modset" d.txt 5 40 2 2 > "$dir/answers.txt"
  done
  for threads in 1 2; do
    declare -A peak=()
    for n in 400000 2000000; do
      dir="$work/m$modset-$n"
      (cd "$dir" && rm -f HAPLOVEX.OUT HAPLOVEX.SUM &&
       /usr/bin/time -f %M -o rss "$bin" --threads "$threads" < answers.txt > console)
      tail -n 1 "$dir/console" | grep -q "=== HAPLOVEX FINISHED OK ===" || { echo "run failed"; exit 1; }
      peak[$n]=$(cat "$dir/rss")
    done
    diff_kb=$(( ${peak[2000000]} - ${peak[400000]} ))
    echo "model set $modset, $threads thread(s): peak resident memory ${peak[400000]} kB for" \
         "400,000 records, ${peak[2000000]} kB for 2,000,000 (difference $diff_kb kB)"
    checks=$((checks + 1))
    if [ "${diff_kb#-}" -ge 1024 ]; then
      echo "model set $modset, $threads thread(s): memory grows with the number of records"
      failures=$((failures + 1))
    fi
  done
done
# An endless answer line (a device or a binary file piped in by mistake) stops the run with the
# memory of a short one: under 10 MB.
mkdir -p "$work/endless"
for source in /dev/zero /dev/urandom; do
  checks=$((checks + 1))
  status=0
  (cd "$work/endless" && /usr/bin/time -f %M -o rss "$bin" < "$source" > console 2>&1) || status=$?
  rss=$(tail -n 1 "$work/endless/rss")
  echo "answers from $source: exit status $status, peak resident memory $rss kB"
  if [ "$status" -ne 1 ] || [ "$rss" -ge 10240 ]; then
    echo "answers from $source: not stopped within 10 MB"
    failures=$((failures + 1))
  fi
done
echo "peak memory: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
