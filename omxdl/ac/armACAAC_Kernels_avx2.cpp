// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// AVX2 versions of the synthesis kernels (x86-64, chosen at run time: only
// the functions here are compiled for AVX2).  The FFT and inverse MDCT run
// on eight lanes (X86V8; the middle pass of the 64-point FFT on X86V in VEX
// encoding); inverse quantisation converts four values at a time in one
// register (a gather of the table values measured slower than four scalar
// loads); mid/side uses eight lanes.
#if defined(__x86_64__)

#define AACD_VEC_TARGET __attribute__((target("avx2")))
#include "omxdl/ac/armACAAC_KernelsX86.h"

namespace {

using I8 = __m256i;

struct X86R256 {
    using I = I8;
    AACD_VEC_TARGET static I mul(I a, I b) { return _mm256_mul_epi32(a, b); }
    AACD_VEC_TARGET static I add64(I a, I b) { return _mm256_add_epi64(a, b); }
    AACD_VEC_TARGET static I sub64(I a, I b) { return _mm256_sub_epi64(a, b); }
    AACD_VEC_TARGET static I half() { return _mm256_set1_epi64x(int64_t{1} << 30); }
    AACD_VEC_TARGET static I odd(I a) { return _mm256_srli_epi64(a, 32); }
    AACD_VEC_TARGET static I narrow31(I e, I o) {
        return _mm256_blend_epi32(_mm256_srli_epi64(e, 31), _mm256_slli_epi64(o, 1), 0xAA);
    }
};

// Eight-lane operations for the lane-generic synthesis template: the
// products are X86Q31's on four 64-bit lanes of even and of odd elements;
// rev, zip and ld2 cross the two 128-bit halves so that lane i is element i,
// as the template expects.
struct X86V8 : X86Q31<X86R256> {
    using I = I8;
    static constexpr int kLanes = 8;
    using Half = X86V;
    AACD_VEC_TARGET static I load(const int32_t *p) { return _mm256_loadu_si256(reinterpret_cast<const I *>(p)); }
    AACD_VEC_TARGET static void store(int32_t *p, I v) { _mm256_storeu_si256(reinterpret_cast<I *>(p), v); }
    AACD_VEC_TARGET static void storeStrided(int32_t *p, int stride, I v) {
        X86V::storeStrided(p, stride, _mm256_castsi256_si128(v));
        X86V::storeStrided(p + 4 * stride, stride, _mm256_extracti128_si256(v, 1));
    }
    AACD_VEC_TARGET static I dup(int32_t v) { return _mm256_set1_epi32(v); }
    AACD_VEC_TARGET static I add(I a, I b) { return _mm256_add_epi32(a, b); }
    AACD_VEC_TARGET static I sub(I a, I b) { return _mm256_sub_epi32(a, b); }
    AACD_VEC_TARGET static I neg(I a) { return _mm256_sub_epi32(_mm256_setzero_si256(), a); }
    AACD_VEC_TARGET static I min(I a, I b) { return _mm256_min_epi32(a, b); }
    AACD_VEC_TARGET static I max(I a, I b) { return _mm256_max_epi32(a, b); }
    AACD_VEC_TARGET static I shl3(I a) { return _mm256_slli_epi32(a, 3); }
    AACD_VEC_TARGET static I sar1(I a) { return _mm256_srai_epi32(a, 1); }
    AACD_VEC_TARGET static I sar(I a, int s) { return _mm256_sra_epi32(a, _mm_cvtsi32_si128(s)); }
    AACD_VEC_TARGET static I sarRound(I a, int s) { return sar(add(a, dup(1 << (s - 1))), s); }
    AACD_VEC_TARGET static I rev(I a) { return _mm256_permutevar8x32_epi32(a, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }
    AACD_VEC_TARGET static void zip(I a, I b, I &lo, I &hi) {
        const I l = _mm256_unpacklo_epi32(a, b), h = _mm256_unpackhi_epi32(a, b);
        lo = _mm256_permute2x128_si256(l, h, 0x20);
        hi = _mm256_permute2x128_si256(l, h, 0x31);
    }
    AACD_VEC_TARGET static void ld2(const int32_t *p, I &even, I &odd) {
        const __m256 a = _mm256_castsi256_ps(load(p)), b = _mm256_castsi256_ps(load(p + 8));
        // Per half: a0 a2 b0 b2 | a4 a6 b4 b6; then the 64-bit pieces reordered.
        even = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                                        _MM_SHUFFLE(3, 1, 2, 0));
        odd = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))),
                                       _MM_SHUFFLE(3, 1, 2, 0));
    }
    // Quarter g (lanes 4g .. 4g + 3) from p + g off: four words, or p[g off]
    // in each lane.
    AACD_VEC_TARGET static I loadQuads(const int32_t *p, int off) {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(X86V::load(p)), X86V::load(p + off), 1);
    }
    AACD_VEC_TARGET static I dupQuads(const int32_t *p, int off) {
        return _mm256_inserti128_si256(_mm256_set1_epi32(p[0]), _mm_set1_epi32(p[off]), 1);
    }
    // 4 x 4 transpose in each half.
    AACD_VEC_TARGET static void transpose(I &a, I &b, I &c, I &d) {
        const I t0 = _mm256_unpacklo_epi32(a, b), t1 = _mm256_unpacklo_epi32(c, d);
        const I t2 = _mm256_unpackhi_epi32(a, b), t3 = _mm256_unpackhi_epi32(c, d);
        a = _mm256_unpacklo_epi64(t0, t1);
        b = _mm256_unpackhi_epi64(t0, t1);
        c = _mm256_unpacklo_epi64(t2, t3);
        d = _mm256_unpackhi_epi64(t2, t3);
    }
};

