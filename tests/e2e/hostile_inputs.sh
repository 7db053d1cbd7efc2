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

# run_case NAME STATUS MESSAGE SETUP ANSWERS...   (or raw_answers=FORMAT run_case ... with no
#   ANSWERS: the answers file is printf FORMAT)
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
  if [ -n "${raw_answers:-}" ]; then
    printf "$raw_answers" > "$dir/.answers"  # a printf format: answers may hold any byte
  elif [ $# -gt 0 ]; then
    printf '%s\n' "$@" > "$dir/.answers"
  else
    : > "$dir/.answers"
  fi
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
run_case cr-alone same "=== HAPLOVEX FINISHED OK ===" "printf 'AB0\rA0A\r0BBX\r' > d.txt" "${base_answers[@]}"
run_case byte-order-mark-and-comment same "=== HAPLOVEX FINISHED OK ===" \
  "printf '\357\273\277/* Geese */\r\nAB0\r\nA0A\r\n0BBX\r\n' > d.txt" "${base_answers[@]}"
run_case no-final-newline same "=== HAPLOVEX FINISHED OK ===" "printf 'AB0\nA0A\n0BBX' > d.txt" "${base_answers[@]}"
run_case nul-bytes same "=== HAPLOVEX FINISHED OK ===" "printf 'AB0\0\nA0A\n0BBX\n' > d.txt" "${base_answers[@]}"
run_case long-line same "=== HAPLOVEX FINISHED OK ===" \
  "{ printf 'AB0 '; head -c 100000 /dev/zero | tr '\\\\0' 'A'; printf '\nA0A\n0BBX\n'; } > d.txt" "${base_answers[@]}"
run_case tabs-in-code-columns 0 "1 records read" "printf 'A\tB\n' > d.txt" "${base_answers[@]}"
run_case empty-file 0 "0 records read" ": > d.txt" "${base_answers[@]}"
run_case input-is-folder 1 " *** Can't read the input file, dir" "mkdir dir" dir "${base_answers[@]:1}"
run_case input-unreadable 1 " *** Can't read the input file, /proc/self/mem" ":" /proc/self/mem "${base_answers[@]:1}"
run_case input-missing 1 " *** Can't read the input file, nothere" ":" nothere "${base_answers[@]:1}"

# Only a regular file is read: a device or a pipe could never end, or be read only once.
not_regular="is not a regular file (a device, a pipe or a socket); save the records in a file"
run_case input-is-pipe 1 "The input file fifo $not_regular" "mkfifo fifo" fifo "${base_answers[@]:1}"
run_case input-is-dev-zero 1 "The input file /dev/zero $not_regular" ":" /dev/zero "${base_answers[@]:1}"
run_case input-is-dev-urandom 1 "The input file /dev/urandom $not_regular" ":" /dev/urandom "${base_answers[@]:1}"
run_case input-is-link-to-device 1 "The input file zero $not_regular" "ln -s /dev/zero zero" zero "${base_answers[@]:1}"
run_case input-is-own-summary 1 "is the run's own HAPLOVEX.SUM" "cp d.txt HAPLOVEX.SUM" HAPLOVEX.SUM "${base_answers[@]:1}"
run_case input-is-own-output 1 "is the run's own HAPLOVEX.OUT" "cp d.txt HAPLOVEX.OUT" y HAPLOVEX.OUT "${base_answers[@]:1}"
run_case input-linked-as-output 1 "The input file d.txt is the run's own HAPLOVEX.OUT" "ln -s d.txt HAPLOVEX.OUT" y "${base_answers[@]}"
run_case input-hard-linked-as-summary 1 "The input file d.txt is the run's own HAPLOVEX.SUM" "ln d.txt HAPLOVEX.SUM" "${base_answers[@]}"

# File names are taken whole or refused, never cut to the name of another file.
long_name=$(printf 'n%.0s' $(seq 1 60)).txt
run_case name-of-64 same "=== HAPLOVEX FINISHED OK ===" "cp d.txt $long_name" "$long_name" "${base_answers[@]:1}"
run_case name-over-64 1 "The file name may be at most 64 characters long, got 65" \
  "cp d.txt ${long_name:0:63}" "${long_name}x" "${base_answers[@]:1}"
raw_answers='d.txt\0x\n2,3,1,1\nAB\n1\n4\n0\n2\nHostile\n' \
  run_case name-with-zero-byte 1 "The file name holds a zero byte" ":"

# Codes: as many as the strata, age classes or groups, none of them a blank.
run_case fewer-stratum-codes 1 'Expected 3 stratum codes (one for each stratum) with no blank among them, got "AB"' \
  ":" d.txt 3,3,1,1 AB 1 4 0 2 Hostile
run_case fewer-age-codes 1 'Expected 2 age codes (one for each age class) with no blank among them, got "J"' \
  ":" d.txt 2,3,2,1 AB 1 4 5 J 0 2 Hostile
run_case fewer-group-codes 1 'Expected 2 group codes (one for each group) with no blank among them, got "M"' \
  ":" d.txt 2,3,1,2 AB 1 4 5 M 0 2 Hostile

# More periods than a record has columns: refused before any table or column echo.
run_case huge-period-count 1 "The number of time periods may be at most 250, one column each in a record, got 536870911" \
  ":" d.txt 1,536870911,1,1 AB 1 4 0 2 Hostile
run_case huge-period-count-listed 1 "got 50000000" ":" d.txt -1,50000000,1,1 A 1 0 0 2 Hostile

# A frequency of 26 digits is no count: the same stop as any other, with no overflow on the way.
run_case frequency-of-26-digits 1 'the frequency in columns 4-50 is not a number of animals' \
  "printf 'BA 99999999999999999999999999\n' > d.txt" d.txt 2,2,1,1 AB 1 0 4 50 2 Hostile

# Answers files that end early: after each answer in turn.
for k in 0 1 2 3 4 5 6 7; do
  run_case "answers-end-after-$k" 1 "The input ended while waiting for the answer" ":" "${base_answers[@]:0:$k}"
done
run_case answers-end-in-model-set-loop 1 "The input ended" ":" "${base_answers[@]:0:6}" 5
# Answers files as editors save them: a byte-order mark before the first line, CR LF ends.
raw_answers='\357\273\277d.txt\n2,3,1,1\nAB\n1\n4\n0\n2\nHostile\n' \
  run_case answers-byte-order-mark same "=== HAPLOVEX FINISHED OK ===" ":"
raw_answers='\357\273\277#haplovex --csv\r\nd.txt\r\n2,3,1,1\r\nAB\r\n1\r\n4\r\n0\r\n2\r\nHostile\r\n' \
  run_case answers-byte-order-mark-options same "=== HAPLOVEX FINISHED OK ===" ":"
run_case answers-end-in-sm-loop 1 "The input ended" ":" "${base_answers[@]:0:6}" 4 9

# Number answers.
run_case plus-sign same "=== HAPLOVEX FINISHED OK ===" ":" d.txt +2,+3,+1,+1 AB +1 +4 +0 +2 Hostile
run_case leading-zeros same "=== HAPLOVEX FINISHED OK ===" ":" d.txt 002,03,01,1 AB 01 004 0 02 Hostile
run_case split-over-lines same "=== HAPLOVEX FINISHED OK ===" ":" d.txt 2 3 '1,' 1 AB 1 4 0 2 Hostile
run_case empty-value 1 "empty value" ":" d.txt 1,,2 AB 1 4 0 2 Hostile
run_case decimal-point 1 'read "3.0"' ":" d.txt 2,3.0,1,1 AB 1 4 0 2 Hostile
run_case exponent 1 'read "1e3"' ":" d.txt 2,3,1,1 AB 1e3 4 0 2 Hostile
run_case too-big 1 'read "2147483648"' ":" d.txt 2,3,1,1 AB 1 4 0 2147483648 Hostile

# Data frames (--frame): the same records as a frame give the same files; each fault of a
# spreadsheet or of a hostile file stops the run naming its line.
frame_answers=('#haplovex --frame' f.csv 2,3,1,1 AB ch fate X none 2 Hostile)
run_case frame-same same "=== HAPLOVEX FINISHED OK ===" "printf 'ch,fate\nAB0,\n\"A0A\",\n0BB,X\n' > f.csv" \
  "${frame_answers[@]}"
run_case frame-tabs-crlf-row-names same "=== HAPLOVEX FINISHED OK ===" \
  "printf '\"ch\"\t\"fate\"\r\n\"1\"\t\"AB0\"\t\"\"\r\n\r\n\"2\"\t\"A0A\"\t\"\"\r\n\"3\"\t\"0BB\"\t\"X\"\r\n' > f.csv" \
  "${frame_answers[@]}"
# RMark's mstrata.txt layout (a "ch<TAB>freq" header): the files of the columns it needs.
run_case mstrata-columns 0 "=== HAPLOVEX FINISHED OK ===" \
  "printf 'A000 491\nB000 203\nAB00  41\nA0B0  12\n0ABA   5\n' > m.txt" m.txt 2,4,1,1 AB 1 0 6 8 2 mstrata
reference_out="$work_root/mstrata-columns/HAPLOVEX.OUT"
run_case mstrata-frame same "=== HAPLOVEX FINISHED OK ===" \
  "printf 'ch\tfreq\nA000\t491\nB000\t203\nAB00\t41\nA0B0\t12\n0ABA\t5\n' > m.txt" \
  '#haplovex --frame' m.txt 2,4,1,1 AB '' none '' 2 mstrata
cmp -s "$work_root/mstrata-columns/HAPLOVEX.SUM" "$work_root/mstrata-frame/HAPLOVEX.SUM" ||
  { echo "[mstrata-frame] HAPLOVEX.SUM differs from the columns'"; failures=$((failures + 1)); }
reference_out="$work_root/plain/HAPLOVEX.OUT"
run_case frame-header-only 1 " *** The file holds a header line of field names and no record (f.csv, read with --frame)" \
  "printf 'ch,fate\n\n' > f.csv" "${frame_answers[@]}"
run_case frame-100000-fields 1 " *** The header line of field names: more than 10,000 fields" \
  "seq -f 'f%g' 100000 | paste -sd, > f.csv; echo AB0 >> f.csv" "${frame_answers[@]}"
run_case frame-unclosed-quote 1 ' *** line 3: a quote opened in field "ch" is never closed' \
  "printf 'ch,fate\nAB0,\n\"A0A,\n0BB,X\n' > f.csv" "${frame_answers[@]}"
run_case frame-quote-in-field 1 ' *** line 2: a quote inside field "ch", which is not quoted' \
  "printf 'ch,fate\nA\"B0,\n' > f.csv" "${frame_answers[@]}"
run_case frame-nul 1 " *** line 2: a zero byte (NUL): the file is not text" \
  "printf 'ch,fate\nAB0\0,\n' > f.csv" "${frame_answers[@]}"
run_case frame-fields-of-a-record 1 " *** line 3: 3 fields where the header names 2 fields" \
  "printf 'ch,fate\nAB0,\nA0A,,1\n' > f.csv" "${frame_answers[@]}"
run_case frame-leading-zeros 1 \
  ' *** line 3: history "101" has 3 characters for 4 periods: a spreadsheet may have dropped leading zeros (store the field as text)' \
  "printf 'ch\n0110\n101\n' > f.csv" '#haplovex --frame' f.csv 2,4,1,1 12 ch none none 2 Hostile
run_case frame-decimal-history 1 \
  ' *** line 2: history "1011.0" is a number with a decimal point: a spreadsheet may have stored it as a number (store the field as text)' \
  "printf 'ch\n1011.0\n' > f.csv" '#haplovex --frame' f.csv 2,4,1,1 12 ch none none 2 Hostile
# Faults far past the first windows the look reads: the run stops as at the first line, and
# writes no file.
for fault in 'A"B0,|a quote inside field "ch", which is not quoted' 'AB0,,1|3 fields where the header names 2 fields'; do
  run_case "frame-late-${fault%%,*}" 1 " *** line 1,500,002: ${fault#*|}" \
    "{ printf 'ch,fate\n'; yes 'ABA,' | head -n 1500000; printf '%s\n' '${fault%%|*}'; } > f.csv" \
    "${frame_answers[@]}"
  late_dir="$work_root/frame-late-${fault%%,*}"
  ls "$late_dir" | grep -q HAPLOVEX && { echo "[frame-late] a run stopped by a record wrote files"; failures=$((failures + 1)); }
done
run_case frame-no-such-field 1 ' *** The frame has no field named "hist"; its fields: ch, fate' \
  "printf 'ch,fate\nAB0,\n' > f.csv" '#haplovex --frame' f.csv 2,3,1,1 AB hist
run_case frame-and-inp 1 " *** --inp and --frame name two layouts of the input file; give one of them" ":" \
  '#haplovex --frame --inp' d.txt

# Output files that cannot be written.
run_case output-is-folder 1 " *** Can't open the output file, HAPLOVEX.OUT" "mkdir HAPLOVEX.OUT" y "${base_answers[@]}"
run_case summary-is-folder 1 " *** Can't open summary file, HAPLOVEX.SUM" "mkdir HAPLOVEX.SUM" "${base_answers[@]}"
# A link named as a run's file is replaced itself: the device it leads to is never written.
run_case summary-linked-to-full-device 0 "=== HAPLOVEX FINISHED OK ===" "ln -s /dev/full HAPLOVEX.SUM" "${base_answers[@]}"
run_case output-linked-to-full-device same "=== HAPLOVEX FINISHED OK ===" "ln -s /dev/full HAPLOVEX.OUT" y "${base_answers[@]}"
run_case summary-is-fifo 0 "=== HAPLOVEX FINISHED OK ===" "mkfifo HAPLOVEX.SUM" "${base_answers[@]}"

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

# expect NAME CONDITION...: one more case, passed when the condition holds.
expect() {
  local name=$1
  shift
  if "$@"; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "[$name] failed"; fi
}
has() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }

