#!/usr/bin/env bash
# The dialogue at a terminal, typed through a pseudo-terminal: a typo costs one answer, the
# finished run leaves HAPLOVEX.ANS, and `haplovex -y < HAPLOVEX.ANS` repeats the run byte for
# byte. Then the command line: an answers file, -y, --strict, and what it refuses; and fits
# of the goodness-of-fit tests that last over two seconds showing their progress on one line.
#   terminal_dialogue.sh HAPLOVEX PTY_RUN GEN
set -uo pipefail
bin=$(realpath "$1")
pty=$(realpath "$2")
gen=$(realpath "$3")
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/e2e/checks.sh"

# The Green River dialogue, typed with mistakes: a file name with a typo, counts with a word,
# a memory model set for twelve periods that is fine, then changed to model set 2 after a
# number out of range. Every answer that is refused is asked again.
green="$work/green"
mkdir -p "$green"
cp "$root/examples/green-river/pass3mstrata5.inp" "$green/"
cat > "$work/green.script" <<'EOF'
expect FILE:
send pass3mstrata5.imp
expect did you mean pass3mstrata5.inp?
expect FILE:
send pass3mstrata5.inp
expect GROUPS(eg 3,7,1,1):
send four,12,1,1
expect must be a whole number, read "four"; please answer again
expect GROUPS(eg 3,7,1,1):
send 4,12,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send UDW
expect Expected 4 stratum codes
expect STRATA CODES(no quotes or spaces- eg 123):
send UDWL
expect FIRST COLUMN OF STRATA CODES:
send 33
expect FATE COLUMN:
send 0
expect STARTING COLUMN:
send 46
expect ENDING COLUMN:
send 46
expect MODEL SETS (1,2,3, or 4):
send 7
expect ** Enter a number between 1 and 4 **
expect MODEL SETS (1,2,3, or 4):
send 2
expect TITLE(no quotes):
send Green River fish in four rivers
expect === HAPLOVEX FINISHED OK ===
expect to repeat this run: haplovex -y < HAPLOVEX.ANS
EOF
(cd "$green" && "$pty" "$work/green.script" "$work/green.transcript" -- "$bin")
expect terminal-run-finishes [ $? = 0 ]
expected="$root/examples/green-river/expected/answers"
expect terminal-run-output cmp -s "$green/HAPLOVEX.OUT" "$expected/HAPLOVEX.OUT"
expect terminal-run-summary cmp -s "$green/HAPLOVEX.SUM" "$expected/HAPLOVEX.SUM"
# The accepted answers are those of the shipped answers file, and nothing else.
expect saved-answers cmp -s "$green/HAPLOVEX.ANS" "$root/examples/green-river/answers.txt"

# The geese dialogue with a refusal at every other kind of question: an empty file name, a
# period count, a first column, a fate column, frequency columns the wrong way round, a model
# set, an S-M choice out of range.
geese="$work/geese"
mkdir -p "$geese"
cp "$root/examples/geese/geese.inp" "$geese/"
cat > "$work/geese.script" <<'EOF'
expect FILE:
send
expect Type the name of the file that holds the records; please answer again
expect FILE:
send geese.inp
expect GROUPS(eg 3,7,1,1):
send 3,300,1,1
expect The number of time periods may be at most 250
expect GROUPS(eg 3,7,1,1):
send 3,6,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send 123
expect FIRST COLUMN OF STRATA CODES:
send 248
expect The stratum code of period 4 must lie in columns 1 to 250
expect FIRST COLUMN OF STRATA CODES:
send 1
expect FATE COLUMN:
send 300
expect The fate column must lie in columns 1 to 250
expect FATE COLUMN:
send 0
expect STARTING COLUMN:
send 14
expect ENDING COLUMN:
send 9
expect The frequency field ends in column 9, before its first column 14
expect STARTING COLUMN:
send 9
expect ENDING COLUMN:
send 14
expect MODEL SETS (1,2,3, or 4):
send 3
expect STRATA (0 or 1-3)?
send 9
expect ** Enter a number between 0 and
expect STRATA (0 or 1-3)?
send 0
expect TITLE(no quotes):
send Canada geese, three wintering regions, 1984-1989
expect === HAPLOVEX FINISHED OK ===
EOF
(cd "$geese" && "$pty" "$work/geese.script" "$work/geese.transcript" -- "$bin")
expect geese-terminal-run-finishes [ $? = 0 ]
for f in HAPLOVEX.OUT HAPLOVEX.SUM; do
  expect "geese-terminal-run-$f" cmp -s "$geese/$f" "$root/examples/geese/expected/answers-set3/$f"
