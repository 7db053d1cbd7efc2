#!/usr/bin/env bash
# An existing HAPLOVEX.OUT is never touched unless the overwrite answer begins with Y or y, and
# the capture-history file is never written: their bytes and modification times are compared
# before and after each run.
set -uo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0

answers_after_guard=$'d.txt\n2,3,1,1\nAB\n1\n4\n0\n2\nSafe\n'

fingerprint() { stat -c '%y %s' "$1"; sha256sum < "$1"; }

# check NAME GUARD_ANSWER_TEXT EXPECT(kept|replaced)
check() {
  local name=$1 guard=$2 expect=$3
  local dir="$work/$name"
  mkdir -p "$dir"
  printf 'AB0\nA0A\n0BBX\n' > "$dir/d.txt"
  printf 'results of last week\n' > "$dir/HAPLOVEX.OUT"
  touch -d '2020-01-02 03:04:05.123456789' "$dir/HAPLOVEX.OUT" "$dir/d.txt"
  local before_out before_in
  before_out=$(fingerprint "$dir/HAPLOVEX.OUT")
  before_in=$(fingerprint "$dir/d.txt")
  (cd "$dir" && printf '%s' "$guard" | "$bin" > .console 2>&1)
  local status=$? ok=1
  [ "$(fingerprint "$dir/d.txt")" = "$before_in" ] || { echo "[$name] the input file changed"; ok=0; }
  if [ "$expect" = kept ]; then
    [ "$status" = 1 ] || { echo "[$name] exit status $status, expected 1"; ok=0; }
    [ "$(fingerprint "$dir/HAPLOVEX.OUT")" = "$before_out" ] || { echo "[$name] HAPLOVEX.OUT was touched"; ok=0; }
    [ -e "$dir/HAPLOVEX.SUM" ] && { echo "[$name] HAPLOVEX.SUM was created"; ok=0; }
  else
    [ "$status" = 0 ] || { echo "[$name] exit status $status, expected 0"; ok=0; }
    grep -q "^PROC TITLE 'Safe';" "$dir/HAPLOVEX.OUT" || { echo "[$name] HAPLOVEX.OUT not replaced"; ok=0; }
  fi
  if [ "$ok" = 1 ]; then passes=$((passes + 1)); else failures=$((failures + 1)); tail -n 5 "$dir/.console"; fi
}

check answer-N $'N\n'"$answers_after_guard" kept
check answer-n-word $'no\n'"$answers_after_guard" kept
check answer-empty $'\n'"$answers_after_guard" kept
check answer-blank-then-y $' y\n'"$answers_after_guard" kept
check end-of-input '' kept
check answer-y $'y\n'"$answers_after_guard" replaced
check answer-Yes $'Yes\n'"$answers_after_guard" replaced

echo "data safety: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
