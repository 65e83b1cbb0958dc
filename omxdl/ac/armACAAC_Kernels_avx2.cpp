// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// AVX2 versions of the synthesis kernels (x86-64, chosen at run time: only
// the functions here are compiled for AVX2).  The FFT and inverse MDCT are
// the four-lane ones in VEX encoding, and so is inverse quantisation (a
// gather of the table values measured slower than four scalar loads);
// mid/side uses eight lanes.
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

}  // namespace

namespace aacd {

const SynthKernels kKernelsAvx2 = {
    "avx2",        SynthVec<X86V>::fft, SynthVec<X86V>::mdctInv, quantBandX86, msBandAvx2,
    SynthVec<X86V>::q31Products,
};

}  // namespace aacd

#endif
