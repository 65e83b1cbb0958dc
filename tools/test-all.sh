#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
# Sets up a fresh Debian machine and runs every test of the project:
#   1. native build (RelWithDebInfo) with all unit, conformance and CLI tests,
#      and the GStreamer element's harness tests and gst-launch-1.0 pipelines;
#      then a staged install used by an outside C program through pkg-config,
#      find_package(aacd) and add_subdirectory (tools/test-packaging.sh);
#   2. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the command-line host under valgrind memcheck over every test stream
#      (ADTS, MP4 and LATM);
#   4. the concurrency test built with ThreadSanitizer;
#   5. a cross build for aarch64 whose tests run under qemu user emulation;
#   6. bounded libFuzzer runs of every fuzz target under ASan/UBSan.
# Any failure fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc)

PACKAGES=(build-essential cmake ninja-build python3 googletest libgtest-dev libbenchmark-dev
          g++-aarch64-linux-gnu qemu-user clang libclang-rt-14-dev valgrind
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
          gstreamer1.0-plugins-good gstreamer1.0-tools pkg-config)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

step() { printf '\n==== %s ====\n' "$*"; }

step "native build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAACD_WERROR=ON
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"

step "packaging: staged install, pkg-config, find_package, add_subdirectory"
JOBS=$JOBS tools/test-packaging.sh build-packaging

step "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DAACD_SANITIZE=address,undefined -DAACD_WERROR=ON
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j"$JOBS"

step "valgrind memcheck of the command-line host"
streams=(tests/data/*.aac tests/data/*.m4a tests/data/*.mp4 tests/data/*.latm)
for f in "${streams[@]}"; do
  rc=0
  valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    build/aacd-decode -q "$f" build/valgrind.wav || rc=$?
  # 1 is the host's own "stream refused" exit code; 99 is a memcheck error.
  if [ "$rc" -ne 0 ] && [ "$rc" -ne 1 ]; then echo "valgrind: $f exit $rc"; exit 1; fi
done
echo "memcheck clean over ${#streams[@]} streams"

if [ -f tests/test_concurrency.cpp ]; then
  step "ThreadSanitizer: concurrent instances"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAACD_SANITIZE=thread -DAACD_WERROR=ON
  cmake --build build-tsan -j"$JOBS" --target test_concurrency
  TSAN_OPTIONS=halt_on_error=1 build-tsan/test_concurrency
fi

step "aarch64 cross build under qemu"
cmake -S . -B build-aarch64 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAACD_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/tools/cmake/aarch64-linux-gnu.cmake"
cmake --build build-aarch64 -j"$JOBS"
ctest --test-dir build-aarch64 --output-on-failure -j"$JOBS"

if [ -x tools/run-fuzzers.sh ]; then
  step "fuzzing"
  tools/run-fuzzers.sh
fi
step "all tests passed"