# A folder the run cannot write in is reported as such, before the first question.
if [ "$as_user" != skip ] && { [ "$(id -u)" != 0 ] || [ -n "$as_user" ]; }; then
  locked="$work_root/locked-folder"
  mkdir -p "$locked" && printf '%s' "$records" > "$locked/d.txt" && chmod 555 "$locked"
  printf '%s\n' "${base_answers[@]}" > "$work_root/locked.answers"
  chmod o+r "$work_root/locked.answers"
  (cd "$locked" && $as_user "$bin" < "$work_root/locked.answers" > "$work_root/locked.console" 2>&1)
  status=$?
  expect locked-folder [ "$status" = 1 ]
  expect locked-folder-message has "$work_root/locked.console" \
    " *** Can't create HAPLOVEX.OUT in this folder: Permission denied"
  expect locked-folder-no-question lacks "$work_root/locked.console" "Enter the name of the file"
fi

# A folder whose path is longer than the system takes in one piece: names are looked up
# relative to it, so the run works as anywhere else.
deep="$work_root/deep"
mkdir -p "$deep"
(
  cd "$deep" || exit 1
  for _ in $(seq 1 22); do
    d=$(printf 'd%.0s' $(seq 1 200))
    mkdir "$d" && cd "$d" || exit 1
  done
  printf '%s' "$records" > d.txt
  printf '%s\n' "${base_answers[@]}" | "$bin" > .console 2>&1
  echo "$? $(pwd | wc -c)" > "$deep/result"
  cmp -s HAPLOVEX.OUT "$reference_out" && echo same >> "$deep/result"
)
expect deep-folder [ "$(head -n 1 "$deep/result" | cut -d' ' -f1)" = 0 ]
expect deep-folder-path-over-4096 [ "$(head -n 1 "$deep/result" | cut -d' ' -f2)" -gt 4096 ]
expect deep-folder-same-output grep -qx same "$deep/result"

