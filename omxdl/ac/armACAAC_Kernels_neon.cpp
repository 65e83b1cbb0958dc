// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// NEON versions of the synthesis kernels (aarch64, where NEON is always
// present).
#if defined(__aarch64__)

#include <arm_neon.h>

#include <cstdint>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Kernels.h"

#define AACD_VEC_TARGET

namespace {

struct NeonV {
    using I = int32x4_t;
    static constexpr int kLanes = 4;
    using Half = NeonV;
    static I load(const int32_t *p) { return vld1q_s32(p); }
    static void store(int32_t *p, I v) { vst1q_s32(p, v); }
    static void storeStrided(int32_t *p, int stride, I v) {
        vst1q_lane_s32(p, v, 0);
        vst1q_lane_s32(p + stride, v, 1);
        vst1q_lane_s32(p + 2 * stride, v, 2);
        vst1q_lane_s32(p + 3 * stride, v, 3);
    }
    static I dup(int32_t v) { return vdupq_n_s32(v); }
    static I add(I a, I b) { return vaddq_s32(a, b); }
    static I sub(I a, I b) { return vsubq_s32(a, b); }
    static I neg(I a) { return vnegq_s32(a); }  // wraps: -(-2^31) = -2^31
    static I min(I a, I b) { return vminq_s32(a, b); }
    static I max(I a, I b) { return vmaxq_s32(a, b); }
    static I shl3(I a) { return vshlq_n_s32(a, 3); }
    static I sar1(I a) { return vshrq_n_s32(a, 1); }
    static I sar(I a, int s) { return vshlq_s32(a, vdupq_n_s32(-s)); }
    // (a + 2^(s-1)) >> s for 1 <= s <= 31, the sum taken without wrapping.
    static I sarRound(I a, int s) { return vrshlq_s32(a, vdupq_n_s32(-s)); }
    static I rev(I a) {
        const I r = vrev64q_s32(a);
        return vextq_s32(r, r, 2);
    }
    static void zip(I a, I b, I &lo, I &hi) {
        lo = vzip1q_s32(a, b);
        hi = vzip2q_s32(a, b);
    }
    static void ld2(const int32_t *p, I &even, I &odd) {
        const int32x4x2_t v = vld2q_s32(p);
        even = v.val[0];
        odd = v.val[1];
    }
    // One quarter of four lanes: p (off unused).
    static I loadQuads(const int32_t *p, int) { return load(p); }
    static I dupQuads(const int32_t *p, int) { return dup(*p); }
    static I loadPairs(const int32_t *p, const int32_t *q) { return vcombine_s32(vld1_s32(p), vld1_s32(q)); }
    static void transpose(I &a, I &b, I &c, I &d) {
        const I t0 = vtrn1q_s32(a, b), t1 = vtrn2q_s32(a, b);
        const I t2 = vtrn1q_s32(c, d), t3 = vtrn2q_s32(c, d);
        a = vreinterpretq_s32_s64(vtrn1q_s64(vreinterpretq_s64_s32(t0), vreinterpretq_s64_s32(t2)));
        b = vreinterpretq_s32_s64(vtrn1q_s64(vreinterpretq_s64_s32(t1), vreinterpretq_s64_s32(t3)));
        c = vreinterpretq_s32_s64(vtrn2q_s64(vreinterpretq_s64_s32(t0), vreinterpretq_s64_s32(t2)));
        d = vreinterpretq_s32_s64(vtrn2q_s64(vreinterpretq_s64_s32(t1), vreinterpretq_s64_s32(t3)));
    }
    // SQRDMULH is saturate((2 a b + 2^31) >> 32) = saturate((a b + 2^30) >> 31).
    // (a b + 2^30) >> 31 leaves the 32-bit range only for a = b = -2^31
    // (a b = 2^62 gives 2^31): every other product has |a b| <= 2^62 - 2^31,
    // whose rounded quotient lies in [-2^31 + 1, 2^31 - 1].  So with
    // b != -2^31 it is the C product exactly.
    static I mulr(I a, I b) { return vqrdmulhq_s32(a, b); }
    // For a = b = -2^31 the C product wraps 2^31 to -2^31 where SQRDMULH
    // saturates to 2^31 - 1: add one there.
    static I mulrExact(I a, I b) {
        const I minv = vdupq_n_s32(INT32_MIN);
        const uint32x4_t both = vandq_u32(vceqq_s32(a, minv), vceqq_s32(b, minv));
        return vsubq_s32(vqrdmulhq_s32(a, b), vreinterpretq_s32_u32(both));  // 2^31 - 1 - (-1)
    }
    // (a b -/+ c d + 2^30) >> 31 from exact 64-bit products; RSHRN #31 adds
    // 2^30, shifts and keeps the low 32 bits, like the C code.
    static I mulSubR(I a, I b, I c, I d) {
        const int64x2_t lo = vmlsl_s32(vmull_s32(vget_low_s32(a), vget_low_s32(b)), vget_low_s32(c), vget_low_s32(d));
        const int64x2_t hi = vmlsl_high_s32(vmull_high_s32(a, b), c, d);
        return vrshrn_high_n_s64(vrshrn_n_s64(lo, 31), hi, 31);
    }
    static I mulAddR(I a, I b, I c, I d) {
        const int64x2_t lo = vmlal_s32(vmull_s32(vget_low_s32(a), vget_low_s32(b)), vget_low_s32(c), vget_low_s32(d));
        const int64x2_t hi = vmlal_high_s32(vmull_high_s32(a, b), c, d);
        return vrshrn_high_n_s64(vrshrn_n_s64(lo, 31), hi, 31);
    }
};

// count a multiple of 4.
void msBandNeon(int32_t *l, int32_t *r, int32_t count) {
    for (int32_t i = 0; i < count; i += 4) {
        const int32x4_t a = vld1q_s32(l + i), b = vld1q_s32(r + i);
        vst1q_s32(l + i, vqaddq_s32(a, b));
        vst1q_s32(r + i, vqsubq_s32(a, b));
    }
}

// sign(q) T[|q|] (P 2^-20) for two values, rounded half away from zero
// (offset by 0.5 with the value's sign, then truncated) and saturated to 32
// bits (FCVTZS saturates to 64 bits, SQXTN to 32).
int32x2_t quantPair(float64x2_t t, int32x2_t q, float64x2_t scale) {
    const uint64x2_t sign = vandq_u64(vreinterpretq_u64_s64(vmovl_s32(q)), vdupq_n_u64(0x8000000000000000ull));
    const float64x2_t x = vreinterpretq_f64_u64(veorq_u64(vreinterpretq_u64_f64(vmulq_f64(t, scale)), sign));
    const float64x2_t half = vreinterpretq_f64_u64(vorrq_u64(vreinterpretq_u64_f64(vdupq_n_f64(0.5)), sign));
    return vqmovn_s64(vcvtq_s64_f64(vaddq_f64(x, half)));
}

// One pass over the band (count a multiple of 4): a vector of four all-zero
// values stays as it is; a vector with some |q| above 8191 goes to the C
// version, which converts it up to the bad value and stops there with the
// error.
int32_t quantBandNeon(int32_t *p, int32_t count, double pow2) {
    const float64x2_t scale = vdupq_n_f64(pow2 * 0x1p-20);
    const double *tab = armv8_ACAAC_InvQuantTable;
    for (int32_t i = 0; i < count; i += 4) {
        const int32x4_t q = vld1q_s32(p + i);
        const int32x4_t a = vabsq_s32(q);
        const uint32_t top = vmaxvq_u32(vreinterpretq_u32_s32(a));  // -2^31 stays large
        if (top == 0) continue;
        if (top > 8191) return aacd::quantBandC(p + i, 4, pow2);
        const float64x2_t t01 = vcombine_f64(vld1_f64(tab + vgetq_lane_s32(a, 0)), vld1_f64(tab + vgetq_lane_s32(a, 1)));
        const float64x2_t t23 = vcombine_f64(vld1_f64(tab + vgetq_lane_s32(a, 2)), vld1_f64(tab + vgetq_lane_s32(a, 3)));
        vst1q_s32(p + i, vcombine_s32(quantPair(t01, vget_low_s32(q), scale), quantPair(t23, vget_high_s32(q), scale)));
    }
    return 0;
}

}  // namespace

#include "omxdl/ac/armACAAC_KernelsVec.h"

namespace aacd {

const SynthKernels kKernelsNeon = {
    "neon",        SynthVec<NeonV>::fft, SynthVec<NeonV>::mdctInv, quantBandNeon, msBandNeon,
    SynthVec<NeonV>::q31Products,
};

}  // namespace aacd

#endif
