#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
# Builds the libFuzzer targets with clang and fuzzes each for a bounded time,
# starting from its kept corpus (fuzz/corpus/<target>) and seeds
# (fuzz/seeds/<target>), with its dictionary (fuzz/<target>.dict).
# A crash, sanitizer report, hang (-timeout) or broken invariant fails the
# script; the input is left in build-fuzz*/artifacts/ (add it to
# fuzz/regressions/<target>/ once fixed, so that ctest replays it).
#
# Environment:
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_SANITIZE  sanitizers of the build (default address,undefined;
#                  "none" builds without, for long campaigns)
#   FUZZ_RUNS      stop each target after this many executions instead
#   FUZZ_JOBS      build parallelism (default: all cores)
#   FUZZ_MERGE=1   merge what each run found back into fuzz/corpus/<target>
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${FUZZ_SECONDS:-60}
SANITIZE=${FUZZ_SANITIZE:-address,undefined}
JOBS=${FUZZ_JOBS:-$(nproc)}
if [ "$SANITIZE" = none ]; then
  BUILD=build-fuzz-nosan
  SAN_ARGS=(-DAACD_SANITIZE=)
else
  BUILD=build-fuzz
  SAN_ARGS=(-DAACD_SANITIZE="$SANITIZE")
fi
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAACD_FUZZ=ON -DAACD_TESTS=OFF "${SAN_ARGS[@]}" >/dev/null
cmake --build "$BUILD" -j"$JOBS"
mkdir -p "$BUILD/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
limit=(-max_total_time="$SECONDS_PER_TARGET")
[ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
for bin in "$BUILD"/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin")
  work="$BUILD/corpus-$name"
  mkdir -p "$work"
  inputs=("$work")
  for d in "fuzz/corpus/$name" "fuzz/seeds/$name"; do [ -d "$d" ] && inputs+=("$d"); done
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  echo "fuzzing $name: ${limit[*]}"
  rc=0
  "$bin" "${limit[@]}" -timeout=10 -max_len=8192 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$BUILD/artifacts/$name-" "${inputs[@]}" > "$BUILD/$name.log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$BUILD/$name.log")
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$BUILD/$name.log")
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$BUILD/$name.log" | tail -1 || true)
  echo "$name: ${runs:-?} executions in ${secs:-?} s ($(( ${runs:-0} / (${secs:-1} > 0 ? ${secs:-1} : 1) )) per second), $cov"
  grep -E "ERROR|SUMMARY|invariant broken" "$BUILD/$name.log" || true
  if [ "$rc" -ne 0 ]; then tail -50 "$BUILD/$name.log"; exit 1; fi
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    mkdir -p "fuzz/corpus/$name"
    "$bin" -merge=1 -max_len=8192 -timeout=10 "fuzz/corpus/$name" "$work" > "$BUILD/$name.merge.log" 2>&1
  fi
done
