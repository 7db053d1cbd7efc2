#!/usr/bin/env bash
# The folder's file safety of the Windows program, run under wine: a run replaces HAPLOVEX.OUT
# and HAPLOVEX.SUM whole and leaves no file of its own behind (its lock file included); a run
# stopped by Ctrl-C in the middle of a conversion leaves the folder as it found it; a second run
# while one converts is refused at once; names beyond ASCII, in a deep folder, are worked in as
# any other; a folder deeper than 260 characters holds the answers file of a run, and is the
# folder of a run reached by a short link (wine itself starts no program whose current folder
# is that deep, so a run is not started in it by its own name).
#   windows_safety.sh PROGRAM   (a script that runs haplovex.exe under wine)
set -uo pipefail
bin=$(realpath "$1")
work=$(mktemp -d)
trap 'jobs -p | xargs -r kill 2>/dev/null; rm -rf "$work"' EXIT
failures=0
passes=0

answers_after_guard=$(printf '%s\n' d.txt 2,3,1,1 AB 1 4 0 2 Safe)$'\n'

# Every name in the folder with its time, size and checksum, the console and answers excepted.
folder_print() {
  (cd "$1" && for f in $(ls -A | grep -v '^\.console$\|^\.err$\|^\.status$\|^\.second$'); do
     echo "$f $(stat -c '%y %s' "$f") $(cksum < "$f")"; done)
}
pass() { passes=$((passes + 1)); }
fail() { failures=$((failures + 1)); echo "[$1] $2"; [ -f "$work/$1/.err" ] && tail -n 4 "$work/$1/.err"; }

# A folder holding the records and a previous run's two files, all dated in the past.
fresh() {
  local dir="$work/$1"
  mkdir -p "$dir"
  printf 'AB0\nA0A\n0BBX\n' > "$dir/d.txt"
  printf 'results of last week\n' > "$dir/HAPLOVEX.OUT"
  printf 'summary of last week\n' > "$dir/HAPLOVEX.SUM"
  touch -d '2020-01-02 03:04:05' "$dir/HAPLOVEX.OUT" "$dir/HAPLOVEX.SUM" "$dir/d.txt"
  echo "$dir"
}

# A run that replaces both files: each is the new run's whole (its first line and its last),
# with LF line ends only, and nothing else of the run's is left.
dir=$(fresh replaced)
(cd "$dir" && printf 'y\n%s' "$answers_after_guard" | "$bin" > .console 2> .err)
status=$?
if [ "$status" != 0 ]; then fail replaced "exit status $status"
elif [ "$(head -n 1 "$dir/HAPLOVEX.OUT")" != "PROC TITLE 'Safe';" ]; then fail replaced "HAPLOVEX.OUT is not the new run's"
elif ! tail -n 1 "$dir/HAPLOVEX.OUT" | grep -q "PROC STOP;$"; then fail replaced "HAPLOVEX.OUT is not whole"
elif grep -q "last week" "$dir/HAPLOVEX.SUM"; then fail replaced "HAPLOVEX.SUM was not replaced"
elif grep -q $'\r' "$dir/HAPLOVEX.OUT" "$dir/HAPLOVEX.SUM" "$dir/.console"; then fail replaced "a carriage return was written"
elif [ -n "$(ls -A "$dir" | grep '^\.HAPLOVEX')" ]; then fail replaced "a hidden file was left: $(ls -A "$dir" | grep '^\.HAPLOVEX')"
else pass; fi

# Ctrl-C in the middle of a conversion of twenty million records (wine gives the program the
# console's Ctrl-C for the signal INT).
yes AB | head -n 20000000 > "$work/big.txt"
big_answers='y\nd.txt\n2,2,1,1\nAB\n1\n0\n0\n2\nBig\n'
dir=$(fresh ctrl-c)
rm "$dir/d.txt" && ln "$work/big.txt" "$dir/d.txt" && touch -d '2020-01-02 03:04:05' "$dir/d.txt"
before=$(folder_print "$dir")
(cd "$dir" && exec "$bin" < <(printf "$big_answers") > .console 2> .err) &
pid=$!
for _ in $(seq 1 3000); do
  compgen -G "$dir/.HAPLOVEX.SUM.partial-*" > /dev/null && break
  sleep 0.01
