// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// Four-lane operations on SSE4.1 registers for the vector synthesis kernels,
// and the mid/side and inverse quantisation of a band on them.  Included by
// the SSE4.1 and the AVX2 file, each with its own AACD_VEC_TARGET; nothing
// here has external linkage.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Kernels.h"

namespace {

// The rounded Q31 products of the vector kernels, on registers of 64-bit
// lanes: R (X86R128, X86R256) gives the width's operations.
//
// The C products are mulQ31Round(a, b) = low 32 bits of (a b + 2^30) >> 31
// on 64-bit integers, and the same with a b -/+ c d for the middle FFT
// passes.  Here, for every operand (-2^31 included):
// - R::mul multiplies the signed low 32 bits of each 64-bit lane (PMULDQ)
//   into the exact 64-bit product (|a b| <= 2^62); R::odd moves the odd
//   32-bit elements into those low halves, so that the even and the odd
//   elements each get their exact products;
// - the sums a b + 2^30 and a b - c d + 2^30 lie inside the 64-bit range;
//   a b + c d + 2^30 leaves it only for b = d = -2^31 (and a = c = -2^31),
//   which never occurs: b, d are the two parts of one FFT twiddle;
// - R::narrow31 puts bits 31..62 of each sum into its element: a logical
//   right shift by 31 for the even element (the low half of its lane), a
//   left shift by 1 for the odd one (the high half), then a blend.  Bits
//   31..62 are the low 32 bits of sum >> 31, arithmetic or logical.
// So every lane equals the C product bit for bit (the kernel check's
// q31_products case holds every pair of extremes and exact halves).
template <class R>
struct X86Q31 {
    using I = typename R::I;
    AACD_VEC_TARGET static I mulr(I a, I b) {
        const I e = R::add64(R::mul(a, b), R::half());
        const I o = R::add64(R::mul(R::odd(a), R::odd(b)), R::half());
        return R::narrow31(e, o);
    }
    AACD_VEC_TARGET static I mulrExact(I a, I b) { return mulr(a, b); }
    AACD_VEC_TARGET static I mulSubR(I a, I b, I c, I d) {
        const I e = R::add64(R::sub64(R::mul(a, b), R::mul(c, d)), R::half());
        const I o = R::add64(R::sub64(R::mul(R::odd(a), R::odd(b)), R::mul(R::odd(c), R::odd(d))), R::half());
        return R::narrow31(e, o);
    }
    AACD_VEC_TARGET static I mulAddR(I a, I b, I c, I d) {
        const I e = R::add64(R::add64(R::mul(a, b), R::mul(c, d)), R::half());
        const I o = R::add64(R::add64(R::mul(R::odd(a), R::odd(b)), R::mul(R::odd(c), R::odd(d))), R::half());
        return R::narrow31(e, o);
    }
};

struct X86R128 {
    using I = __m128i;
    AACD_VEC_TARGET static I mul(I a, I b) { return _mm_mul_epi32(a, b); }
    AACD_VEC_TARGET static I add64(I a, I b) { return _mm_add_epi64(a, b); }
    AACD_VEC_TARGET static I sub64(I a, I b) { return _mm_sub_epi64(a, b); }
    AACD_VEC_TARGET static I half() { return _mm_set1_epi64x(int64_t{1} << 30); }
    AACD_VEC_TARGET static I odd(I a) { return _mm_srli_epi64(a, 32); }
    AACD_VEC_TARGET static I narrow31(I e, I o) {
        return _mm_blend_epi16(_mm_srli_epi64(e, 31), _mm_slli_epi64(o, 1), 0xCC);
    }
};

struct X86V : X86Q31<X86R128> {
    using I = __m128i;
    static constexpr int kLanes = 4;
    using Half = X86V;
    AACD_VEC_TARGET static I load(const int32_t *p) { return _mm_loadu_si128(reinterpret_cast<const I *>(p)); }
    AACD_VEC_TARGET static void store(int32_t *p, I v) { _mm_storeu_si128(reinterpret_cast<I *>(p), v); }
    AACD_VEC_TARGET static void storeStrided(int32_t *p, int stride, I v) {
        p[0] = _mm_cvtsi128_si32(v);
        p[stride] = _mm_extract_epi32(v, 1);
        p[2 * stride] = _mm_extract_epi32(v, 2);
        p[3 * stride] = _mm_extract_epi32(v, 3);
    }
    AACD_VEC_TARGET static I dup(int32_t v) { return _mm_set1_epi32(v); }
    AACD_VEC_TARGET static I add(I a, I b) { return _mm_add_epi32(a, b); }
    AACD_VEC_TARGET static I sub(I a, I b) { return _mm_sub_epi32(a, b); }
    AACD_VEC_TARGET static I neg(I a) { return _mm_sub_epi32(_mm_setzero_si128(), a); }
    AACD_VEC_TARGET static I min(I a, I b) { return _mm_min_epi32(a, b); }
    AACD_VEC_TARGET static I max(I a, I b) { return _mm_max_epi32(a, b); }
    AACD_VEC_TARGET static I shl3(I a) { return _mm_slli_epi32(a, 3); }
    AACD_VEC_TARGET static I sar1(I a) { return _mm_srai_epi32(a, 1); }
    AACD_VEC_TARGET static I sar(I a, int s) { return _mm_sra_epi32(a, _mm_cvtsi32_si128(s)); }
    // (a + 2^(s-1)) >> s for 1 <= s <= 31 and a sum that does not wrap.
    AACD_VEC_TARGET static I sarRound(I a, int s) { return sar(add(a, dup(1 << (s - 1))), s); }
    AACD_VEC_TARGET static I rev(I a) { return _mm_shuffle_epi32(a, _MM_SHUFFLE(0, 1, 2, 3)); }
    AACD_VEC_TARGET static void zip(I a, I b, I &lo, I &hi) {
        lo = _mm_unpacklo_epi32(a, b);
        hi = _mm_unpackhi_epi32(a, b);
    }
    AACD_VEC_TARGET static void ld2(const int32_t *p, I &even, I &odd) {
        const __m128 a = _mm_castsi128_ps(load(p)), b = _mm_castsi128_ps(load(p + 4));
        even = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
        odd = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    // One quarter of four lanes: p (off unused).
    AACD_VEC_TARGET static I loadQuads(const int32_t *p, int) { return load(p); }
    AACD_VEC_TARGET static I dupQuads(const int32_t *p, int) { return dup(*p); }
    AACD_VEC_TARGET static I loadPairs(const int32_t *p, const int32_t *q) {
        return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const I *>(p)),
                                  _mm_loadl_epi64(reinterpret_cast<const I *>(q)));
    }
    AACD_VEC_TARGET static void transpose(I &a, I &b, I &c, I &d) {
        const I t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
        const I t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
        a = _mm_unpacklo_epi64(t0, t1);
        b = _mm_unpackhi_epi64(t0, t1);
        c = _mm_unpacklo_epi64(t2, t3);
        d = _mm_unpackhi_epi64(t2, t3);
    }
    // Saturating a + b and a - b: on overflow the limit of a's sign.
    AACD_VEC_TARGET static I satLimit(I a) { return _mm_xor_si128(_mm_srai_epi32(a, 31), _mm_set1_epi32(INT32_MAX)); }
    AACD_VEC_TARGET static I satAdd(I a, I b) {
        const I s = _mm_add_epi32(a, b);
        const I over = _mm_and_si128(_mm_xor_si128(s, a), _mm_xor_si128(s, b));
        return _mm_castps_si128(_mm_blendv_ps(_mm_castsi128_ps(s), _mm_castsi128_ps(satLimit(a)), _mm_castsi128_ps(over)));
    }
    AACD_VEC_TARGET static I satSub(I a, I b) {
        const I d = _mm_sub_epi32(a, b);
        const I over = _mm_and_si128(_mm_xor_si128(a, b), _mm_xor_si128(a, d));
        return _mm_castps_si128(_mm_blendv_ps(_mm_castsi128_ps(d), _mm_castsi128_ps(satLimit(a)), _mm_castsi128_ps(over)));
    }
};

