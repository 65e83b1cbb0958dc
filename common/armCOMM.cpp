// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Saturating and rounding arithmetic.  Conversions from double round half
// away from zero; the saturating forms test the already offset value against
// the limit written as a double.
//
// No member has undefined behaviour for any argument: a NaN converts to 0,
// the non-saturating conversions clamp values outside the range of their
// 32-bit or 64-bit result (as the aarch64 conversion instruction does), and
// shift counts of any size are defined.
#include "common/armCOMM.h"
#include "common/armCOMM_inline.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();

using aacd::satAdd;
using aacd::satRoundShift;
using aacd::truncClamp;

}  // namespace

extern "C" {

// Non-saturating conversions: trunc(x + 0.5) for x > 0, else trunc(x - 0.5).
// A NaN gives 0; a rounded value outside the 32-bit (S16, S32) or 64-bit
// (S64) range is clamped to that range.  The S16 form then keeps the low 16
// bits of the 32-bit value, without saturation to 16 bits.
AACD_EXPORT int16_t armRoundFloatToS16(double x) {
    const int32_t r = truncClamp<int32_t>(x > 0 ? x + 0.5 : x - 0.5);
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(r) & 0xFFFF));
}
AACD_EXPORT int32_t armRoundFloatToS32(double x) {
    return truncClamp<int32_t>(x > 0 ? x + 0.5 : x - 0.5);
}
AACD_EXPORT int64_t armRoundFloatToS64(double x) {
    return truncClamp<int64_t>(x > 0 ? x + 0.5 : x - 0.5);
}
// Saturating conversions.  A NaN (which intensity stereo or noise
// substitution can produce from 0 * inf on a crafted stream) gives 0.
AACD_EXPORT int16_t armSatRoundFloatToS16(double x) {
    if (std::isnan(x)) return 0;
    if (x > 0) {
        const double y = x + 0.5;
        return y > 32767.0 ? int16_t{32767} : static_cast<int16_t>(y);
    }
    const double y = x - 0.5;
    return y < -32768.0 ? int16_t{-32768} : static_cast<int16_t>(y);
}
AACD_EXPORT int32_t armSatRoundFloatToS32(double x) { return aacd::satRoundFloatToS32(x); }
AACD_EXPORT uint16_t armSatRoundFloatToU16(double x) {
    if (std::isnan(x)) return 0;
    const double y = x + 0.5;
    if (y > 65535.0) return 65535;
    return y < 0 ? uint16_t{0} : static_cast<uint16_t>(y);
}
AACD_EXPORT uint32_t armSatRoundFloatToU32(double x) {
    if (std::isnan(x)) return 0;
    const double y = x + 0.5;
    if (y > 4294967295.0) return 4294967295u;
    return y < 0 ? 0u : static_cast<uint32_t>(y);
}
AACD_EXPORT int32_t armSignCheck(int16_t v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }
AACD_EXPORT int32_t armClip(int32_t min, int32_t max, int32_t v) {
    if (v > max) return max;
    if (v < min) return min;
    return v;
}
AACD_EXPORT float armClip_F32(float min, float max, float v) {
    if (v > max) return max;
    if (v < min) return min;
    return v;
}
// v <= 0 and NaN give 0.  v / 2^shift is formed as one correctly rounded
// single-precision scaling, which equals the division wherever 2^shift is a
// float and stays exact where it is not (shift above 127 or below -149).
// Counts beyond +-400 give the same result as +-400: any positive float
// scaled by 2^-400 rounds to 0 or a tiny value below 0.5, and scaled by 2^400
// overflows.
AACD_EXPORT uint32_t armShiftSat_F32(int32_t shift, uint32_t satBits, float v) {
    if (!(v > 0)) return 0;
    const int e = shift > 400 ? -400 : (shift < -400 ? 400 : -shift);
    const float q = std::ldexp(v, e) + 0.5f;
    const uint32_t limit = satBits >= 32 ? 0xFFFFFFFFu : ((1u << satBits) - 1u);
    if (!(q < 4294967296.0f)) return limit;
    const uint32_t t = static_cast<uint32_t>(q);
    return t < limit ? t : limit;
}
AACD_EXPORT int32_t armSwapElem(uint8_t *a, uint8_t *b, int32_t size) {
    if (a == nullptr || b == nullptr) return -5;
    for (int32_t i = 0; i < size; ++i) {
        const uint8_t t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
    return 0;
}
AACD_EXPORT int32_t armMedianOf3(int32_t a, int32_t b, int32_t c) {
    const int32_t mx = a > b ? a : b;
    const int32_t mn = a < b ? a : b;
    const int32_t t = mx < c ? mx : c;
    return t > mn ? t : mn;
}
AACD_EXPORT uint8_t armLogSize(uint16_t n) {
    uint8_t bits = 0;
    while (n != 0) {
        ++bits;
        n = static_cast<uint16_t>(n >> 1);
    }
    return bits;
}
AACD_EXPORT int32_t armSatAdd_S32(int32_t a, int32_t b) { return aacd::satAdd32(a, b); }
AACD_EXPORT int64_t armSatAdd_S64(int64_t a, int64_t b) { return satAdd<int64_t>(a, b); }
AACD_EXPORT int32_t armSatSub_S32(int32_t a, int32_t b) { return aacd::satSub32(a, b); }
AACD_EXPORT int32_t armSatMac_S32(int32_t acc, int16_t a, int16_t b) {
    return aacd::satAdd32(acc, int32_t{a} * int32_t{b});
}
AACD_EXPORT int32_t armSatRoundLeftShift_S32(int32_t v, int32_t shift) {
    return satRoundShift<int32_t>(v, shift);
}
AACD_EXPORT int64_t armSatRoundLeftShift_S64(int64_t v, int32_t shift) {
    return satRoundShift<int64_t>(v, shift);
}
AACD_EXPORT int16_t armSatRoundRightShift_S32_S16(int32_t v, int32_t shift) {
    // A right shift by -2^31 is a left shift far beyond the width, the same
    // as one by 2^31 - 1.
    const int32_t r = satRoundShift<int32_t>(v, shift == kMin32 ? kMax32 : -shift);
    return static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
}
AACD_EXPORT int32_t armSatMulS16S32_S32(int16_t a, int32_t b) {
    const int32_t hi = int32_t{a} * (b >> 16);
    const int32_t lo = (int32_t{a} * (b & 0xFFFF)) >> 16;
    return aacd::satAdd32(hi, lo);
}
AACD_EXPORT int32_t armSatMac_S16S32_S32(int32_t acc, int32_t b, int16_t a) {
    const int32_t p = aacd::satAdd32(int32_t{a} * (b >> 16), (int32_t{a} * (b & 0xFFFF)) >> 16);
    int32_t addend;
    if (p > 32767) {
        addend = kMax32;
    } else if (p < -32768) {
        addend = kMin32;
    } else {
        addend = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(a) * b));
    }
    return aacd::satAdd32(acc, addend);
}
AACD_EXPORT int32_t armSatMulS32S32_S32(int32_t a, int32_t b) {
    const int32_t aH = a >> 16, aL = a & 0xFFFF;
    const int32_t bH = b >> 16, bL = b & 0xFFFF;
    const int32_t hh = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(aH) * bH));
    const int32_t hl = static_cast<int32_t>((static_cast<int64_t>(aH) * bL) >> 16);
    const int32_t lh = static_cast<int32_t>((static_cast<int64_t>(bH) * aL) >> 16);
    return aacd::satAdd32(aacd::satAdd32(hh, hl), lh);
}
// The rounded quotient is clamped to the 32-bit range (only -2^31 / -1
// exceeds it); a zero divisor gives the clamped limit of the sign of num, and
// 0 / 0 gives 0.
AACD_EXPORT int32_t armIntDivAwayFromZero(int32_t num, int32_t den) {
    const double q = static_cast<double>(num) / static_cast<double>(den);
    return truncClamp<int32_t>(q >= 0 ? q + 0.5 : q - 0.5);
}

}  // extern "C"
