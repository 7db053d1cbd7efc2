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
# A data frame is laid out in columns a window at a time: 2,000,000 records as a frame take no
# more memory than 1,000,000 (both more than one window), within 1 MB.
declare -A peak=()
for n in 1000000 2000000; do
  dir="$work/frame-$n"
  mkdir -p "$dir"
  "$gen" --frame "$n" 5 40 2 2 7 > "$dir/frame.csv"
  "$gen" --frame --answers 2 frame.csv 5 40 2 2 > "$dir/answers.txt"
done
for threads in 1 2; do
  for n in 1000000 2000000; do
    dir="$work/frame-$n"
    (cd "$dir" && rm -f HAPLOVEX.OUT HAPLOVEX.SUM &&
     /usr/bin/time -f %M -o rss "$bin" --threads "$threads" < answers.txt > console 2> /dev/null)
    tail -n 1 "$dir/console" | grep -q "=== HAPLOVEX FINISHED OK ===" || { echo "frame run failed"; exit 1; }
    peak[$n]=$(cat "$dir/rss")
  done
  diff_kb=$(( ${peak[2000000]} - ${peak[1000000]} ))
  echo "a frame, $threads thread(s): peak resident memory ${peak[1000000]} kB for 1,000,000 records," \
       "${peak[2000000]} kB for 2,000,000 (difference $diff_kb kB)"
  checks=$((checks + 1))
  if [ "${diff_kb#-}" -ge 1024 ]; then
    echo "a frame, $threads thread(s): memory grows with the number of records"
    failures=$((failures + 1))
  fi
done
rm -rf "$work"/frame-*
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
# --gof at its limit of 1 GiB: 10 strata read by 15 threads take it up to 174 periods, whose
# tables, one for each reading thread and one they are merged into, come to just under 1 GiB;
# one period more is refused before any record is read (1,026 MiB). (Designs of 26 strata are
# refused sooner, past 29 periods, for the work of Test M's fits.) The run's peak resident
# memory beyond that of the same run without --gof stays within 1 GiB, and near it (above 900
# MiB: the tables are all there).
for periods in 174 175; do
  dir="$work/gof-$periods"
  mkdir -p "$dir"
  "$gen" 200 10 "$periods" 1 1 7 > "$dir/d.txt"
  "$gen" --answers 2 d.txt 10 "$periods" 1 1 > "$dir/answers.txt"
done
checks=$((checks + 1))
status=0
(cd "$work/gof-175" && "$bin" --gof --threads 15 < answers.txt > console 2> err) || status=$?
if [ "$status" -ne 1 ] || ! grep -q "would take more than 1 GiB" "$work/gof-175/console"; then
  echo "--gof, 10 strata, 175 periods, 15 threads: not refused (exit status $status)"
  failures=$((failures + 1))
fi
declare -A fit_peak=()
for gof in "" --gof; do
  (cd "$work/gof-174" && rm -f HAPLOVEX.* &&
   /usr/bin/time -f %M -o rss "$bin" $gof --threads 15 < answers.txt > console 2> err)
  tail -n 1 "$work/gof-174/console" | grep -q "=== HAPLOVEX FINISHED OK ===" || { echo "run failed"; exit 1; }
  fit_peak[${gof:-plain}]=$(cat "$work/gof-174/rss")
done
checks=$((checks + 1))
share_kb=$(( ${fit_peak[--gof]} - ${fit_peak[plain]} ))
echo "--gof, 10 strata, 174 periods, 15 threads: peak resident memory ${fit_peak[--gof]} kB," \
     "${fit_peak[plain]} kB without --gof (difference $share_kb kB)"
if [ "$share_kb" -gt $((1024 * 1024)) ] || [ "$share_kb" -lt $((900 * 1024)) ]; then
  echo "--gof, 10 strata, 174 periods, 15 threads: not within 1 GiB, or not near it"
  failures=$((failures + 1))
fi
echo "peak memory: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