// count a multiple of 4.
[[maybe_unused]] AACD_VEC_TARGET void msBandX86(int32_t *l, int32_t *r, int32_t count) {
    for (int32_t i = 0; i < count; i += 4) {
        const __m128i a = X86V::load(l + i), b = X86V::load(r + i);
        X86V::store(l + i, X86V::satAdd(a, b));
        X86V::store(r + i, X86V::satSub(a, b));
    }
}

// sign(q) T[|q|] (P 2^-20) for two values, rounded half away from zero and
// saturated (see the C version for why this equals its expression).
AACD_VEC_TARGET __m128i quantPair(__m128d t, __m128i q2, __m128d scale) {
    const __m128d sign = _mm_castsi128_pd(
        _mm_and_si128(_mm_cvtepi32_epi64(q2), _mm_set1_epi64x(static_cast<int64_t>(0x8000000000000000ull))));
    const __m128d x = _mm_xor_pd(_mm_mul_pd(t, scale), sign);
    __m128d y = _mm_add_pd(x, _mm_or_pd(_mm_set1_pd(0.5), sign));
    y = _mm_min_pd(_mm_max_pd(y, _mm_set1_pd(-2147483648.0)), _mm_set1_pd(2147483647.0));
    return _mm_cvttpd_epi32(y);
}

// The four values q (magnitudes a) of the SSE4.1 band loop, as two pairs.
struct QuantSse41 {
    AACD_VEC_TARGET static __m128i convert(const double *tab, __m128i a, __m128i q, double scale) {
        const __m128d t01 = _mm_loadh_pd(_mm_load_sd(tab + _mm_cvtsi128_si32(a)), tab + _mm_extract_epi32(a, 1));
        const __m128d t23 = _mm_loadh_pd(_mm_load_sd(tab + _mm_extract_epi32(a, 2)), tab + _mm_extract_epi32(a, 3));
        const __m128d s = _mm_set1_pd(scale);
        return _mm_unpacklo_epi64(quantPair(t01, q, s), quantPair(t23, _mm_srli_si128(q, 8), s));
    }
};

// One pass over the band (count a multiple of 4): a vector with some |q|
// above 8191 goes to the C version, which converts it up to the bad value
// and stops there with the error.  All-zero vectors take the same path as
// the others (T[0] = 0 gives 0): skipping them cost more in mispredicted
// branches than it saved.
template <class Q>
AACD_VEC_TARGET int32_t quantBandX86(int32_t *p, int32_t count, double pow2) {
    const double scale = pow2 * 0x1p-20;
    const double *tab = armv8_ACAAC_InvQuantTable;
    for (int32_t i = 0; i < count; i += 4) {
        const __m128i q = X86V::load(p + i);
        // |q| > 8191 as unsigned (-2^31 included): a bit above the low 13.
        const __m128i a = _mm_abs_epi32(q);
        if (!_mm_testz_si128(a, _mm_set1_epi32(~8191))) return aacd::quantBandC(p + i, 4, pow2);
        X86V::store(p + i, Q::convert(tab, a, q, scale));
    }
    return 0;
}

}  // namespace