done
kill -s INT "$pid"
wait "$pid" 2>/dev/null
status=$?
# The lock file goes when the run's last handle is closed, a moment after the process ends.
for _ in $(seq 1 100); do [ -e "$dir/.HAPLOVEX.lock" ] || break; sleep 0.05; done
if [ "$status" = 0 ]; then fail ctrl-c "the run was not stopped (exit status 0)"
elif [ "$(folder_print "$dir")" != "$before" ]; then
  fail ctrl-c "the folder changed: $(diff <(echo "$before") <(folder_print "$dir") | tr '\n' ' ')"
elif ! grep -q "stopped by a signal; no file was written" "$dir/.err"; then fail ctrl-c "no word on standard error"
else pass; fi

# A run that is converting holds the folder: a second run is refused at once, and the first
# finishes.
dir=$(fresh converting)
rm "$dir/d.txt" && ln "$work/big.txt" "$dir/d.txt"
(cd "$dir" && "$bin" < <(printf "$big_answers") > .console 2> .err; echo $? > .status) &
for _ in $(seq 1 3000); do compgen -G "$dir/.HAPLOVEX.SUM.partial-*" > /dev/null && break; sleep 0.01; done
(cd "$dir" && printf 'y\n%s' "$answers_after_guard" | timeout 60 "$bin" > .second 2>&1)
second=$?
wait
if [ "$second" != 1 ] || ! grep -q "Another HAPLOVEX run is converting in this folder" "$dir/.second"; then
  fail converting "the second run was not refused (status $second)"
elif [ "$(cat "$dir/.status")" != 0 ]; then fail converting "the first run did not finish"
elif [ "$(head -n 1 "$dir/HAPLOVEX.OUT")" != "PROC TITLE 'Big';" ]; then fail converting "the first run's files are not in place"
else pass; fi

# A file of records named beyond ASCII, in a deep folder.
deep="$work/deep"
for _ in $(seq 1 2); do deep="$deep/a-folder-of-the-study-of-geese-on-the-lower-river-and-its-marshes"; done
mkdir -p "$deep"
printf 'AB0\nA0A\n0BBX\n' > "$deep/gänse-été.txt"
(cd "$deep" && printf '%s\n' gänse-été.txt 2,3,1,1 AB 1 4 0 2 Deep | "$bin" > .console 2> .err)
status=$?
if [ "$status" != 0 ]; then fail deep "exit status $status: $(tail -n 2 "$deep/.console" | tr '\n' ' ')"
elif [ "$(head -n 1 "$deep/HAPLOVEX.OUT" 2>/dev/null)" != "PROC TITLE 'Deep';" ]; then fail deep "no HAPLOVEX.OUT"
elif ! grep -q "gänse-été.txt" "$deep/.console"; then fail deep "the file's name is not shown as it is"
else pass; fi

# Beyond 260 characters: the answers file named by its full path with the "\\?\" prefix, read by
# a run in a short folder; then a run in that deep folder, started in it through a short link.
longer="$work/longer"
for _ in $(seq 1 5); do longer="$longer/a-folder-of-the-study-of-geese-on-the-lower-river-and-its-marshes"; done
mkdir -p "$longer" "$work/short"
printf '%s\n' d.txt 2,3,1,1 AB 1 4 0 2 Long > "$longer/answers.txt"
printf 'AB0\nA0A\n0BBX\n' | tee "$work/short/d.txt" > "$longer/d.txt"
(cd "$work/short" && "$bin" "\\\\?\\Z:$(tr / '\\' <<< "$longer")\\answers.txt" > .console 2> .err)
status=$?
if [ "$status" != 0 ]; then fail short "exit status $status: $(tail -n 1 "$work/short/.err")"
elif [ "$(head -n 1 "$work/short/HAPLOVEX.OUT" 2>/dev/null)" != "PROC TITLE 'Long';" ]; then fail short "no HAPLOVEX.OUT"
else pass; fi
ln -s "$longer" "$work/link"
(cd "$work/link" && "$bin" answers.txt > .console 2> .err)
status=$?
if [ "$status" != 0 ]; then fail link "exit status $status: $(tail -n 1 "$longer/.err")"
elif [ "$(head -n 1 "$longer/HAPLOVEX.OUT" 2>/dev/null)" != "PROC TITLE 'Long';" ]; then fail link "no HAPLOVEX.OUT"
else pass; fi

echo "windows_safety: $passes passed, $failures failed"
[ "$failures" = 0 ]