# A folder removed while the user stands in it: a clear stop, not a crash.
gone="$work_root/gone"
mkdir -p "$gone/here"
(cd "$gone/here" && rmdir "$gone/here" && printf '%s\n' "${base_answers[@]}" | "$bin" > "$gone/console" 2>&1)
expect removed-folder [ $? = 1 ]
expect removed-folder-message has "$gone/console" "Can't create HAPLOVEX.OUT in this folder: No such file or directory"

# --help and --version report an output they cannot write.
"$bin" --version > /dev/full 2>/dev/null
expect version-to-full-device [ $? = 1 ]
"$bin" --help > /dev/full 2>/dev/null
expect help-to-full-device [ $? = 1 ]

# A data file, a missing file or a folder named where an answers file goes: said as such, exit 2,
# nothing asked. A file whose first line names a file in the folder is an answers file.
args="$work_root/arguments"
mkdir -p "$args/folder"
printf '/* Alpine newts */\n0011 3;\n' > "$args/newts.inp"
printf '0AB0A\n00BB0\n' > "$args/histories.txt"
printf 'AB0\n2,3,1,1\n' > "$args/AB0"
for arg in newts.inp histories.txt missing folder AB0; do
  (cd "$args" && "$bin" "$arg" < /dev/null > "$arg.out" 2>&1; echo $? > "$arg.status")
