#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
#
# Line and branch coverage of the library by the ctest suite, with gcovr.
#
#   tools/coverage.sh [BUILD_DIR] [FILTER_REGEX]
#
# Builds the tree with --coverage into BUILD_DIR (default build-coverage,
# reused), runs ctest, and prints gcovr's summary for the library sources
# (or only those matching FILTER_REGEX, a path relative to the source root)
# and the per-file table.
set -euo pipefail
SRC=$(cd "$(dirname "$0")/.." && pwd)
B=${1:-$SRC/build-coverage}
FILTER=${2:-'(bitstream|common|config|conceal|decoder|omxdl/ac|include)/'}
# Atomic counters: the concurrency test runs the decoder on four threads,
# and racing increments would leave arc counts that gcov derives negative.
cmake -S "$SRC" -B "$B" -DCMAKE_BUILD_TYPE=Debug -DAACD_GST=OFF \
  -DCMAKE_C_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$B" -j2 >/dev/null
find "$B" -name '*.gcda' -delete
(cd "$B" && ctest -j2 --output-on-failure >/dev/null)
gcovr -r "$SRC" "$B" --filter "$SRC/$FILTER" --exclude '.*tables?\.cpp' \
  --exclude-unreachable-branches --exclude-throw-branches \
  --print-summary --sort-percentage 2>/dev/null | tail -n 60
