#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
#
# Whole-process decoding speed of aacd-decode against ffmpeg (one thread) and
# faad on two long synthetic streams, and, where qemu user emulation and the
# aarch64 cross compiler are present, executed aarch64 guest instructions of
# the cross-built aacd-decode against Debian's arm64 ffmpeg and faad.
#
#   bench/compare.sh [--runs N] [--seconds S] [--no-x86] [--no-arm] [--profile]
#
# - builds aacd-decode (Release) natively into $WORK/build-native, or uses
#   $AACD when set;
# - makes, once, with ffmpeg's own encoder from a synthetic signal (tones
#   with vibrato plus noise): a stereo stream at 256 kbit/s and a 5.1 stream
#   at 384 kbit/s of S seconds (default 300), and 30-second versions of both
#   for the instruction counts;
# - times `aacd-decode -q IN /dev/null`, `ffmpeg -threads 1 -i IN -f null -`
#   and `faad -w IN` (output discarded) with hyperfine, N runs each (default
#   5) after a warm-up run, and prints the median wall-clock time and the
#   mean CPU time (user + system; steadier on a busy machine) and the
#   speed ratios (other program's time / aacd's time: above 1 means aacd is
#   faster);
# - counts guest instructions as bench/arm-insn/ does it: the whole run minus
#   a run over the first frame alone (start-up), for aacd, ffmpeg and faad;
#   the ratios are aacd / other (below 1 means aacd executes fewer).
#   --profile adds a per-function breakdown of aacd's count.
# Run it from anywhere; it never writes into the source tree.
# Environment: WORK (default /tmp/aacd-bench), ARM_WORK (default
# /tmp/aacd-arm-insn: arm64 packages and the cross build, shared with other
# checkouts).
set -euo pipefail
SRC=$(cd "$(dirname "$0")/.." && pwd)
WORK=${WORK:-/tmp/aacd-bench}
ARM_WORK=${ARM_WORK:-/tmp/aacd-arm-insn}
RUNS=5 SECONDS_LONG=300 X86=1 ARM=1 PROFILE=0
while [ $# -gt 0 ]; do
  case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --seconds) SECONDS_LONG=$2; shift 2 ;;
    --no-x86) X86=0; shift ;;
    --no-arm) ARM=0; shift ;;
    --profile) PROFILE=1; shift ;;
    *) sed -n '5,27p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
mkdir -p "$WORK"
need() { command -v "$1" >/dev/null || { echo "compare.sh: needs $1" >&2; exit 2; }; }
need ffmpeg
need python3

# ---------------------------------------------------------------- streams
# Tones whose pitch wanders, amplitude-modulated overtones and white noise:
# every codebook and both window kinds get used, and the bit rate is spent.
tone() {  # BASE_HZ CHANNEL_SEED
  echo "0.22*sin(2*PI*($1+0.04*$1*sin(2*PI*0.3*t))*t)+0.12*sin(2*PI*$1*6*t)*(0.5+0.5*sin(2*PI*0.7*t))+0.06*(random($2)-0.5)+0.1*sin(2*PI*$1*3*t)*gt(mod(t,2),1.5)"
}
make_stream() {  # OUT LAYOUT BITRATE SECONDS EXPR...
  local out=$1 layout=$2 rate=$3 secs=$4; shift 4
  [ -s "$out" ] && return
  local exprs; exprs=$(IFS='|'; echo "$*")
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi \
    -i "aevalsrc=exprs='$exprs':c=$layout:s=48000:d=$secs" \
    -c:a aac -b:a "$rate" -f adts "$out.tmp" && mv "$out.tmp" "$out"
}
STEREO_EXPR=("$(tone 220 0)" "$(tone 330 1)")
SURROUND_EXPR=("$(tone 220 0)" "$(tone 330 1)" "$(tone 262 2)" "$(tone 196 3)" \
               "0.3*sin(2*PI*55*t)" "$(tone 247 5)")
