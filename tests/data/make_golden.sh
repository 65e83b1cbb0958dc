#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
#
# Writes tests/data/golden.md5: the md5 of the WAV file aacd-decode writes for
# every stream of tests/data at 16 and 24 bits, and for a few streams with
# simulated losses (concealment).  Run it only when a change of the decoded
# output is intended; every build's ctest compares against this table.
#   tests/data/make_golden.sh path/to/aacd-decode
set -euo pipefail
cli=${1:?usage: make_golden.sh AACD_DECODE}
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
row() {  # stream bits [options...]
  local s=$1 b=$2; shift 2
  local md5=refused
  if "$cli" -q --bits "$b" "$@" "$s" "$tmp/o.wav" 2>/dev/null; then
    md5=$(md5sum < "$tmp/o.wav" | cut -c1-32)
  fi
  echo "$md5 $s $b $*" | sed 's/ *$//'
}
{
  echo "# md5 of aacd-decode's WAV output: md5 stream bits [options]; 'refused' = exit 1"
  for s in *.aac; do row "$s" 16; row "$s" 24; done
  for s in sample.aac ch51_multi.aac pns_stereo.aac r48000_stereo_clicks.aac; do
    row "$s" 16 --lose 0.2,7; row "$s" 24 --lose 0.5,3
  done
} > golden.md5
echo "wrote $(grep -vc '^#' golden.md5) rows to tests/data/golden.md5"
