# Sourced by the test scripts that make many checks in a scratch folder: `work` (removed at the
# end, write-protected parts included), the tally of checks, and the ways to make one.
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
passes=0
# expect NAME CONDITION...: one check, passed when CONDITION succeeds.
expect() {
  local name=$1
  shift
  if "$@"; then passes=$((passes + 1)); else failures=$((failures + 1)); echo "[$name] failed"; fi
}
# has FILE TEXT: FILE holds TEXT.
has() { grep -qF -- "$2" "$1"; }
# finish WHAT: the tally, and the script's status: failed when any check failed.
finish() {
  echo "$1: $passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}
