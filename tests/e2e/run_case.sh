#!/usr/bin/env bash
# Runs one whole-run case: the binary in a fresh temporary folder, answers piped in, then the
# console, HAPLOVEX.OUT, HAPLOVEX.SUM and the exit status compared byte for byte with the
# case's expected/ folder. Differences are shown with line ends and tabs made visible.
#
# A case folder holds:
#   answers.txt              the console input
#   files/                   (optional) copied into the working folder first: input data, an
#                            existing HAPLOVEX.OUT, ...
#   setup.sh                 (optional) run in the working folder before the run
#   expected/console.txt     the whole console output, or
#   expected/console-tail.txt  the last lines of the console output
#   expected/HAPLOVEX.OUT, expected/HAPLOVEX.SUM   (optional) the files as they must be
#   expected/HAPLOVEX.OUT.head  (optional) the first lines of HAPLOVEX.OUT
#   expected/absent          (optional) names, one a line, that must not exist afterwards
#   expected/status          (optional) the exit status; 0 when missing
set -uo pipefail

bin=$1
case_dir=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

if [ -d "$case_dir/files" ]; then cp -a "$case_dir/files/." "$work/"; fi
if [ -f "$case_dir/setup.sh" ]; then (cd "$work" && bash "$case_dir/setup.sh") || exit 1; fi

(cd "$work" && "$bin" < "$case_dir/answers.txt" > "$work/.console" 2>/dev/null)
status=$?

failed=0
show_diff() {  # expected actual label
  echo "--- $3 differs (expected vs actual; \$ marks a line end, ^I a tab, ^M a carriage return)"
  diff -u <(cat -A "$1") <(cat -A "$2") | head -n 80
  failed=1
}

expected_status=0
[ -f "$case_dir/expected/status" ] && expected_status=$(tr -d '[:space:]' < "$case_dir/expected/status")
if [ "$status" != "$expected_status" ]; then
  echo "--- exit status: expected $expected_status, got $status"
  failed=1
fi

if [ -f "$case_dir/expected/console.txt" ]; then
  cmp -s "$case_dir/expected/console.txt" "$work/.console" ||
    show_diff "$case_dir/expected/console.txt" "$work/.console" console
fi
if [ -f "$case_dir/expected/console-tail.txt" ]; then
  n=$(wc -l < "$case_dir/expected/console-tail.txt")
  tail -n "$n" "$work/.console" > "$work/.console-tail"
  cmp -s "$case_dir/expected/console-tail.txt" "$work/.console-tail" ||
    show_diff "$case_dir/expected/console-tail.txt" "$work/.console-tail" "console (last $n lines)"
fi
for name in HAPLOVEX.OUT HAPLOVEX.SUM; do
  [ -f "$case_dir/expected/$name" ] || continue
  if [ ! -f "$work/$name" ]; then
    echo "--- $name was not written"
    failed=1
  elif ! cmp -s "$case_dir/expected/$name" "$work/$name"; then
    show_diff "$case_dir/expected/$name" "$work/$name" "$name"
  fi
done
if [ -f "$case_dir/expected/HAPLOVEX.OUT.head" ]; then
  n=$(wc -l < "$case_dir/expected/HAPLOVEX.OUT.head")
  head -n "$n" "$work/HAPLOVEX.OUT" > "$work/.out-head" 2>/dev/null
  cmp -s "$case_dir/expected/HAPLOVEX.OUT.head" "$work/.out-head" ||
    show_diff "$case_dir/expected/HAPLOVEX.OUT.head" "$work/.out-head" "HAPLOVEX.OUT (first $n lines)"
fi
# However a run ends, it leaves no partial file behind.
for partial in "$work"/.HAPLOVEX.*; do
  [ -e "$partial" ] || continue
  echo "--- a partial file was left: $(basename "$partial")"
  failed=1
done
if [ -f "$case_dir/expected/absent" ]; then
  while IFS= read -r name; do
    [ -z "$name" ] && continue
    if [ -e "$work/$name" ]; then
      echo "--- $name exists but must not"
      failed=1
    fi
  done < "$case_dir/expected/absent"
fi

if [ "$failed" -ne 0 ]; then
  echo "=== whole run $(basename "$case_dir") FAILED (console was:)"
  head -c 4000 "$work/.console"
  exit 1
fi
exit 0