done
expect data-as-answers-exit-2 [ "$(cat "$args/newts.inp.status") $(cat "$args/histories.txt.status")" = "2 2" ]
expect data-as-answers-said has "$args/newts.inp.out" "'newts.inp' looks like a file of capture histories, not an answers file"
expect data-as-answers-how has "$args/histories.txt.out" "give 'histories.txt' at the FILE question"
expect missing-answers [ "$(cat "$args/missing.status")" = 2 ]
expect missing-answers-said has "$args/missing.out" "there is no answers file 'missing' (no such file)"
expect folder-as-answers [ "$(cat "$args/folder.status")" = 2 ]
expect folder-as-answers-said has "$args/folder.out" "'folder' is a folder, not an answers file"
expect answers-naming-a-file-are-answers lacks "$args/AB0.out" "looks like a file of capture histories"
# A named answers file with a byte-order mark: its options line is read as such (the piped one
# above too).
printf '\357\273\277#haplovex --csv\r\nd.txt\r\n2,3,1,1\r\nAB\r\n1\r\n4\r\n0\r\n2\r\nHostile\r\n' > "$args/marked.txt"
printf 'AB0\nA0A\n0BBX\n' > "$args/d.txt"
(cd "$args" && "$bin" marked.txt > marked.out 2>&1; echo $? > marked.status)
expect named-answers-byte-order-mark [ "$(cat "$args/marked.status")" = 0 ]
expect named-answers-byte-order-mark-options [ -f "$args/HAPLOVEX.releases.csv" ]
expect piped-answers-byte-order-mark-options [ -f "$work_root/answers-byte-order-mark-options/HAPLOVEX.releases.csv" ]

