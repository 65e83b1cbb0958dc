#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause
# Copyright (c) 2026 The aacd authors
"""Generates omxdl/ac/armACAAC_IMDCTWindow_Tables.cpp: the window, twiddle, clamp
and rounding tables of the inverse MDCT and its FFT.

Window tables hold negated Q31 values (1.0 is stored exactly as -2^31):
  0..1023     rising half of the 2048-point window
  1024..1471  zeros
  1472..1599  rising half of the 256-point window
  1600..2047  -2^31
Pre-twiddles: entry k = (-cos t, sin t) * 2^31, t = 2 pi (k + 1/8) / N.
FFT twiddles: entry k = (-cos(2 pi k / N), sin(2 pi k / N)) * 2^31.
Every value is rounded to nearest and saturated to the 32-bit range.

The vectorised synthesis kernels read the same values in lane order:
  armACAAC_vecPreTwiddleLong/Short  pre-twiddles negated, all real parts
                                    then all imaginary parts
  armACAAC_vecTwiddleLast512        W^q, W^2q, W^3q (q = 0..127) of the last
                                    radix-4 pass of the 512-point FFT, as six
                                    rows: re W^q, im W^q, re W^2q, ...
  armACAAC_vecTwiddleLast64         W^k (k = 0..31) of the radix-2 pass of the
                                    64-point FFT: 32 real, then 32 imaginary
  armACAAC_vecTwiddleMid64          the radix-4 pass of the 64-point FFT that
                                    works on butterflies (q, q + 1) two at a
                                    time: per pair of q, six rows of four lanes
                                    (W^2q, W^2q, W^2q+2, W^2q+2, and so on)
  armACAAC_vecWinSine/KBD           the window tables negated back to the
                                    window values; the flat part (1.0, which
                                    has no Q31 form) holds 2^31 - 1 and is
                                    never multiplied

Usage: tools/gen_imdct_tables.py [output path]
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
Q31 = 1 << 31


def q31(x):
    v = math.floor(x * Q31 + 0.5)
    return max(-Q31, min(Q31 - 1, v))


def bessel_i0(x):
    # Power series; converges quickly for the arguments used (< 20).
    term = 1.0
    total = 1.0
    k = 1
    while term > 1e-30 * total:
        term *= (x / (2.0 * k)) ** 2
        total += term
        k += 1
    return total


def sine_half(n_len):
    return [math.sin(math.pi * (n + 0.5) / n_len) for n in range(n_len // 2)]


def kbd_half(n_len, alpha):
    half = n_len // 2
    kernel = [bessel_i0(math.pi * alpha * math.sqrt(max(0.0, 1.0 - ((n - n_len / 4.0) / (n_len / 4.0)) ** 2)))
              for n in range(half + 1)]
    total = math.fsum(kernel)
    out = []
    acc = []
    for n in range(half):
        acc.append(kernel[n])
        out.append(math.sqrt(math.fsum(acc) / total))
    return out


def window_table(long_half, short_half):
    vals = [-q31(w) for w in long_half]
    vals += [0] * 448
    vals += [-q31(w) for w in short_half]
    vals += [-Q31] * 448
    assert len(vals) == 2048
    return vals


def pre_twiddles(n_len):
    out = []
    for k in range(n_len // 4):
        t = 2 * math.pi * (k + 0.125) / n_len
        out += [q31(-math.cos(t)), q31(math.sin(t))]
    return out


def fft_twiddles(n_pts):
    out = []
    for k in range(n_pts):
        t = 2 * math.pi * k / n_pts
        out += [q31(-math.cos(t)), q31(math.sin(t))]
    return out


def split_negated(pairs):
    n = len(pairs) // 2
    assert all(v != -Q31 for v in pairs)  # -(-2^31) has no 32-bit form
    return [-pairs[2 * k] for k in range(n)] + [-pairs[2 * k + 1] for k in range(n)]


def positive_window(vals):
    return [Q31 - 1 if v == -Q31 else -v for v in vals]


def last512(tw):
    rows = []
    for m in (1, 2, 3):
        rows += [tw[2 * m * q] for q in range(128)]
        rows += [tw[2 * m * q + 1] for q in range(128)]
    return rows


def last64(tw):
    return [tw[2 * k] for k in range(32)] + [tw[2 * k + 1] for k in range(32)]


def mid64(tw):
    out = []
    for q in range(0, 8, 2):
        for m in (1, 2, 3):
            ks = [2 * q * m, 2 * q * m, 2 * (q + 1) * m, 2 * (q + 1) * m]
            out += [tw[2 * k] for k in ks] + [tw[2 * k + 1] for k in ks]
    return out


def emit(name, vals, per_line=6, ctype="int32_t"):
    lines = ["const %s %s[%d] = {" % (ctype, name, len(vals))]
    for i in range(0, len(vals), per_line):
        lines.append("    " + ", ".join(lit(v) for v in vals[i:i + per_line]) + ",")
    lines.append("};")
    return "\n".join(lines)


def lit(v):
    # -2^31 cannot be written as a plain negative literal of type int32_t.
    return "INT32_MIN" if v == -Q31 else str(v)


def generate():
    sine = window_table(sine_half(2048), sine_half(256))
    kbd = window_table(kbd_half(2048, 4), kbd_half(256, 6))
    rounding = [0] + [1 << (k - 1) for k in range(1, 32)] + [0x7FFFFFFF]
    maxmin = [32767] * 4 + [-32768] * 4 + [8388607] * 4 + [-8388608] * 4
    parts = [
        "// SPDX-License-Identifier: BSD-2-Clause",
        "// Copyright (c) 2026 The aacd authors",
        "// Generated by tools/gen_imdct_tables.py; do not edit.",
        "// Windows (negated Q31), pre/post-twiddles, FFT twiddles, clamp limits and",
        "// shift roundings of the inverse MDCT.",
        "#include <cstdint>",
        "",
        '#include "omxdl/ac/armACAAC.h"',
        '#include "omxdl/ac/armACAAC_Kernels.h"',
        "",
        'extern "C" {',
        "",
        emit("armACAAC_Q31winSine", sine),
        "",
        emit("armACAAC_Q31winKBD", kbd),
        "",
        emit("armACAAC_preTwiddleShortQ31", pre_twiddles(256)),
        "",
        emit("armACAAC_preTwiddleLongQ31", pre_twiddles(2048)),
        "",
        emit("armACAAC_IMDCT_FFTShortQ31", fft_twiddles(64)),
        "",
        emit("armACAAC_IMDCT_FFTLongQ31", fft_twiddles(512)),
        "",
        emit("maxMin_Table", maxmin, per_line=4),
        "",
        emit("QRoundings", rounding),
        "",
        emit("armACAAC_vecPreTwiddleShort", split_negated(pre_twiddles(256))),
        "",
        emit("armACAAC_vecPreTwiddleLong", split_negated(pre_twiddles(2048))),
        "",
        emit("armACAAC_vecTwiddleLast512", last512(fft_twiddles(512))),
        "",
        emit("armACAAC_vecTwiddleLast64", last64(fft_twiddles(64))),
        "",
        emit("armACAAC_vecTwiddleMid64", mid64(fft_twiddles(64))),
        "",
        emit("armACAAC_vecWinSine", positive_window(sine)),
        "",
        emit("armACAAC_vecWinKBD", positive_window(kbd)),
        "",
        "const ArmIMDCTTables armACAAC_IMDCT_Tables = {",
        "    armACAAC_Q31winSine,         armACAAC_Q31winKBD,",
        "    armACAAC_preTwiddleShortQ31, armACAAC_IMDCT_FFTShortQ31,",
        "    armACAAC_preTwiddleLongQ31,  armACAAC_IMDCT_FFTLongQ31,",
        "    maxMin_Table,",
        "};",
        "",
        '}  // extern "C"',
        "",
    ]
    return "\n".join(parts)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "omxdl", "ac", "armACAAC_IMDCTWindow_Tables.cpp")
    with open(out, "w") as f:
        f.write(generate())


if __name__ == "__main__":
    main()
