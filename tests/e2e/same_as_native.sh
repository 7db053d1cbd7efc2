#!/usr/bin/env bash
# The program built for another system gives the files of this machine's build, byte for byte:
# every answers file of the shipped examples (geese, Green River, skagit) is run by both with
# --csv --report --gof in a copy of its folder, and the console, standard error, exit status and
# every file left in the folder are compared.
#   same_as_native.sh NATIVE OTHER [KERNELS ...]
# OTHER is a script that runs the other build under its emulator; each set of KERNELS named
# (HAPLOVEX_KERNELS) is run in turn by OTHER, none: its own choice.
set -uo pipefail
native=$(realpath "$1")
other=$(realpath "$2")
shift 2
kernel_sets=("$@")
[ ${#kernel_sets[@]} = 0 ] && kernel_sets=("")
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0

# run BIN FOLDER ANSWERS [KERNELS]: a run in a fresh copy of the example's folder.
run() {
  rm -rf "$2" && mkdir -p "$2"
  find "$(dirname "$3")" -maxdepth 1 -type f -exec cp {} "$2/" \;
  (cd "$2" && HAPLOVEX_KERNELS="${4:-}" "$1" --csv --report --gof -y < "$3" > .console 2> .err; echo $? > .status)
}

for answers in "$root"/examples/*/answers*.txt; do
  name="$(basename "$(dirname "$answers")")/$(basename "$answers")"
  run "$native" "$work/native" "$answers"
  for set in "${kernel_sets[@]}"; do
    run "$other" "$work/other" "$answers" "$set"
    differ=$(diff -rq "$work/native" "$work/other" 2>&1)
    if [ -n "$differ" ]; then
      failures=$((failures + 1))
      echo "[$name${set:+ $set}] $differ" | head -n 5
    else
      passes=$((passes + 1))
    fi
  done
done

echo "same_as_native: $passes passed, $failures failed"
[ "$failures" = 0 ]