done
expect geese-saved-answers cmp -s "$geese/HAPLOVEX.ANS" "$root/examples/geese/answers-set3.txt"

# The records looked at as each field is placed: stratum codes in the other case (asked again
# at the history's column, here two off at first), group codes typed with commas; each mistake
# is mended with one answer, and the files are those of the answers typed right. A history
# that is unusual on purpose, its column and codes typed again as they were, is taken.
look="$work/look"
mkdir -p "$look/right"
printf 'AB0C0D M  3\nA0BB00 F 12\n00CD0A M  1\nD0000A F  7\nBBCC00 M  2\n0A0B0C F  4\n' > "$look/birds.txt"
printf 'AB0x00 M  3\nA0BB00 F 12\n0xCD0A M  1\nD0000A F  7\n' > "$look/dead.txt"
printf 'birds.txt\n4,6,1,2\nABCD\n1\n0\n8\nMF\n10\n11\n2\nBirds\n' > "$look/right.txt"
(cd "$look/right" && cp ../birds.txt . && "$bin" ../right.txt > /dev/null 2>&1)
cat > "$work/look.script" <<'EOF'
expect FILE:
send birds.txt
expect GROUPS(eg 3,7,1,1):
send 4,6,1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send abcd
expect FIRST COLUMN OF STRATA CODES:
send 3
expect none of the stratum codes abcd stands in the history in columns 3-8 of the 6 records; the first column again
expect FIRST COLUMN OF STRATA CODES:
send 1
expect as ABCD, not abcd (codes are case-sensitive); the stratum codes again, as the file writes them: ABCD
expect STRATA CODES(no quotes or spaces- eg 123):
send ABCD
expect FATE COLUMN:
send 0
expect GROUP COLUMN:
send 8
expect the group column 8 holds, in the 6 records, the characters F 3  M 3
expect GROUP-CODES:
send M,F
expect without them they are MF
expect GROUP-CODES:
send MF
expect STARTING COLUMN:
send 10
expect ENDING COLUMN:
send 11
expect the frequency in columns 10-11 holds, in the 6 records: counts 1 to 12
expect MODEL SETS (1,2,3, or 4):
send 2
expect TITLE(no quotes):
send Birds
expect === HAPLOVEX FINISHED OK ===
EOF
(cd "$look" && "$pty" "$work/look.script" "$work/look.transcript" -- "$bin")
expect look-mended-run-finishes [ $? = 0 ]
for f in HAPLOVEX.OUT HAPLOVEX.SUM; do
  expect "look-mended-$f" cmp -s "$look/$f" "$look/right/$f"
done
expect look-saved-answers cmp -s "$look/HAPLOVEX.ANS" "$look/right.txt"
# (The same dialogue from the fate column on, without the mistakes.)
{ cat <<'EOF'
expect FILE:
send dead.txt
expect GROUPS(eg 3,7,1,1):
send 4,6,1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send ABCD
expect FIRST COLUMN OF STRATA CODES:
send 1
expect 2 of the 24 characters in the history in columns 1-6 of the 4 records are neither
expect FIRST COLUMN OF STRATA CODES:
send 1
expect the history stays where it was; the stratum codes again
expect STRATA CODES(no quotes or spaces- eg 123):
send ABCD
EOF
  sed -n '/^expect FATE COLUMN:/,$p' "$work/look.script" |
    sed '/holds, in the 6 records/d; /^send M,F/,/^expect GROUP-CODES:/d'
} > "$work/unusual.script"
rm -f "$look"/HAPLOVEX.*
(cd "$look" && "$pty" "$work/unusual.script" "$work/unusual.transcript" -- "$bin")
expect look-unusual-taken [ $? = 0 ]
expect look-unusual-saved cmp -s "$look/HAPLOVEX.ANS" <(sed 's/^birds.txt/dead.txt/' "$look/right.txt")

