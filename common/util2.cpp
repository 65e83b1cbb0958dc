// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Memory primitives and small fractional helpers.
#include "common/util2.h"

#include <cstdint>
#include <cstring>

extern "C" {

// Copies from the last byte down to the first.  That equals a block move
// except when the destination overlaps the source from below, where the
// descending byte order is kept.
AACD_EXPORT void myMemCopy(void *dst, const void *src, int32_t count) {
    if (count < 1) return;
    auto *d = static_cast<uint8_t *>(dst);
    const auto *s = static_cast<const uint8_t *>(src);
    // Addresses compared as integers: the two ranges may be unrelated objects.
    const auto da = reinterpret_cast<uintptr_t>(d), sa = reinterpret_cast<uintptr_t>(s);
    if (da < sa && sa - da < static_cast<uintptr_t>(count)) {
        for (int32_t i = count - 1; i >= 0; --i) d[i] = s[i];
        return;
    }
    std::memmove(d, s, static_cast<size_t>(count));
}

AACD_EXPORT void myMemSet(void *ptr, int32_t value, int32_t count) {
    if (count > 0) std::memset(ptr, value, static_cast<size_t>(count));
}

}  // extern "C"

extern "C" {

AACD_EXPORT int32_t int2lfract(int32_t x) { return x; }
AACD_EXPORT int32_t cf_abs_lf(int32_t x) {
    return x >= 0 ? x : static_cast<int32_t>(1u - static_cast<uint32_t>(x));
}
AACD_EXPORT int32_t cf_max_lf(int32_t a, int32_t b) { return a > b ? a : b; }
AACD_EXPORT int32_t cf_norm(int32_t *x) {
    uint32_t v = static_cast<uint32_t>(*x);
    int32_t n = 0;
    if (v != 0) {
        while ((v & 0x40000000u) == 0 && n < 31) {
            v <<= 1;
            ++n;
        }
    }
    *x = static_cast<int32_t>(v);
    return n;
}
AACD_EXPORT int32_t norm_lf(const int32_t *array, int32_t count) {
    int32_t m = 0;
    for (int32_t i = 0; i < count; ++i) m = cf_max_lf(cf_abs_lf(array[i]), m);
    return cf_norm(&m);
}
AACD_EXPORT int32_t norm_lfarray(int32_t *array, int32_t count) {
    int32_t e = norm_lf(array, count);
    if (e > 31) e = 31;
    for (int32_t i = 0; i < count; ++i)
        array[i] = static_cast<int32_t>(static_cast<uint32_t>(array[i]) << e);
    return e;
}

}  // extern "C"
