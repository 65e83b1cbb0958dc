#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
# Sets up a fresh Debian machine, builds the library and the command-line
# host, and decodes the bundled sample stream to sample.wav, printing its
# stream parameters.
set -euo pipefail
cd "$(dirname "$0")/.."
PACKAGES=(build-essential cmake ninja-build)
missing=()
for p in "${PACKAGES[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DAACD_TESTS=OFF
cmake --build build-release -j"$(nproc)" --target aacd-decode
./build-release/aacd-decode --info tests/data/sample.aac sample.wav
echo "wrote $(pwd)/sample.wav"
