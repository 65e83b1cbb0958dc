// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Fractional arithmetic of a 16/32-bit fixed-point DSP with a 64-bit
// accumulator: Q31 long fractions, Q15 short fractions.  Shifts of signed
// values are done on unsigned bit patterns so that they are defined for every
// input, and shift counts at or beyond the width give the mathematical result
// (0 for logical and left shifts, the sign fill for arithmetic right shifts)
// instead of wrapping the count.
#include "common/aacd_fix_cd.h"

#include <cstdint>

namespace {

inline int64_t shl64(int64_t v, int n) {
    return static_cast<int64_t>(static_cast<uint64_t>(v) << n);
}
inline int32_t shl32(int32_t v, int n) {
    return static_cast<int32_t>(static_cast<uint32_t>(v) << n);
}
// Shifts by any count n >= 0.
inline int32_t lsl32(int32_t v, int64_t n) { return n >= 32 ? 0 : shl32(v, static_cast<int>(n)); }
inline int32_t lsr32(int32_t v, int64_t n) {
    return n >= 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(v) >> n);
}
inline int32_t asr32(int32_t v, int64_t n) { return v >> (n >= 31 ? 31 : n); }
inline int64_t asr64(int64_t v, int64_t n) { return v >> (n >= 63 ? 63 : n); }

}  // namespace

extern "C" {

AACD_EXPORT int32_t aacd_lfract2long(int32_t x) { return x; }
AACD_EXPORT uint32_t aacd_lfract2shortint(int32_t x) { return static_cast<uint32_t>(x) >> 16; }
AACD_EXPORT int16_t aacd_lfract2sfract(int32_t x, int16_t *out) {
    *out = static_cast<int16_t>(x >> 16);
    return *out;
}
AACD_EXPORT void aacd_mvi2acc(int32_t x, int64_t *acc) { *acc = x; }
// Logical shifts in place.  A negative count -k shifts logically by k the
// other way.
AACD_EXPORT void aacd_lsl(int32_t *p, int32_t n) {
    *p = n >= 0 ? lsl32(*p, n) : lsr32(*p, -int64_t{n});
}
AACD_EXPORT void aacd_lsr(int32_t *p, int32_t n) {
    *p = n >= 0 ? lsr32(*p, n) : lsl32(*p, -int64_t{n});
}
AACD_EXPORT void aacd_asll_l(int32_t *p, int16_t n) {
    *p = n >= 0 ? lsl32(*p, n) : asr32(*p, -int32_t{n});
}
AACD_EXPORT void aacd_asl16_l(int32_t *p) {
    *p = static_cast<int32_t>((static_cast<uint32_t>(*p) & 0xFFFFu) << 16);
}
AACD_EXPORT void aacd_asl16_acc(int64_t *acc) { *acc = shl64(*acc, 16); }
AACD_EXPORT void aacd_asr16_acc(int64_t *acc) { *acc >>= 16; }
AACD_EXPORT int64_t aacd_get_acc_msbs(int64_t acc, int32_t n) {
    return n < 1 ? acc : asr64(acc, n);
}
AACD_EXPORT int32_t aacd_or(int32_t a, int32_t b, int32_t *out) { return *out = a | b; }
AACD_EXPORT int32_t aacd_and(int32_t a, int32_t b, int32_t *out) { return *out = a & b; }
AACD_EXPORT void aacd_neg(int32_t *p) {
    *p = static_cast<int32_t>(0u - static_cast<uint32_t>(*p));
}
AACD_EXPORT int32_t aacd_test_val(int32_t x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }
AACD_EXPORT int32_t aacd_cmp(int32_t a, int32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }
AACD_EXPORT int64_t aacd_saturate(int32_t, int64_t *acc) {
    const int64_t before = *acc;
    if (*acc > INT32_MAX) *acc = INT32_MAX;
    if (*acc < INT32_MIN) *acc = INT32_MIN;
    return before;
}
AACD_EXPORT int32_t aacd_clb_l(int32_t x) {
    const uint32_t v = x < 0 ? ~static_cast<uint32_t>(x) : static_cast<uint32_t>(x);
    if (v == 0) return 31;
    int32_t lead = 0;
    for (uint32_t m = 0x80000000u; (v & m) == 0; m >>= 1) ++lead;
    return lead - 1;
}
AACD_EXPORT int32_t aacd_norm(int64_t *acc) {
    int64_t v = *acc;
    if (v == 0) return 0;
    auto bitsDiffer = [](int64_t a) { return ((a >> 31) & 1) != ((a >> 30) & 1); };
    int32_t right = 0;
    const int64_t upper = v >> 32;
    if (upper == 0 || upper == -1) {
        // Only -2^32 (upper half -1, lower half 0) never brings two differing
        // bits to 31 and 30; the bound ends its loop with everything shifted
        // out (result 0, count -60).
        while (!bitsDiffer(v) && right > -62) {
            v = shl64(v, 1);
            --right;
        }
        v >>= 2;
        right += 2;
    } else {
        while (!bitsDiffer(v) && right < 62) {
            v >>= 1;
            ++right;
        }
        v >>= 1;
        right += 1;
    }
    *acc = v;
    return right;
}
AACD_EXPORT void aacd_mpy(int16_t a, int16_t b, int64_t *acc) {
    const int32_t p = int32_t{a} * int32_t{b};
    *acc = p == 0x40000000 ? int64_t{0x7FFFFFFF} : int64_t{p} * 2;
}
AACD_EXPORT void aacd_impyl_ss(int16_t a, int16_t b, int64_t *acc) {
    aacd_mpy(a, b, acc);
    *acc >>= 1;
}
AACD_EXPORT void aacd_impyw_ss(int32_t a, int32_t b, int32_t *out) {
    *out = shl32(static_cast<int32_t>(static_cast<uint32_t>((a >> 16) * (b >> 16))), 16);
}
AACD_EXPORT void aacd_mpy_sl(int16_t a, int32_t b, int64_t *acc) {
    *acc = (int64_t{a} * b + 0x40000000) >> 31;
}
AACD_EXPORT int32_t aacd_mpy_lstore(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint64_t>((int64_t{a} * b + 0x40000000) >> 31));
}
AACD_EXPORT void aacd_mpy_ll_full(int32_t a, int32_t b, int64_t *acc) {
    *acc = (int64_t{a} * b) >> 31;
}
AACD_EXPORT void aacd_rnd(int64_t *acc) { *acc = 0; }
AACD_EXPORT void aacd_macr_ss(int16_t a, int16_t b, int64_t *acc) {
    int64_t p = 0;
    aacd_mpy(a, b, &p);
    *acc = static_cast<int64_t>(static_cast<uint64_t>(*acc) + static_cast<uint64_t>(p));  // wraps
    aacd_rnd(acc);
}

}  // extern "C"