# --version names the kernels on its second line; HAPLOVEX_KERNELS naming no set, or a set the
# machine lacks, is refused with exit status 2 before anything else.
expect version-names-kernels [ "$("$bin" --version | sed -n 2p | grep -cE '^kernels: (portable|sse2|avx2|avx512|neon)$')" = 1 ]
expect version-names-forced-kernels [ "$(HAPLOVEX_KERNELS=portable "$bin" --version | sed -n 2p)" = "kernels: portable" ]
HAPLOVEX_KERNELS=mmx "$bin" --version > "$work_root/kernels.out" 2>&1
expect kernels-unknown [ $? = 2 ]
expect kernels-unknown-message has "$work_root/kernels.out" "HAPLOVEX_KERNELS='mmx' names no set of kernels"
for set in sse2 avx2 avx512 neon; do
  if ! HAPLOVEX_KERNELS=$set "$bin" --version > "$work_root/kernels.out" 2>&1; then
    expect "kernels-$set-lacking-exits-2" [ "$(HAPLOVEX_KERNELS=$set "$bin" --version > /dev/null 2>&1; echo $?)" = 2 ]
    expect "kernels-$set-lacking-message" has "$work_root/kernels.out" "can't run those kernels"
  fi
done

# Data bytes that would control a terminal are shown as "?" there, and kept as they are in a
# piped transcript.
esc="$work_root/escapes"
mkdir -p "$esc"
printf 'AB0\033[2J\033]0;owned\007\nA0A\n0BBX\n' > "$esc/d.txt"
printf '%s\n' d.txt -2,3,1,1 AB 1 0 0 2 Hostile > "$esc/answers"
(cd "$esc" && script -qec "$bin < answers" /dev/null > terminal.console 2>&1)
(cd "$esc" && rm -f HAPLOVEX.OUT HAPLOVEX.SUM && "$bin" < answers > piped.console 2>&1)
expect escapes-shown-harmless has "$esc/terminal.console" "AB0?[2J?]0;owned?"
expect escapes-no-escape-on-terminal lacks "$esc/terminal.console" $'\033'
expect escapes-piped-as-they-are has "$esc/piped.console" $'AB0\033[2J\033]0;owned\007'
# Standard error is for a person wherever it goes: the line saying how the first record was
# split, an option and the environment named in a refusal, C1 controls (8-bit and UTF-8) among
# them; the piped transcript keeps the record's bytes.
printf '\033[2J\233\302\235A0 5;\n' > "$esc/odd.inp"
printf '%s\n' odd.inp 2,9,1,1 AB 2 Hostile > "$esc/inp-answers"
(cd "$esc" && rm -f HAPLOVEX.OUT HAPLOVEX.SUM && "$bin" --inp < inp-answers > inp.console 2> inp.err)
"$bin" $'--\033]52;c;aGk=\007' > /dev/null 2> "$esc/option.err"
HAPLOVEX_KERNELS=$'\233'2J "$bin" --version > /dev/null 2> "$esc/kernels.err"
expect escapes-split-line-harmless has "$esc/inp.err" "haplovex: line 1: history ?[2J??A0, count 5"
expect escapes-option-harmless has "$esc/option.err" "unknown option '--?]52;c;aGk=?'"
expect escapes-kernels-harmless has "$esc/kernels.err" "HAPLOVEX_KERNELS='?2J'"
no_controls() { ! LC_ALL=C grep -qP '[\x00-\x08\x0b-\x1f\x7f-\x9f]' "$1"; }
for err in inp option kernels; do expect "escapes-none-on-stderr-$err" no_controls "$esc/$err.err"; done
expect escapes-inp-piped-as-they-are env LC_ALL=C grep -qF $'\033[2J\233\302\235A0 5;' "$esc/inp.console"