STEREO=$WORK/stereo_256k_${SECONDS_LONG}s.aac
SURROUND=$WORK/surround51_384k_${SECONDS_LONG}s.aac
STEREO30=$WORK/stereo_256k_30s.aac
SURROUND30=$WORK/surround51_384k_30s.aac
make_stream "$STEREO" stereo 256k "$SECONDS_LONG" "${STEREO_EXPR[@]}"
make_stream "$SURROUND" 5.1 384k "$SECONDS_LONG" "${SURROUND_EXPR[@]}"
make_stream "$STEREO30" stereo 256k 30 "${STEREO_EXPR[@]}"
make_stream "$SURROUND30" 5.1 384k 30 "${SURROUND_EXPR[@]}"

# ---------------------------------------------------------------- x86 timing
if [ $X86 = 1 ]; then
  need hyperfine
  need faad
  AACD=${AACD:-}
  if [ -z "$AACD" ]; then
    B=$WORK/build-native
    cmake -S "$SRC" -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAACD_TESTS=OFF >"$WORK/cmake.log"
    nice cmake --build "$B" -j2 --target aacd-decode >"$WORK/build.log"
    AACD=$B/aacd-decode
  fi
  echo "== whole-process time, median of $RUNS runs (hyperfine)"
  for s in "$STEREO" "$SURROUND"; do
    json=$WORK/$(basename "$s" .aac).json
    hyperfine -N --style none --warmup 1 --runs "$RUNS" --export-json "$json" \
      -n aacd "$AACD -q $s /dev/null" \
      -n ffmpeg "ffmpeg -nostdin -hide_banner -loglevel error -threads 1 -i $s -f null -" \
      -n faad "faad -q -w $s" >/dev/null
    python3 - "$json" "$(basename "$s")" <<'PY'
import json, statistics, sys
runs = json.load(open(sys.argv[1]))['results']
wall = {r['command']: statistics.median(r['times']) for r in runs}
cpu = {r['command']: r['user'] + r['system'] for r in runs}
for name, t in (('wall', wall), ('cpu', cpu)):
    a = t['aacd']
    print(f"{sys.argv[2]} {name}: aacd {a:.3f}s ffmpeg {t['ffmpeg']:.3f}s faad {t['faad']:.3f}s; "
          f"speed vs ffmpeg {t['ffmpeg'] / a:.2f}x, vs faad {t['faad'] / a:.2f}x")
PY
  done
fi

