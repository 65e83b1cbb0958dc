#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under ASan/UBSan and runs each for a
# bounded time from the seed corpus made of the frames of tests/data.
# A crash, sanitizer report or broken invariant fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${FUZZ_SECONDS:-90}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAACD_FUZZ=ON -DAACD_TESTS=OFF -DAACD_SANITIZE=address,undefined
cmake --build build-fuzz -j"$(nproc)"
for bin in build-fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus="build-fuzz/corpus-$name"
  mkdir -p "$corpus"
  if [ -d "fuzz/seeds/$name" ]; then cp -n fuzz/seeds/"$name"/* "$corpus"/ 2>/dev/null || true; fi
  echo "fuzzing $name for ${SECONDS_PER_TARGET}s"
  rc=0
  "$bin" -max_total_time="$SECONDS_PER_TARGET" -max_len=8192 -print_final_stats=1 "$corpus" \
    > "build-fuzz/$name.log" 2>&1 || rc=$?
  grep -E "stat::number_of_executed_units|ERROR|SUMMARY" "build-fuzz/$name.log" || true
  if [ "$rc" -ne 0 ]; then tail -50 "build-fuzz/$name.log"; exit 1; fi
done