# A really full file system (a small memory file system when this runs as root, otherwise the
# file-size limit): the write that fails stops the run, and the earlier files stay.
full="$work_root/full"
mkdir -p "$full"
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
  limit=""
  full_reason="No space left on device"
else
  limit="ulimit -f 64;"
  full_reason="File too large"
fi
# Thirty periods and six strata give a HAPLOVEX.OUT far larger than 64 KiB.
printf 'ABCDEFABCDEFABCDEFABCDEFABCDEF\n' > "$full/d.txt"
printf 'old out\n' > "$full/HAPLOVEX.OUT"
printf 'old sum\n' > "$full/HAPLOVEX.SUM"
printf '%s\n' y d.txt 6,30,1,1 ABCDEF 1 0 0 2 Full > "$full/answers"
(cd "$full" && bash -c "$limit \"$bin\" < answers > console 2>&1")
status=$?
expect full-disk [ "$status" = 1 ]
expect full-disk-message has "$full/console" " *** Can't write HAPLOVEX.OUT: $full_reason"
expect full-disk-kept [ "$(cat "$full/HAPLOVEX.OUT") $(cat "$full/HAPLOVEX.SUM")" = "old out old sum" ]
expect full-disk-no-partial [ -z "$(cd "$full" && ls -A | grep '^\.HAPLOVEX' )" ]
mountpoint -q "$full" && umount "$full"

echo "hostile inputs: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