# The saved answers repeat the run, in another folder over a previous run's files, and as an
# answers file named on the command line.
for how in stdin argument; do
  again="$work/again-$how"
  mkdir -p "$again"
  cp "$root/examples/green-river/pass3mstrata5.inp" "$green/HAPLOVEX.ANS" "$again/"
  printf 'old\n' > "$again/HAPLOVEX.OUT"
  if [ "$how" = stdin ]; then
    (cd "$again" && "$bin" -y < HAPLOVEX.ANS > .console 2> .err)
  else
    (cd "$again" && "$bin" --yes HAPLOVEX.ANS > .console 2> .err < /dev/null)
  fi
  expect "replay-$how" [ $? = 0 ]
  for f in HAPLOVEX.OUT HAPLOVEX.SUM HAPLOVEX.ANS; do
    expect "replay-$how-$f" cmp -s "$green/$f" "$again/$f"
  done
  expect "replay-$how-asked-and-answered" has "$again/.console" "*** Output file (HAPLOVEX.OUT) exists!, overwrite(Y/N)"
done

# A file of summarised histories typed at a terminal with --inp: three age classes are refused
# (--inp reads one, or two by time since marking), no column is asked, the saved answers carry the option and are the shipped
# answers file, and they repeat the run byte for byte; the files are the run by columns'.
inp="$work/inp"
mkdir -p "$inp"
cp "$root/examples/skagit/skagit.inp" "$inp/"
cat > "$work/inp.script" <<'EOF'
expect FILE:
send skagit.inp
expect GROUPS(eg 3,7,1,1):
send 2,6,3,2
expect read with one age class, or two by time since marking, got 3
expect GROUPS(eg 3,7,1,1):
send 2,6,1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send AB
expect GROUP-CODES:
send 79
expect MODEL SETS (1,2,3, or 4):
send 2
expect TITLE(no quotes):
send Skagit River fish routes by tag type
expect line 5: history A00000, counts 1 0 (groups 7, 9), 1 covariate ignored
expect === HAPLOVEX FINISHED OK ===
expect to repeat this run: haplovex -y < HAPLOVEX.ANS
EOF
(cd "$inp" && "$pty" "$work/inp.script" "$work/inp.transcript" -- "$bin" --inp)
expect inp-terminal-run-finishes [ $? = 0 ]
expect inp-no-column-asked bash -c "! grep -q COLUMN \"$work/inp.transcript\""
expect inp-saved-answers cmp -s "$inp/HAPLOVEX.ANS" "$root/examples/skagit/answers-inp.txt"
for f in HAPLOVEX.OUT HAPLOVEX.SUM; do
  expect "inp-same-as-columns-$f" cmp -s "$inp/$f" "$root/examples/skagit/expected/answers/$f"
done
inp_again="$work/inp-again"
mkdir -p "$inp_again"
cp "$inp/skagit.inp" "$inp/HAPLOVEX.ANS" "$inp/HAPLOVEX.OUT" "$inp_again/"
(cd "$inp_again" && "$bin" -y < HAPLOVEX.ANS > .console 2> .err)
expect inp-replay [ $? = 0 ]
for f in HAPLOVEX.OUT HAPLOVEX.SUM HAPLOVEX.ANS; do
  expect "inp-replay-$f" cmp -s "$inp/$f" "$inp_again/$f"
done

