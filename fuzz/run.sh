#!/usr/bin/env bash
# Runs each fuzz target for SECONDS (default 60) from seeds made of the whole-run tests, after
# replaying the saved regression inputs. Fails on any finding; a finding's input is left in
# build/fuzz/artifacts/ and belongs, once fixed, in fuzz/regressions/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
./fuzz/build.sh
out=build/fuzz
mkdir -p "$out/artifacts"

# Seeds: every whole-run case as "answers after the file name, @@DATA@@, data file".
seeds_run="$out/seeds-run_fuzz"
seeds_record="$out/seeds-record_fuzz"
rm -rf "$seeds_run" "$seeds_record"
mkdir -p "$seeds_run" "$seeds_record"
for case_dir in tests/e2e/*/; do
  name=$(basename "$case_dir")
  [ -f "$case_dir/answers.txt" ] || continue
  data_name=$(head -n 1 "$case_dir/answers.txt" | tr -d '\r' | sed 's/ *$//')
  data="$case_dir/files/$data_name"
  [ -f "$data" ] || continue
  { tail -n +2 "$case_dir/answers.txt"; printf '\n@@DATA@@\n'; head -c 8192 "$data"; } > "$seeds_run/$name"
  { printf '\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017\020'; head -c 8192 "$data"; } > "$seeds_record/$name"
done

for target in record_fuzz run_fuzz; do
  corpus="$out/corpus-$target"
  mkdir -p "$corpus"
  if compgen -G "fuzz/regressions/$target/[!.]*" >/dev/null; then
    echo "== $target: replaying regressions"
    "$out/$target" -rss_limit_mb=2048 fuzz/regressions/$target/[!.]*
  fi
  echo "== $target: fuzzing for $seconds s"
  set +e
  "$out/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -max_len=20000 \
    -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" "$corpus" "fuzz/seeds" "$seeds_run" \
    $( [ "$target" = record_fuzz ] && echo "$seeds_record" ) 2>&1 | tail -n 25
  status=${PIPESTATUS[0]}
  set -e
  if [ "$status" -ne 0 ]; then
    echo "fuzz target $target found a fault (status $status); see $out/artifacts/"
    exit 1
  fi
done
