#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer under address and undefined-behaviour
# sanitizers into build/fuzz/. Needs clang-14 and libclang-rt-14-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/fuzz
mkdir -p "$out/generated"
version=$(sed -n 's/^project(haplovex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
sed "s/@PROJECT_VERSION@/$version/" src/common/version.h.in > "$out/generated/version.h"
# This machine's system calls only (the Windows ones build with the Windows program).
sources=$(find src -name '*.cpp' ! -name main.cpp ! -name '*_win32.cpp' | sort)
flags="-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -Isrc -I$out/generated"
for target in record_fuzz run_fuzz; do
  # shellcheck disable=SC2086
  clang++-14 $flags $sources "fuzz/$target.cpp" -o "$out/$target"
done
echo "fuzz targets in $out"