# Plausible answers the records deny, typed at a terminal: each is asked again at its own
# question with the answer likely meant offered, and the answers offered give the files of the
# run answered right; piped, the same wrong answers are told before any record is converted,
# and --strict stops with the folder unchanged.
#   deny NAME OPTION FILE RECORDS RIGHT WRONG TOLD < SCRIPT
# RECORDS are written to FILE (printf format); RIGHT and WRONG are answers (printf format,
# after the file name), WRONG empty for a case with no scripted warning; TOLD is what a --strict
# run of WRONG says, on standard output or error. SCRIPT types the wrong answers and then
# those offered, up to the model set.
deny() {
  local name=$1 option=$2 file=$3 records=$4 right=$5 wrong=$6 told=$7
  local at="$work/deny-$name"
  mkdir -p "$at/right"
  printf "$records" > "$at/$file"
  cp "$at/$file" "$at/right/"
  { [ -z "$option" ] || echo "#haplovex $option"; echo "$file"; printf "$right"; } > "$at/right.txt"
  (cd "$at/right" && "$bin" ../right.txt > .console 2>&1)
  expect "deny-$name-right-run" [ $? = 0 ]
  # (Model set 2 and the title of RIGHT end the script, unless it types the title itself.)
  local typed title
  typed=$(cat)
  title=$(printf "$right" | tail -n 1)
  { echo "expect FILE:"; echo "send $file"; echo "$typed"
    [[ $typed == *TITLE* ]] || printf 'expect MODEL SETS (1,2,3, or 4):\nsend 2\nexpect TITLE(no quotes):\nsend %s\n' "$title"
    echo "expect === HAPLOVEX FINISHED OK ==="; } > "$at.script"
  (cd "$at" && "$pty" "$at.script" "$at.transcript" -- "$bin" $option)
  expect "deny-$name-mended-run-finishes" [ $? = 0 ]
  for f in HAPLOVEX.OUT HAPLOVEX.SUM; do
    expect "deny-$name-mended-$f" cmp -s "$at/$f" "$at/right/$f"
  done
  expect "deny-$name-mended-answers" cmp -s "$at/HAPLOVEX.ANS" "$at/right.txt"
  [ -n "$wrong" ] || return 0
  { [ -z "$option" ] || echo "#haplovex $option"; echo "$file"; printf "$wrong"; } > "$at/wrong.txt"
  rm -f "$at"/HAPLOVEX.*
  (cd "$at" && "$bin" --strict wrong.txt > .console 2> .err)
  expect "deny-$name-strict-stops" [ $? = 1 ]
  expect "deny-$name-strict-says-why" has <(cat "$at/.console" "$at/.err") "$told"
  expect "deny-$name-strict-before-converting" bash -c "! grep -q 'records read' '$at/.console'"
  expect "deny-$name-strict-nothing-written" [ "$(cd "$at" && ls -A | grep -c HAPLOVEX)" = 0 ]
}
# (Two groups' counts after histories of three strata, 1 to 3, read with --inp.)
two='1121111 1 0;\n2211102 0 1;\n1101201 0 1;\n3301101 2 0;\n'
deny groups --inp two.inp "$two" '3,7,1,2\n123\nMF\n2\nTwo\n' '3,7,1,1\n123\n2\nTwo\n' \
  'haplovex: warning: every record has 2 whole-number counts after its history: 2 groups?' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 3,7,1,1
