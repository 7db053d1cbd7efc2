#!/usr/bin/env bash
# The files and the transcript never depend on how many threads read the records, nor on the
# set of kernels they read with: every whole-run case, generated files of every model set (with
# every set of kernels the machine has), and files that stop the run in their
# first half, their second half and at the line where they are split, give the same console,
# standard error, exit status, HAPLOVEX.OUT and HAPLOVEX.SUM with 1, 2, 3 and 4 threads.
#   threads_agree.sh HAPLOVEX GEN
set -uo pipefail
bin=$(realpath "$1")
gen=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/e2e/checks.sh"

# The sets of kernels this machine has.
kernel_sets=()
for set in portable sse2 avx2 avx512; do
  HAPLOVEX_KERNELS=$set "$bin" --version > /dev/null 2>&1 && kernel_sets+=("$set")
done

# agree NAME DIR ANSWERS [SET...]: runs in copies of DIR with each thread count (THREADS, by
# default 1 to 4), and each set of kernels named (by default the machine's best), and compares.
agree() {
  local name=$1 dir=$2 answers=$3 reference=""
  shift 3
  local sets=("$@")
  [ ${#sets[@]} -gt 0 ] || sets=("")
  for set in "${sets[@]}"; do
    # (Sets of kernels past the first, which differ in their kernels alone: one and two threads.)
    local counts=${THREADS:-1 2 3 4}
    [ "$set" = "${sets[0]}" ] || counts="1 2"
    for threads in $counts; do
      local run="$work/run-$threads"
      rm -rf "$run" && cp -a "$dir" "$run"
      (cd "$run" && HAPLOVEX_KERNELS=$set "$bin" --threads "$threads" < "$answers" > .console 2> .err
       echo "$?" > .status)
      local print
      print=$(cd "$run" && cat .status .err; tail -n 3 .console | tr -d '\0'
              sha256sum .console HAPLOVEX.OUT HAPLOVEX.SUM 2> /dev/null)
      if [ -z "$reference" ]; then
        reference=$print
      elif [ "$print" != "$reference" ]; then
        echo "[$name] ${set:-best kernels}, $threads threads differ from the first run:"
        diff <(echo "$reference") <(echo "$print") | head -n 10
        failures=$((failures + 1))
        return
      fi
    done
  done
  passes=$((passes + 1))
}

# Every whole-run case.
for case_dir in "$root"/tests/e2e/*/; do
  [ -f "$case_dir/answers.txt" ] || continue
  dir="$work/case"
  rm -rf "$dir" && mkdir -p "$dir"
  [ -d "$case_dir/files" ] && cp -a "$case_dir/files/." "$dir/"
  [ -f "$case_dir/setup.sh" ] && (cd "$dir" && bash "$case_dir/setup.sh")
  # (A case's few records make three threads no different from four.)
  THREADS="1 2 4" agree "$(basename "$case_dir")" "$dir" "$case_dir/answers.txt"
done

# Generated files of every model set, large enough that each of four parts reads more than one
# block (60,000 records of 22 bytes: four parts of 330,000 bytes, blocks of 262,144).
dir="$work/generated"
mkdir -p "$dir"
"$gen" 60000 4 12 2 2 5 > "$dir/d.txt"
for modset in 1 2 3 4; do
  "$gen" --answers "$modset" d.txt 4 12 2 2 > "$work/answers-$modset.txt"
  agree "generated model set $modset" "$dir" "$work/answers-$modset.txt" "${kernel_sets[@]}"
done

# The same animals as a data frame (--frame), quoted fields with line ends among them across
# the split points: the same files with every number of threads, and the files of the columns.
frame="$work/frame"
mkdir -p "$frame"
"$gen" --frame 60000 4 12 2 2 5 > "$frame/d.csv"
for modset in 1 2; do
  "$gen" --frame --answers "$modset" d.csv 4 12 2 2 > "$work/frame-answers-$modset.txt"
  agree "generated frame, model set $modset" "$frame" "$work/frame-answers-$modset.txt"
  run="$work/frame-run"
  rm -rf "$run" && cp -a "$frame" "$run"
  (cd "$run" && "$bin" --threads 2 < "$work/frame-answers-$modset.txt" > /dev/null 2>&1)
  columns="$work/columns-run"
  rm -rf "$columns" && cp -a "$dir" "$columns"
  (cd "$columns" && "$bin" --threads 2 < "$work/answers-$modset.txt" > /dev/null 2>&1)
  if cmp -s "$run/HAPLOVEX.OUT" "$columns/HAPLOVEX.OUT" && cmp -s "$run/HAPLOVEX.SUM" "$columns/HAPLOVEX.SUM"; then
    passes=$((passes + 1))
  else
    echo "[generated frame, model set $modset] files differ from the columns'"
    failures=$((failures + 1))
  fi
done

# The same records with other line ends (a carriage return and line feed, a carriage return
# alone) or after a byte-order mark give the same files and transcript as with line feeds, read
# by one thread or by three (parts then begin after each kind of line end).
for variant in crlf cr bom; do
  other="$work/$variant"
  mkdir -p "$other"
  case $variant in
    crlf) sed 's/$/\r/' "$dir/d.txt" > "$other/d.txt" ;;
    cr) tr '\n' '\r' < "$dir/d.txt" > "$other/d.txt" ;;
    bom) { printf '\357\273\277'; cat "$dir/d.txt"; } > "$other/d.txt" ;;
  esac
  for threads in 1 3; do
    prints=()
    for from in "$dir" "$other"; do
      run="$work/run-$variant"
      rm -rf "$run" && cp -a "$from" "$run"
      prints+=("$(cd "$run" && "$bin" --threads "$threads" < "$work/answers-1.txt" 2> /dev/null | sha256sum
                  sha256sum HAPLOVEX.OUT HAPLOVEX.SUM | cut -c1-64)")
    done
    if [ "${prints[0]}" = "${prints[1]}" ]; then
      passes=$((passes + 1))
    else
      echo "[$variant line ends, $threads threads] differ from line feeds"
      failures=$((failures + 1))
    fi
  done
done

# A record that stops the run (a group code that is not one, an age code that is not one, a
# frequency that is no number), in the first half, the second half, or right where the file
# is split in two; and counts that pass their limit only when the halves are added.
lines=$(wc -l < "$dir/d.txt")
bytes=$(stat -c %s "$dir/d.txt")
split_line=$(head -c $((bytes / 2)) "$dir/d.txt" | wc -l)
split_line=$((split_line + 2))  # the first line of the second part
for at in 1000 $((split_line - 1)) "$split_line" $((lines - 1000)); do
  for bad in group age frequency; do
    bad_dir="$work/bad"
    rm -rf "$bad_dir" && mkdir -p "$bad_dir"
    case $bad in
      group) sedit="s/^\\(.\\{15\\}\\)./\\1Q/" ;;
      age) sedit="s/^\\(.\\{14\\}\\)./\\1Q/" ;;
      frequency) sedit="s/^\\(.\\{18\\}\\)./\\1x/" ;;
    esac
    sed "${at}${sedit}" "$dir/d.txt" > "$bad_dir/d.txt"
    agree "a bad $bad at line $at" "$bad_dir" "$work/answers-2.txt"
  done
done
big="$work/big"
mkdir -p "$big"
# 8,000 animals a record, in three copies of the file: 1,440,000,000 in all, but less than
# 999,999,999 in every part of two or more.
awk '{ printf "%s8000\n", substr($0, 1, 17) }' "$dir/d.txt" "$dir/d.txt" "$dir/d.txt" > "$big/d.txt"
agree "counts past their limit only when the parts are added" "$big" "$work/answers-2.txt"

finish "threads agree"