AACD_VEC_TARGET I8 satLimit8(I8 a) { return _mm256_xor_si256(_mm256_srai_epi32(a, 31), _mm256_set1_epi32(INT32_MAX)); }

// v where over's sign bit is clear, limit where it is set.
AACD_VEC_TARGET I8 blend(I8 v, I8 limit, I8 over) {
    return _mm256_castps_si256(
        _mm256_blendv_ps(_mm256_castsi256_ps(v), _mm256_castsi256_ps(limit), _mm256_castsi256_ps(over)));
}

// count a multiple of 4: an odd number of fours begins with one on four
// lanes.
AACD_VEC_TARGET void msBandAvx2(int32_t *l, int32_t *r, int32_t count) {
    if (count & 4) msBandX86(l, r, 4);
    for (int32_t i = count & 4; i < count; i += 8) {
        const I8 a = _mm256_loadu_si256(reinterpret_cast<const I8 *>(l + i));
        const I8 b = _mm256_loadu_si256(reinterpret_cast<const I8 *>(r + i));
        const I8 s = _mm256_add_epi32(a, b), d = _mm256_sub_epi32(a, b);
        const I8 lim = satLimit8(a);
        const I8 overS = _mm256_and_si256(_mm256_xor_si256(s, a), _mm256_xor_si256(s, b));
        const I8 overD = _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(a, d));
        _mm256_storeu_si256(reinterpret_cast<I8 *>(l + i), blend(s, lim, overS));
        _mm256_storeu_si256(reinterpret_cast<I8 *>(r + i), blend(d, lim, overD));
    }
}

// QuantSse41's arithmetic on the four values at once.
struct QuantAvx2 {
    AACD_VEC_TARGET static __m128i convert(const double *tab, __m128i a, __m128i q, double scale) {
        alignas(16) uint32_t m[4];
        _mm_store_si128(reinterpret_cast<__m128i *>(m), a);
        const __m128d t01 = _mm_loadh_pd(_mm_load_sd(tab + m[0]), tab + m[1]);
        const __m128d t23 = _mm_loadh_pd(_mm_load_sd(tab + m[2]), tab + m[3]);
        const __m256d t = _mm256_insertf128_pd(_mm256_castpd128_pd256(t01), t23, 1);
        const __m256d sign = _mm256_castsi256_pd(
            _mm256_and_si256(_mm256_cvtepi32_epi64(q), _mm256_set1_epi64x(static_cast<int64_t>(0x8000000000000000ull))));
        const __m256d x = _mm256_xor_pd(_mm256_mul_pd(t, _mm256_set1_pd(scale)), sign);
        __m256d y = _mm256_add_pd(x, _mm256_or_pd(_mm256_set1_pd(0.5), sign));
        y = _mm256_min_pd(_mm256_max_pd(y, _mm256_set1_pd(-2147483648.0)), _mm256_set1_pd(2147483647.0));
        return _mm256_cvttpd_epi32(y);
    }
};

}  // namespace

#include "omxdl/ac/armACAAC_KernelsVec.h"

namespace aacd {

const SynthKernels kKernelsAvx2 = {
    "avx2",        SynthVec<X86V8>::fft, SynthVec<X86V8>::mdctInv, quantBandX86<QuantAvx2>, msBandAvx2,
    SynthVec<X86V8>::q31Products,
};

}  // namespace aacd

#endif
