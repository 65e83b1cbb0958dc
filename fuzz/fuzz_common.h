// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// Output checks shared by the fuzz targets.  The per-sample loops are kept
// out of coverage tracing (coverage-ignore.txt matches "Untraced" in the
// function name) and out of line, so that libFuzzer's comparison tracing
// does not inline them into the traced callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "aacd.h"

namespace aacd_fuzz {

constexpr int32_t kSentinel = 0x7EADBEEF;  // outside every output range

[[noreturn]] inline void fail(const char *what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    __builtin_trap();
}

inline void check(bool ok, const char *what) {
    if (!ok) fail(what);
}

// Statuses aacd_decode_frame may return for arguments that pass its checks.
inline bool documented(int32_t s) {
    switch (s) {
        case 0: case -1: case 33: case 35: case 36: case 44: case 45: case 46: return true;
        default: return false;
    }
}

inline bool abandoned(int32_t s) { return s == 44 || s == 45 || s == 46; }

// Words [0, used) lie in the output range of the bit depth, words
// [used, total) still hold the sentinel.
__attribute__((noinline)) inline bool UntracedWordsOk(const int32_t *p, size_t used, size_t total,
                                                      int bits) {
    const int32_t hi = bits == 24 ? 8388607 : 32767;
    const int32_t lo = -hi - 1;
    bool ok = true;
    for (size_t i = 0; i < used; ++i) ok &= p[i] >= lo && p[i] <= hi;
    for (size_t i = used; i < total; ++i) ok &= p[i] == kSentinel;
    return ok;
}

__attribute__((noinline)) inline void UntracedFill(int32_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = kSentinel;
}

}  // namespace aacd_fuzz
