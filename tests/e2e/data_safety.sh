#!/usr/bin/env bash
# A run either finishes and replaces HAPLOVEX.OUT and HAPLOVEX.SUM whole, or leaves the folder
# as it found it. The capture-history file is never written, and the files already in the
# folder are compared byte for byte, with their modification times, before and after each run:
# after every kind of stop, a signal in the middle of a conversion, a closed console, links
# that lead elsewhere, and two runs in one folder at once.
set -uo pipefail
bin=$(realpath "$1")
work=$(mktemp -d)
trap 'jobs -p | xargs -r kill 2>/dev/null; rm -rf "$work"' EXIT
failures=0
passes=0

answers=(d.txt 2,3,1,1 AB 1 4 0 2 Safe)
answers_after_guard=$(printf '%s\n' "${answers[@]}")$'\n'

# A file's time, size, kind and checksum (a CRC: it is to catch a run writing into a file, and
# is quick on the 60 MB of records the signals interrupt).
fingerprint() { stat -c '%y %s %F' "$1"; [ -f "$1" ] && cksum < "$1"; }
# Every name in the folder with its fingerprint (links not followed), the console excepted.
folder_print() {
  (cd "$1" && for f in $(ls -A | grep -v '^\.console$\|^\.err$\|^\.answers$'); do
     echo "$f $(stat -c '%y %s %F' "$f") $( [ -f "$f" ] && [ ! -L "$f" ] && cksum < "$f")"; done)
}
pass() { passes=$((passes + 1)); }
fail() { failures=$((failures + 1)); echo "[$1] $2"; [ -f "$work/$1/.console" ] && tail -n 4 "$work/$1/.console"; }

# A folder holding the records and a previous run's two files, all dated in the past.
fresh() {
  local dir="$work/$1"
  mkdir -p "$dir"
  printf 'AB0\nA0A\n0BBX\n' > "$dir/d.txt"
  printf 'results of last week\n' > "$dir/HAPLOVEX.OUT"
  printf 'summary of last week\n' > "$dir/HAPLOVEX.SUM"
  touch -h -d '2020-01-02 03:04:05.123456789' "$dir/HAPLOVEX.OUT" "$dir/HAPLOVEX.SUM" "$dir/d.txt"
  echo "$dir"
}

# check NAME ANSWERS_TEXT EXPECT(kept|replaced) [WANT_STATUS]: a run in a fresh folder.
check() {
  local name=$1 text=$2 expect=$3 want=${4:-}
  local dir before
  dir=$(fresh "$name")
  before=$(folder_print "$dir")
  (cd "$dir" && printf '%s' "$text" | "$bin" > .console 2> .err)
  local status=$?
  if [ "$expect" = kept ]; then
    if [ "$status" != "${want:-1}" ]; then fail "$name" "exit status $status"
    elif [ "$(folder_print "$dir")" != "$before" ]; then fail "$name" "the folder changed"
    elif ! grep -q "the files in the folder are as they were" "$dir/.err"; then fail "$name" "no word on standard error"
    else pass; fi
  else
    if [ "$status" != 0 ]; then fail "$name" "exit status $status"
    elif ! grep -q "^PROC TITLE 'Safe';" "$dir/HAPLOVEX.OUT"; then fail "$name" "HAPLOVEX.OUT not replaced"
    elif grep -q "last week" "$dir/HAPLOVEX.SUM"; then fail "$name" "HAPLOVEX.SUM not replaced"
    elif [ -n "$(cd "$dir" && ls -A | grep '^\.HAPLOVEX')" ]; then fail "$name" "a partial file was left"
    else pass; fi
  fi
}

# The overwrite answer.
check answer-N $'N\n'"$answers_after_guard" kept
check answer-n-word $'no\n'"$answers_after_guard" kept
check answer-empty $'\n'"$answers_after_guard" kept
check answer-blank-then-y $' y\n'"$answers_after_guard" kept
check end-of-input '' kept
check answer-y $'y\n'"$answers_after_guard" replaced
check answer-Yes $'Yes\n'"$answers_after_guard" replaced

