// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// AVX2 versions of the synthesis kernels (x86-64, chosen at run time: only
// the functions here are compiled for AVX2).  The FFT and inverse MDCT are
// the four-lane ones in VEX encoding; mid/side and inverse quantisation use
// eight and four lanes.
#if defined(__x86_64__)

#define AACD_VEC_TARGET __attribute__((target("avx2")))
#include "omxdl/ac/armACAAC_KernelsX86.h"
#include "omxdl/ac/armACAAC_KernelsVec.h"

namespace {

using I8 = __m256i;

AACD_VEC_TARGET I8 satLimit8(I8 a) { return _mm256_xor_si256(_mm256_srai_epi32(a, 31), _mm256_set1_epi32(INT32_MAX)); }

// v where over's sign bit is clear, limit where it is set.
AACD_VEC_TARGET I8 blend(I8 v, I8 limit, I8 over) {
    return _mm256_castps_si256(
        _mm256_blendv_ps(_mm256_castsi256_ps(v), _mm256_castsi256_ps(limit), _mm256_castsi256_ps(over)));
}

AACD_VEC_TARGET void msBandAvx2(int32_t *l, int32_t *r, int32_t count) {
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const I8 a = _mm256_loadu_si256(reinterpret_cast<const I8 *>(l + i));
        const I8 b = _mm256_loadu_si256(reinterpret_cast<const I8 *>(r + i));
        const I8 s = _mm256_add_epi32(a, b), d = _mm256_sub_epi32(a, b);
        const I8 lim = satLimit8(a);
        const I8 overS = _mm256_and_si256(_mm256_xor_si256(s, a), _mm256_xor_si256(s, b));
        const I8 overD = _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(a, d));
        _mm256_storeu_si256(reinterpret_cast<I8 *>(l + i), blend(s, lim, overS));
        _mm256_storeu_si256(reinterpret_cast<I8 *>(r + i), blend(d, lim, overD));
    }
    if (i < count) msBandX86(l + i, r + i, count - i);
}

AACD_VEC_TARGET int32_t quantBandAvx2(int32_t *p, int32_t count, double pow2) {
    if (quantOutOfRange(p, count)) return aacd::quantBandC(p, count, pow2);
    const __m256d scale = _mm256_set1_pd(pow2 * 0x1p-20);
    const __m256i signBit = _mm256_set1_epi64x(static_cast<int64_t>(0x8000000000000000ull));
    const __m256d allLanes = _mm256_castsi256_pd(_mm256_set1_epi32(-1));
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i q = X86V::load(p + i);
        const __m256d t = _mm256_mask_i32gather_pd(_mm256_setzero_pd(), armv8_ACAAC_InvQuantTable,
                                                        _mm_abs_epi32(q), allLanes, 8);
        const __m256d sign = _mm256_castsi256_pd(_mm256_and_si256(_mm256_cvtepi32_epi64(q), signBit));
        const __m256d x = _mm256_xor_pd(_mm256_mul_pd(t, scale), sign);
        __m256d y = _mm256_add_pd(x, _mm256_or_pd(_mm256_set1_pd(0.5), sign));
        y = _mm256_min_pd(_mm256_max_pd(y, _mm256_set1_pd(-2147483648.0)), _mm256_set1_pd(2147483647.0));
        X86V::store(p + i, _mm256_cvttpd_epi32(y));
    }
    return i < count ? aacd::quantBandC(p + i, count - i, pow2) : 0;
}

}  // namespace

namespace aacd {

const SynthKernels kKernelsAvx2 = {
    "avx2",        SynthVec<X86V>::fft, SynthVec<X86V>::mdctInv, quantBandAvx2, msBandAvx2,
    SynthVec<X86V>::q31Products,
};

}  // namespace aacd

#endif