expect every record has 2 whole-number counts after its history: 2 groups? (the counts 3,7,1,2;
expect GROUPS(eg 3,7,1,1):
send 3,7,1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send 123
expect GROUP-CODES:
send MF
EOF
deny fewer-groups --inp two.inp "$two" '3,7,1,2\n123\nMF\n2\nTwo\n' '3,7,1,3\n123\nMFX\n2\nTwo\n' \
  'haplovex: warning: every record has 2 whole-number counts after its history: 2 groups? (the counts 3,7,1,2; with 3 groups, each record needs 3)' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 3,7,1,3
expect (the counts 3,7,1,2; with 3 groups, each record needs 3) (the same counts again keep them); please answer again
expect GROUPS(eg 3,7,1,1):
send 3,7,1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send 123
expect GROUP-CODES:
send MF
EOF
deny periods --inp two.inp "$two" '3,7,1,2\n123\nMF\n2\nTwo\n' '3,8,1,2\n123\nMF\n2\nTwo\n' \
  'where the counts answer gives 8 periods: the counts that fit them are 3,7,1,2' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 3,8,1,2
expect the counts that fit them are 3,7,1,2; please answer again
expect GROUPS(eg 3,7,1,1):
send 3,7,1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send 123
expect GROUP-CODES:
send MF
EOF
deny left-out --inp two.inp "$two" '3,7,1,2\n123\nMF\n2\nTwo\n' '2,7,1,2\n12\nMF\n2\nTwo\n' \
  'a stratum code left out? (3 strata with the codes 123)' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 2,7,1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send 12
expect a stratum code left out? (3 strata with the codes 123)
expect STRATA CODES(no quotes or spaces- eg 123):
send 123
expect GROUP-CODES:
send MF
EOF
# (Moves among L, M and S by columns, S in five periods' columns; a count in column 8.)
moves='LM0S0L 1\nS0LL0M 2\nSMSS0L 1\nLLM0S0 3\n'
deny unused '' moves.txt "$moves" '3,6,1,1\nLMS\n1\n0\n8\n8\n2\nMoves\n' \
  '4,6,1,1\nLMSX\n1\n0\n8\n8\n2\nMoves\n' \
  'haplovex: warning: the stratum code X stands nowhere in the history in columns 1-6 of the 4 records: 3 strata with the codes LMS?' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 4,6,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send LMSX
expect FIRST COLUMN OF STRATA CODES:
send 1
expect the stratum code X stands nowhere in the history in columns 1-6 of the 4 records: 3 strata with the codes LMS?; the stratum codes again
expect STRATA CODES(no quotes or spaces- eg 123):
send LMS
expect FATE COLUMN:
send 0
expect STARTING COLUMN:
send 8
expect ENDING COLUMN:
send 8
EOF
deny column-off '' moves.txt "$moves" '3,6,1,1\nLMS\n1\n0\n8\n8\n2\nMoves\n' \
  '3,6,1,1\nLMS\n2\n0\n8\n8\n2\nMoves\n' \
  'period 6 is blank in every record (column 7 holds no stratum code); the histories fit from column 1 on' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 3,6,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send LMS
expect FIRST COLUMN OF STRATA CODES:
send 2
expect period 6 is blank in every record (column 7 holds no stratum code); the histories fit from column 1 on; the first column again
expect FIRST COLUMN OF STRATA CODES:
send 1
expect FATE COLUMN:
send 0
expect STARTING COLUMN:
send 8
expect ENDING COLUMN:
send 8
EOF
# (Counts of two digits, in columns 9-10: a frequency read from column 10 alone is 0.)
tens='1121111 10\n2211102 20\n1101201 30\n'
deny frequency-zero '' tens.txt "$tens" '2,7,1,1\n12\n1\n0\n9\n10\n2\nTens\n' \
  '2,7,1,1\n12\n1\n0\n10\n10\n2\nTens\n' \
  'haplovex: warning: the frequency in column 10 is 0 in 3 of the 3 records, which count no animal' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 2,7,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send 12
expect FIRST COLUMN OF STRATA CODES:
send 1
expect FATE COLUMN:
send 0
expect STARTING COLUMN:
send 10
expect ENDING COLUMN:
send 10
expect is 0 in 3 of the 3 records, which count no animal; a file with a count for each group after its history is read with --inp (the same columns again keep them)
expect STARTING COLUMN:
send 9
expect ENDING COLUMN:
send 10
EOF
deny frequency-blank '' tens.txt "$tens" '2,7,1,1\n12\n1\n0\n9\n10\n2\nTens\n' \
  '2,7,1,1\n12\n1\n0\n11\n12\n2\nTens\n' \
  'haplovex: warning: the frequency in columns 11-12 is blank in 3 of the 3 records, which count no animal' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 2,7,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send 12
expect FIRST COLUMN OF STRATA CODES:
send 1
expect FATE COLUMN:
send 0
expect STARTING COLUMN:
send 11
expect ENDING COLUMN:
send 12
expect is blank in 3 of the 3 records, which count no animal (the same columns again keep them)
expect STARTING COLUMN:
send 9
expect ENDING COLUMN:
send 10
EOF
# (A line of names, and a tab between each history and its count: a screen shows the counts
# from column 9 on, where they stand in columns 6-8.)
tabbed='ch\tfreq\nA000\t491\nAB0B\t12\nA0BA\t5\n'
deny tabs '' tabbed.txt "$tabbed" '2,4,1,1\nAB\n1\n0\n6\n8\n2\nTabs\n' \
  '2,4,1,1\nAB\n1\n0\n9\n11\n2\nTabs\n' \
  'haplovex: warning: the 3 records hold 3 tabs at or before column 11' <<'EOF'
expect line 1 (ch>freq) looks like a line of names
expect GROUPS(eg 3,7,1,1):
send 2,4,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send AB
expect FIRST COLUMN OF STRATA CODES:
send 1
expect line 1 (ch>freq) holds names, not a record: it is read as none
expect the history in columns 1-4 holds, in the 3 records, the characters A 4  B 3  0 5
expect FATE COLUMN:
send 0
expect STARTING COLUMN:
send 9
expect ENDING COLUMN:
send 11
expect however wide a screen shows it; the counts stand in columns 6-8 (the same columns again keep them); please answer again
expect STARTING COLUMN:
send 6
expect ENDING COLUMN:
send 8
EOF
# (The last period blank in every record, with --inp: the histories fix the periods, and the
# same counts typed again are taken.)
deny blank-period --inp blank.inp '1121110 1;\n2211100 1;\n1101200 2;\n' '2,7,1,1\n12\n2\nBlank\n' \
  '2,7,1,1\n12\n2\nBlank\n' \
  'haplovex: warning: period 7 is blank in every record (character 7 of the histories holds no stratum code)' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 2,7,1,1
expect STRATA CODES(no quotes or spaces- eg 123):
send 12
expect period 7 is blank in every record (character 7 of the histories holds no stratum code); the counts again (the histories' 7 characters are the periods: the same counts, 2,7,1,1, keep them)
expect GROUPS(eg 3,7,1,1):
send 2,7,1,1
EOF
# (A counts line typed in part, completed by the next, as an answers file reads on; a title
# with a ', asked again.)
deny counts-and-title --inp two.inp "$two" '3,7\n1,2\n123\nMF\n2\nTwo birds\n' '' '' <<'EOF'
expect GROUPS(eg 3,7,1,1):
send 3,7
expect still awaited: AGE-CLASSES,GROUPS:
send 1,2
expect STRATA CODES(no quotes or spaces- eg 123):
send 123
expect GROUP-CODES:
send MF
expect MODEL SETS (1,2,3, or 4):
send 2
expect TITLE(no quotes):
send Two bird's
expect the title holds a ', which ends the quoted title in HAPLOVEX.OUT early (the same title again keeps it); please answer again
expect TITLE(no quotes):
send Two birds
EOF

# Ctrl-D ends the run at a terminal as anywhere: nothing of the run is written, but for the
# answers typed so far, kept for the run to be finished from them.
eof="$work/eof"
mkdir -p "$eof"
cp "$root/examples/green-river/pass3mstrata5.inp" "$eof/"
printf 'expect FILE:\nsend pass3mstrata5.inp\nexpect GROUPS(eg 3,7,1,1):\neof\n' > "$work/eof.script"
(cd "$eof" && "$pty" "$work/eof.script" "$work/eof.transcript" -- "$bin")
expect ctrl-d-ends [ $? = 1 ]
expect ctrl-d-message has "$work/eof.transcript" "The input ended while waiting for the answer"
expect ctrl-d-nothing-written [ "$(cd "$eof" && ls -A | grep -v pass3mstrata5.inp)" = HAPLOVEX.ANS.partial ]
expect ctrl-d-answers-kept [ "$(cat "$eof/HAPLOVEX.ANS.partial")" = pass3mstrata5.inp ]
expect ctrl-d-how-to-finish has "$work/eof.transcript" "then run: haplovex -y HAPLOVEX.ANS.partial"

# The same mistakes in an answers file stop the run, as they always did.
piped="$work/piped"
mkdir -p "$piped"
cp "$root/examples/green-river/pass3mstrata5.inp" "$piped/"
printf 'pass3mstrata5.inp\nfour,12,1,1\n4,12,1,1\n' > "$piped/answers"
(cd "$piped" && "$bin" answers > .console 2>&1)
expect piped-stops [ $? = 1 ]
expect piped-message has "$piped/.console" ' *** Answer to STRATA,TIME-PERIODS,AGE-CLASSES,GROUPS must be a whole number, read "four"'
expect piped-no-answers-file [ ! -e "$piped/HAPLOVEX.ANS" ]

# --strict: a warning about the data stops the run, and nothing is written.
strict="$work/strict"
mkdir -p "$strict"
printf 'AB0\nAb0\n0BBX\n' > "$strict/d.txt"
printf 'd.txt\n2,3,1,1\nAB\n1\n4\n0\n2\nStrict\n' > "$strict/answers"
(cd "$strict" && "$bin" --strict answers > .console 2> .err)
expect strict-stops [ $? = 1 ]
# (One character in nine that is no code: the look at the first records says so before any
# record is converted, and the conversion again once they are read.)
expect strict-says-why has "$strict/.err" 'haplovex: warning: 1 of the 9 characters in the history in columns 1-3 of the 3 records are neither stratum codes nor 0, . or blank'
expect strict-stops-before-converting bash -c "! grep -q 'records read' '$strict/.console'"
expect strict-nothing-written [ ! -e "$strict/HAPLOVEX.OUT" ]
(cd "$strict" && "$bin" answers > .console 2> .err)
expect warning-alone-finishes [ $? = 0 ]
expect warning-after-reading has "$strict/.err" 'haplovex: warning: 1 history character neither a stratum code nor 0, . or blank'
expect piped-shows-no-field bash -c "! grep -q 'holds, in' '$strict/.console' '$strict/.err'"

# What the command line refuses.
"$bin" --frobnicate < /dev/null > /dev/null 2> "$work/bad-option"
expect unknown-option [ $? = 2 ]
expect unknown-option-named has "$work/bad-option" "unknown option '--frobnicate'"
"$bin" "$work/no-such-answers" < /dev/null > /dev/null 2> "$work/bad-file"
expect missing-answers-file [ $? = 2 ]
"$bin" a b < /dev/null > /dev/null 2>&1
expect two-answers-files [ $? = 2 ]

# Fitting that lasts over two seconds (8 strata, 12 periods, 3,000 records, one thread) shows at
# the terminal how many of Test M's tables are fitted, on one line of standard error rewritten in
# place, cleared before the c-hat line. (A machine that fits them in under three seconds may
# show nothing, and the check says so.)
fit="$work/fit"
mkdir -p "$fit"
"$gen" 3000 8 12 1 1 42 > "$fit/d.txt"
"$gen" --answers 2 d.txt 8 12 1 1 > "$fit/answers"
printf 'expect === HAPLOVEX FINISHED OK ===\n' > "$work/fit.script"
(cd "$fit" && HAPLOVEX_FIT_SECONDS=1 "$pty" "$work/fit.script" "$work/fit.transcript" -- "$bin" --gof --threads 1 answers)
expect fit-run-finishes [ $? = 0 ]
took=$(sed -n 's/.*goodness of fit: the tests took \([0-9]*\)\..*/\1/p' "$work/fit.transcript")
if [ "${took:-0}" -ge 3 ]; then
  expect fit-progress-on-one-line "$(command -v python3)" - "$work/fit.transcript" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace", newline="").read()
start = text.find("\rhaplovex: goodness of fit: Test M's tables fitted: ")
end = text.find("haplovex: goodness of fit: the tests took", start)
shown = re.findall(r"\rhaplovex: goodness of fit: Test M's tables fitted: ([\d,]+) of ([\d,]+)", text[start:end])
done = [int(d.replace(",", "")) for d, _ in shown]
# Rewritten in place, never a new line, the count rising to at most all tables, then cleared.
if start < 0 or "\n" in text[start:end] or not shown or len({a for _, a in shown}) != 1 or \
        done != sorted(done) or done[-1] > int(shown[0][1].replace(",", "")) or \
        not re.search(r"\r +\r$", text[start:end]):
    sys.exit(f"progress: {text[start:end]!r}")
EOF
else
  echo "terminal dialogue: the fits took ${took:-0} s here, under the three seconds that make their progress certain; not checked"
fi

finish "terminal dialogue"