# ---------------------------------------------------------------- aarch64 counts
if [ $ARM = 1 ]; then
  if ! command -v qemu-aarch64 >/dev/null || ! command -v aarch64-linux-gnu-g++ >/dev/null; then
    echo "== aarch64 counts skipped (needs qemu-user and g++-aarch64-linux-gnu)"
    exit 0
  fi
  HERE=$SRC/bench/arm-insn
  ROOT=$ARM_WORK/root
  XSYS=/usr/aarch64-linux-gnu
  mkdir -p "$ARM_WORK"
  PLUGIN=$WORK/insn_count.so
  [ -f "$PLUGIN" ] && [ "$PLUGIN" -nt "$HERE/insn_count.c" ] || \
    cc -shared -fPIC -O2 -Wall -o "$PLUGIN" "$HERE/insn_count.c"
  XB=$WORK/build-aarch64
  cmake -S "$SRC" -B "$XB" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$SRC/tools/cmake/aarch64-linux-gnu.cmake" -DAACD_TESTS=OFF >"$WORK/xcmake.log"
  cmake --build "$XB" -j2 --target aacd-decode >"$WORK/xbuild.log"
  XAACD=$XB/aacd-decode
  if [ ! -x "$ROOT/usr/bin/ffmpeg" ] || [ ! -x "$ROOT/usr/bin/faad" ]; then
    # Debian's arm64 packages, unpacked only (nothing is installed).
    dpkg --print-foreign-architectures | grep -qx arm64 || { dpkg --add-architecture arm64; apt-get update -qq; }
    apt-cache policy ffmpeg:arm64 | grep -q 'Candidate: [0-9]' || apt-get update -qq
    mkdir -p "$ARM_WORK/debs"
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances ffmpeg:arm64 faad:arm64 2>/dev/null |
      grep -v '^[ <]' | grep ':arm64$' | sort -u >"$ARM_WORK/debs/list.txt"
    (cd "$ARM_WORK/debs" && apt-get download -qq $(cat list.txt))
    rm -rf "$ROOT"; mkdir -p "$ROOT"
    for d in "$ARM_WORK"/debs/*.deb; do dpkg -x "$d" "$ROOT"; done
    ln -sf blas/libblas.so.3 "$ROOT/usr/lib/aarch64-linux-gnu/libblas.so.3"
    ln -sf lapack/liblapack.so.3 "$ROOT/usr/lib/aarch64-linux-gnu/liblapack.so.3"
  fi
  first_frame() {  # IN OUT: the first ADTS frame alone
    python3 - "$1" "$2" <<'PY'
import sys
b = open(sys.argv[1], 'rb').read()
assert b[0] == 0xFF and (b[1] & 0xF6) == 0xF0, 'not an ADTS stream'
open(sys.argv[2], 'wb').write(b[:((b[3] & 3) << 11) | (b[4] << 3) | (b[5] >> 5)])
PY
  }
  count() {  # SYSROOT PROG ARGS...: executed guest instructions
    local sys=$1; shift; local log; log=$(mktemp "$WORK/log.XXXXXX")
    qemu-aarch64 -L "$sys" -plugin "$PLUGIN" -d plugin -D "$log" "$@" >/dev/null
    awk '/^insns /{print $2}' "$log"; rm -f "$log"
  }
  run_aacd()   { count "$XSYS" "$XAACD" -q "$1" /dev/null; }
  run_ffmpeg() { count "$ROOT" "$ROOT/usr/bin/ffmpeg" -nostdin -hide_banner -loglevel error -threads 1 -i "$1" -f null -; }
  run_faad()   { count "$ROOT" "$ROOT/usr/bin/faad" -q -w "$1"; }
  M() { awk -v x="$1" 'BEGIN{printf "%.1fM", x/1e6}'; }
  R() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}'; }
  echo "== aarch64 guest instructions under qemu, net of start-up"
  for s in "$STEREO30" "$SURROUND30"; do
    one=$WORK/$(basename "$s" .aac)_1f.aac; first_frame "$s" "$one"
    declare -A net
    for d in aacd ffmpeg faad; do net[$d]=$(( $(run_$d "$s") - $(run_$d "$one") )); done
    echo "$(basename "$s"): aacd $(M ${net[aacd]}) ffmpeg $(M ${net[ffmpeg]}) faad $(M ${net[faad]}); aacd/ffmpeg $(R ${net[aacd]} ${net[ffmpeg]}) aacd/faad $(R ${net[aacd]} ${net[faad]})"
    unset net
  done
  if [ $PROFILE = 1 ]; then
    cmake --build "$XB" -j2 --target aacd_static aacd_container >>"$WORK/xbuild.log"
    main_o=$(find "$XB" -path '*aacd-decode.dir*' -name 'main.cpp.o' | head -1)
    # The command-line host's own libraries first, then the decoder.
    host_libs=()
    for l in libaacd_container.a libaacd_formats.a; do
      f=$(find "$XB" -name "$l" | head -1); [ -n "$f" ] && host_libs+=("$f")
    done
    aarch64-linux-gnu-g++ -O2 -static -o "$WORK/aacd-decode-static" "$main_o" \
      "${host_libs[@]}" "$(ls -t "$XB"/libaacd.a "$XB"/libaacd_static.a 2>/dev/null | head -1)" -lm
    for s in "$STEREO30" "$SURROUND30"; do
      qemu-aarch64 -plugin "$PLUGIN,tbout=$WORK/tb.txt" -d plugin -D /dev/null "$WORK/aacd-decode-static" -q "$s" /dev/null
      echo "== $(basename "$s"): aacd guest instructions by function"
      python3 "$HERE/tb_symbols.py" "$WORK/aacd-decode-static" "$WORK/tb.txt" 15
    done
  fi
fi