# A yes, then a stop at every later question: the input ends there, or the answer is no
# number.
for k in $(seq 0 $((${#answers[@]} - 1))); do
  check "yes-then-end-after-$k" "y"$'\n'"$(printf '%s\n' "${answers[@]:0:$k}")" kept
  if [ "$k" -ge 1 ] && [ "$k" -le 6 ]; then
    check "yes-then-no-number-at-$k" "y"$'\n'"$(printf '%s\n' "${answers[@]:0:$k}")"$'\nx\n' kept
  fi
done
# A stop found by the converter, in the middle of the records.
check yes-then-bad-group "y"$'\n'$'d.txt\n2,3,1,2\nAB\n1\n4\n2\nMF\n0\n2\nSafe\n' kept

# Links. A link named as one of the run's files is replaced itself, never followed; a link
# that makes the records one of the run's files is refused before anything is written.
dir=$(fresh sum-linked-outside)
printf 'my notes\n' > "$work/notes.txt"
rm "$dir/HAPLOVEX.SUM" && ln -s ../notes.txt "$dir/HAPLOVEX.SUM"
before_notes=$(fingerprint "$work/notes.txt")
(cd "$dir" && printf 'y\n%s' "$answers_after_guard" | "$bin" > .console 2>&1)
status=$?
if [ "$status" != 0 ]; then fail sum-linked-outside "exit status $status"
elif [ "$(fingerprint "$work/notes.txt")" != "$before_notes" ]; then fail sum-linked-outside "notes.txt was written"
elif [ -L "$dir/HAPLOVEX.SUM" ] || ! grep -q "MOVEMENT TRANSITIONS" "$dir/HAPLOVEX.SUM"; then fail sum-linked-outside "the link was not replaced"
else pass; fi

for link in "ln -s d.txt HAPLOVEX.OUT" "ln d.txt HAPLOVEX.OUT" "ln -s d.txt HAPLOVEX.SUM" "ln d.txt HAPLOVEX.SUM"; do
  name="records-linked-$(echo "$link" | tr ' .' '--')"
  dir=$(fresh "$name")
  target=${link##* }
  rm "$dir/$target" && (cd "$dir" && $link)
  before=$(folder_print "$dir")
  (cd "$dir" && printf 'y\n%s' "$answers_after_guard" | "$bin" > .console 2>&1)
  status=$?
  if [ "$status" != 1 ]; then fail "$name" "exit status $status"
  elif ! grep -q "is the run's own $target" "$dir/.console"; then fail "$name" "not refused as the run's own file"
  elif [ "$(folder_print "$dir")" != "$before" ]; then fail "$name" "the folder changed"
  else pass; fi
done

# A signal in the middle of a conversion of twenty million records: every signal asked for from
# outside (Ctrl-C, Ctrl-\\, kill, a timer, a user's signal).
yes AB | head -n 20000000 > "$work/big.txt"
ulimit -c 0  # (QUIT's default action would leave a core file)
for signal in INT TERM HUP QUIT USR1 USR2 ALRM VTALRM XCPU RTMIN; do
  name="signal-$signal"
  dir=$(fresh "$name")
  rm "$dir/d.txt" && ln "$work/big.txt" "$dir/d.txt"
  touch -d '2020-01-02 03:04:05.123456789' "$dir/d.txt"
  before=$(folder_print "$dir")
  (cd "$dir" && exec "$bin" < <(printf 'y\nd.txt\n2,2,1,1\nAB\n1\n0\n0\n2\nBig\n') > .console 2> .err) &
  pid=$!
  # The summary's partial file is made right before the records are read.
  for _ in $(seq 1 500); do
    compgen -G "$dir/.HAPLOVEX.SUM.partial-*" > /dev/null && break
    sleep 0.01
  done
  kill -s "$signal" "$pid"
  wait "$pid" 2>/dev/null
  status=$?
  want=$((128 + $(kill -l "$signal")))
  if [ "$status" != "$want" ]; then fail "$name" "exit status $status, expected $want (ended by the signal)"
  elif [ "$(folder_print "$dir")" != "$before" ]; then fail "$name" "the folder changed"
  elif ! grep -q "stopped by a signal; no file was written" "$dir/.err"; then fail "$name" "no word on standard error"
  else pass; fi
done

# A console closed in the middle of the run.
dir=$(fresh console-closed)
before=$(folder_print "$dir")
# The answers after the first come a second later, when the console has long been closed.
(cd "$dir" && { printf 'y\n'; sleep 1; printf '%s' "$answers_after_guard"; } | "$bin" 2> .err |
  head -n 1 > /dev/null; echo "${PIPESTATUS[1]}" > .status)
if [ "$(cat "$dir/.status")" != 1 ]; then fail console-closed "exit status $(cat "$dir/.status")"
elif [ "$(folder_print "$dir" | grep -v '^\.status')" != "$before" ]; then fail console-closed "the folder changed"
else pass; fi

# Two runs in one folder. A run waiting for an answer keeps no other out: the second finishes,
# and the first, finding the HAPLOVEX.OUT the second made where there was none when it began,
# stops when its conversion starts, leaving that file. A run that is converting holds the
# folder: a second run then is refused at once.
dir=$(fresh two-runs)
rm "$dir/HAPLOVEX.OUT"
mkfifo "$dir/.answers"
(cd "$dir" && timeout 60 "$bin" < .answers > .console 2>&1; echo $? > .first) &
exec 3<> "$dir/.answers"
printf 'd.txt\n' >&3
for _ in $(seq 1 500); do compgen -G "$dir/.HAPLOVEX.OUT.partial-*" > /dev/null && break; sleep 0.01; done
(cd "$dir" && printf '%s' "$answers_after_guard" | timeout 10 "$bin" > .second 2>&1)
second=$?
second_out=$(cat "$dir/HAPLOVEX.OUT" 2> /dev/null)
printf '%s' "${answers_after_guard#d.txt$'\n'}" >&3
exec 3>&-
wait
if [ "$second" != 0 ]; then
  fail two-runs "the second run did not finish while the first waited (status $second)"
elif [ "$(cat "$dir/.first")" != 1 ] || ! grep -q "HAPLOVEX.OUT appeared in this folder while the run waited for its answers" "$dir/.console"; then
  fail two-runs "the first run did not stop on the HAPLOVEX.OUT that appeared"
elif [ "$(cat "$dir/HAPLOVEX.OUT")" != "$second_out" ]; then
  fail two-runs "the second run's HAPLOVEX.OUT was replaced"
else pass; fi

dir=$(fresh converting)
rm "$dir/d.txt" && ln "$work/big.txt" "$dir/d.txt"
(cd "$dir" && "$bin" < <(printf 'y\nd.txt\n2,2,1,1\nAB\n1\n0\n0\n2\nBig\n') > .console 2> .err; echo $? > .first) &
for _ in $(seq 1 500); do compgen -G "$dir/.HAPLOVEX.SUM.partial-*" > /dev/null && break; sleep 0.01; done
(cd "$dir" && printf 'y\n%s' "$answers_after_guard" | timeout 10 "$bin" > .second 2>&1)
second=$?
wait
if [ "$second" != 1 ] || ! grep -q "Another HAPLOVEX run is converting in this folder" "$dir/.second"; then
  fail converting "the second run was not refused (status $second)"
elif [ "$(cat "$dir/.first")" != 0 ]; then
  fail converting "the first run did not finish"
else pass; fi

# A run killed outright at each of its renames (the first, HAPLOVEX.OUT's, and the second,
# HAPLOVEX.SUM's): every name holds a whole file, the earlier one or the new one, and the next
# run in the folder finishes the moves, so that both are the new run's, and leaves no hidden
# file.
if command -v strace > /dev/null; then
  for when in 1 2; do
    name="killed-at-rename-$when"
    dir=$(fresh "$name")
    (cd "$dir" && printf 'y\n%s' "$answers_after_guard" |
       strace -f -o /dev/null -e trace=renameat,renameat2 -e inject=renameat,renameat2:signal=SIGKILL:when=$when \
         "$bin" > .console 2> .err)
    whole=1
    for f in HAPLOVEX.OUT HAPLOVEX.SUM; do
      grep -q "last week" "$dir/$f" || grep -q "^PROC TITLE 'Safe';\|MOVEMENT TRANSITIONS" "$dir/$f" || whole=0
    done
    (cd "$dir" && printf 'n\n' | "$bin" > .next 2> .next-err)
    if [ "$whole" != 1 ]; then fail "$name" "a file was not whole after the kill"
    elif [ -n "$(cd "$dir" && ls -A | grep '^\.HAPLOVEX')" ]; then fail "$name" "a hidden file outlived the next run"
    elif grep -q "last week" "$dir/HAPLOVEX.SUM" && ! grep -q "last week" "$dir/HAPLOVEX.OUT"; then
      fail "$name" "the files are of two runs"
    elif [ "$when" = 2 ] && ! grep -q "finished its moves" "$dir/.next-err"; then
      fail "$name" "the next run said nothing of the moves it finished"
    else pass; fi
  done
  # The record of moves is on the disk, and its name in the folder, before the first rename: a
  # kill at any rename leaves a record the next run can read.
  dir=$(fresh record-synced)
  real=$(realpath "$dir")
  (cd "$dir" && printf 'y\n%s' "$answers_after_guard" |
     strace -f -y -o "$work/record-synced.trace" -e trace=fsync,fdatasync,renameat,renameat2,rename \
       "$bin" > .console 2> .err)
  order=$(sed -n -e "s|.*fsync([0-9]*<$real/\.HAPLOVEX\.moves-[0-9]*>).*|M|p" -e "s|.*fsync([0-9]*<$real>).*|D|p" \
            -e 's|.*rename.*|R|p' "$work/record-synced.trace" | tr -d '\n')
  if [[ "$order" != *R* ]]; then fail record-synced "no rename seen ($order)"
  elif [[ "${order%%R*}" != *M*D* ]]; then fail record-synced "the record and the folder were not synced before the first rename ($order)"
  else pass; fi
else
  echo "data safety: no strace here: the kills at each rename were not tried"
fi

# A record of moves is data from the folder: a planted one moves none of the user's files, in
# the folder or outside it, and its lines are named on standard error; a pipe or a folder at its
# name is no record (a pipe is never waited on).
( : ) & gone=$!
wait "$gone"
for planted in outside inside pipe folder; do
  mkdir -p "$work/outside"
  printf 'thesis\n' > "$work/outside/thesis.txt"
  printf 'notes\n' > "$work/outside/notes.txt"
  outside_before=$(folder_print "$work/outside")
  name="planted-record-$planted"
  dir=$(fresh "$name")
  record="$dir/.HAPLOVEX.moves-$gone"
  case $planted in
    outside) printf '../outside/thesis.txt\t-\t%s/outside/notes.txt\n' "$work" > "$record"
             said='"../outside/thesis.txt" "-" "'"$work"'/outside/notes.txt"' ;;
    inside) printf 'd.txt\t-\tHAPLOVEX.SUM\nHAPLOVEX.OUT\td.txt\t-\n' > "$record"
            said='"HAPLOVEX.OUT" "d.txt" "-"' ;;
    pipe) mkfifo "$record" ;;
    folder) mkdir "$record" ;;
  esac
  (cd "$dir" && printf 'y\n%s' "$answers_after_guard" | timeout 10 "$bin" > .console 2> .err)
  status=$?
  if [ "$status" != 0 ]; then fail "$name" "exit status $status"
  elif [ "$(folder_print "$work/outside")" != "$outside_before" ]; then fail "$name" "a file outside the folder changed"
  elif [ "$(cat "$dir/d.txt")" != "$(printf 'AB0\nA0A\n0BBX')" ]; then fail "$name" "the records changed"
  elif grep -q "finished its moves" "$dir/.err"; then fail "$name" "a move was said to be finished"
  elif ! grep -q "^PROC TITLE 'Safe';" "$dir/HAPLOVEX.OUT"; then fail "$name" "HAPLOVEX.OUT not replaced"
  elif [ "$planted" = pipe ] && [ ! -p "$record" ]; then fail "$name" "the pipe went"
  elif [ "$planted" = folder ] && [ ! -d "$record" ]; then fail "$name" "the folder went"
  elif [ -n "${said:-}" ] && ! grep -qF "names no move of a run's files and was not done: $said" "$dir/.err"; then
    fail "$name" "the line was not named"
  elif [ -n "${said:-}" ] && [ -e "$record" ]; then fail "$name" "the record was left"
  else pass; fi
  said=
done

# A closed console at the end of the run, tried often: the run either finishes (exit 0, files
# replaced) or stops (exit 1, the folder as it was), never both.
for try in $(seq 1 12); do
  dir=$(fresh "closed-late-$try")
  before=$(folder_print "$dir")
  (cd "$dir" && printf 'y\n%s' "$answers_after_guard" | "$bin" 2> .err | head -n 1 > /dev/null
   echo "${PIPESTATUS[1]}" > .status)
  status=$(cat "$dir/.status")
  if [ "$status" = 1 ] && [ "$(folder_print "$dir" | grep -v '^\.status')" != "$before" ]; then
    fail "closed-late-$try" "exit 1, yet the folder changed"
  elif [ "$status" = 0 ] && grep -q "last week" "$dir/HAPLOVEX.OUT"; then
    fail "closed-late-$try" "exit 0, yet the files were not replaced"
  else pass; fi
done

# A replaced file keeps its mode; a user's file that looks like a partial file is kept.
dir=$(fresh modes)
chmod 600 "$dir/HAPLOVEX.OUT"
printf 'my notes\n' > "$dir/.HAPLOVEX.OUT.partial-notes"
(cd "$dir" && printf 'y\n%s' "$answers_after_guard" | "$bin" > .console 2> .err)
if [ "$(stat -c %a "$dir/HAPLOVEX.OUT")" != 600 ]; then fail modes "mode $(stat -c %a "$dir/HAPLOVEX.OUT")"
elif [ "$(cat "$dir/.HAPLOVEX.OUT.partial-notes")" != "my notes" ]; then fail modes "the user's file went"
else pass; fi

# A HAPLOVEX.OUT that appears while a run waits for its answers, where there was none when it
# began, is not replaced: the scripted run stops.
dir=$(fresh appeared-meanwhile)
rm "$dir/HAPLOVEX.OUT" "$dir/HAPLOVEX.SUM"
mkfifo "$dir/.answers"
(cd "$dir" && timeout 60 "$bin" < .answers > .console 2>&1; echo $? > .status) &
exec 3<> "$dir/.answers"
printf 'd.txt\n' >&3
for _ in $(seq 1 500); do compgen -G "$dir/.HAPLOVEX.OUT.partial-*" > /dev/null && break; sleep 0.01; done
printf 'written by someone else\n' > "$dir/HAPLOVEX.OUT"
printf '%s' "${answers_after_guard#d.txt$'\n'}" >&3
exec 3>&-
wait
if [ "$(cat "$dir/.status")" != 1 ]; then fail appeared-meanwhile "exit status $(cat "$dir/.status")"
elif [ "$(cat "$dir/HAPLOVEX.OUT")" != "written by someone else" ]; then fail appeared-meanwhile "the new file was replaced"
elif [ -e "$dir/HAPLOVEX.SUM" ]; then fail appeared-meanwhile "HAPLOVEX.SUM was written"
elif ! grep -q "HAPLOVEX.OUT appeared in this folder while the run waited for its answers" "$dir/.console"; then
  fail appeared-meanwhile "no message"
else pass; fi

echo "data safety: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
