#!/usr/bin/env bash
# Hostile inputs, table-driven: files exported from spreadsheets and field databases, answers
# files that end early or hold no number, output files that cannot be written. Every case must
# end with the expected exit status and console message: a correct run or a clear stop, never a
# crash, a hang or a completion message after a failure.
set -uo pipefail
bin=$1
work_root=$(mktemp -d)
trap 'chmod -R u+w "$work_root" 2>/dev/null; rm -rf "$work_root"' EXIT
failures=0
passes=0

# The answers of a plain movement-only run on d.txt (2 strata, 3 periods in columns 1-3,
# fate column 4); a case may replace any of them.
base_answers=(d.txt 2,3,1,1 AB 1 4 0 2 'Hostile')
records=$'AB0\nA0A\n0BBX\n'

# run_case NAME STATUS MESSAGE SETUP ANSWERS...
#   SETUP runs in the fresh working folder (which holds d.txt with the records above);
#   MESSAGE must appear on the console; STATUS is the expected exit status, or "same" for a
#   run that must finish with exactly the output of the plain run.
run_case() {
  local name=$1 want_status=$2 want_message=$3 setup=$4
  shift 4
  local dir="$work_root/$name"
  mkdir -p "$dir"
  printf '%s' "$records" > "$dir/d.txt"
  (cd "$dir" && eval "$setup")
  if [ $# -gt 0 ]; then printf '%s\n' "$@" > "$dir/.answers"; else : > "$dir/.answers"; fi
  local same=0
  if [ "$want_status" = same ]; then same=1; want_status=0; fi
  (cd "$dir" && timeout 60 "$bin" < .answers > .console 2>&1)
  local status=$?
  local ok=1
  [ "$status" = "$want_status" ] || { echo "[$name] exit status $status, expected $want_status"; ok=0; }
  if [ -n "$want_message" ] && ! grep -qF -- "$want_message" "$dir/.console"; then
    echo "[$name] console lacks: $want_message"; ok=0
  fi
  if [ "$want_status" != 0 ] && grep -qF "=== HAPLOVEX FINISHED OK ===" "$dir/.console"; then
    echo "[$name] completion message after a failure"; ok=0
  fi
  if [ "$same" = 1 ] && ! cmp -s "$dir/HAPLOVEX.OUT" "$reference_out"; then
    echo "[$name] HAPLOVEX.OUT differs from the plain run"; ok=0
  fi
  if [ "$ok" = 1 ]; then passes=$((passes + 1)); else
    failures=$((failures + 1)); echo "--- console of $name:"; tail -n 8 "$dir/.console"; fi
}

# The plain run, whose output the clean variants must reproduce.
run_case plain 0 "=== HAPLOVEX FINISHED OK ===" ":" "${base_answers[@]}"
reference_out="$work_root/plain/HAPLOVEX.OUT"

# Data files as they come from other programs.
run_case crlf same "=== HAPLOVEX FINISHED OK ===" "printf 'AB0\r\nA0A\r\n0BBX\r\n' > d.txt" "${base_answers[@]}"
run_case no-final-newline same "=== HAPLOVEX FINISHED OK ===" "printf 'AB0\nA0A\n0BBX' > d.txt" "${base_answers[@]}"
run_case nul-bytes same "=== HAPLOVEX FINISHED OK ===" "printf 'AB0\0\nA0A\n0BBX\n' > d.txt" "${base_answers[@]}"
run_case long-line same "=== HAPLOVEX FINISHED OK ===" \
  "{ printf 'AB0 '; head -c 100000 /dev/zero | tr '\\\\0' 'A'; printf '\nA0A\n0BBX\n'; } > d.txt" "${base_answers[@]}"
run_case tabs-in-code-columns 0 "1 records read" "printf 'A\tB\n' > d.txt" "${base_answers[@]}"
run_case empty-file 0 "0 records read" ": > d.txt" "${base_answers[@]}"
run_case input-is-folder 1 " *** Can't read the input file, dir" "mkdir dir" dir "${base_answers[@]:1}"
run_case input-unreadable 1 " *** Can't read the input file, /proc/self/mem" ":" /proc/self/mem "${base_answers[@]:1}"
run_case input-missing 1 " *** Can't read the input file, nothere" ":" nothere "${base_answers[@]:1}"

run_case input-is-pipe 1 "Can't read the input file fifo a second time" \
  "mkfifo fifo; (printf 'AB0\nA0A\n' > fifo &)" fifo "${base_answers[@]:1}"
run_case input-is-own-summary 1 "is the run's own HAPLOVEX.SUM" "cp d.txt HAPLOVEX.SUM" HAPLOVEX.SUM "${base_answers[@]:1}"
run_case input-is-own-output 1 "is the run's own HAPLOVEX.OUT" ":" HAPLOVEX.OUT "${base_answers[@]:1}"

# Answers files that end early: after each answer in turn.
for k in 0 1 2 3 4 5 6 7; do
  run_case "answers-end-after-$k" 1 "The input ended while waiting for the answer" ":" "${base_answers[@]:0:$k}"
done
run_case answers-end-in-model-set-loop 1 "The input ended" ":" "${base_answers[@]:0:6}" 5
run_case answers-end-in-sm-loop 1 "The input ended" ":" "${base_answers[@]:0:6}" 4 9

# Number answers.
run_case plus-sign same "=== HAPLOVEX FINISHED OK ===" ":" d.txt +2,+3,+1,+1 AB +1 +4 +0 +2 Hostile
run_case leading-zeros same "=== HAPLOVEX FINISHED OK ===" ":" d.txt 002,03,01,1 AB 01 004 0 02 Hostile
run_case split-over-lines same "=== HAPLOVEX FINISHED OK ===" ":" d.txt 2 3 '1,' 1 AB 1 4 0 2 Hostile
run_case empty-value 1 "empty value" ":" d.txt 1,,2 AB 1 4 0 2 Hostile
run_case decimal-point 1 'read "3.0"' ":" d.txt 2,3.0,1,1 AB 1 4 0 2 Hostile
run_case exponent 1 'read "1e3"' ":" d.txt 2,3,1,1 AB 1e3 4 0 2 Hostile
run_case too-big 1 'read "2147483648"' ":" d.txt 2,3,1,1 AB 1 4 0 2147483648 Hostile

# Output files that cannot be written.
run_case output-is-folder 1 " *** Can't open the output file, HAPLOVEX.OUT" "mkdir HAPLOVEX.OUT" y "${base_answers[@]}"
run_case summary-is-folder 1 " *** Can't open summary file, HAPLOVEX.SUM" "mkdir HAPLOVEX.SUM" "${base_answers[@]}"
run_case summary-on-full-device 1 " *** Can't write HAPLOVEX.SUM: No space left on device" \
  "ln -s /dev/full HAPLOVEX.SUM" "${base_answers[@]}"
run_case output-on-full-device 1 " *** Can't write HAPLOVEX.OUT: No space left on device" \
  "ln -s /dev/full HAPLOVEX.OUT" y "${base_answers[@]}"

# A read-only HAPLOVEX.OUT: the replacement is refused with the system's error number. Root
# may write any file, so the run is made as an ordinary user when the tests run as root.
as_user=""
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null 2>&1; then
  as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
  chmod o+x "$work_root"
  # Skip when the ordinary user cannot reach the program (a private build folder).
  $as_user test -x "$bin" 2>/dev/null || as_user=skip
fi
[ "$as_user" = skip ] && echo "read-only-output: skipped, the program is not reachable as an ordinary user"
if [ "$as_user" != skip ] && { [ "$(id -u)" != 0 ] || [ -n "$as_user" ]; }; then
  ro="$work_root/read-only-output"
  mkdir -p "$ro" && printf 'AB0\n' > "$ro/d.txt" && printf 'old\n' > "$ro/HAPLOVEX.OUT"
  chmod 444 "$ro/HAPLOVEX.OUT"; chmod 777 "$ro"; chmod o+x "$work_root"
  printf 'y\n%s\n' "${base_answers[@]}" > "$ro/.answers"
  (cd "$ro" && $as_user "$bin" < .answers > .console 2>&1)
  status=$?
  if [ "$status" = 1 ] && grep -qF " *** Can't open the output file, HAPLOVEX.OUT" "$ro/.console" &&
     grep -qF " *** ERROR NUMBER           13" "$ro/.console" && [ "$(cat "$ro/HAPLOVEX.OUT")" = old ]; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1)); echo "[read-only-output] status $status"; tail -n 4 "$ro/.console"
  fi
fi

# A console that cannot be written must not end with success.
printf '%s\n' "${base_answers[@]}" > "$work_root/console-full.answers"
printf 'AB0\n' > "$work_root/d.txt"
(cd "$work_root" && "$bin" < console-full.answers > /dev/full 2>/dev/null)
if [ $? = 1 ]; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "[console-full] success reported"; fi

echo "hostile inputs: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
