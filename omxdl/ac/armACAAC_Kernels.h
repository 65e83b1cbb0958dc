// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// The synthesis kernels (FFT, inverse MDCT, inverse quantisation of a band,
// mid/side of a band) in several versions: the plain C one, NEON on aarch64
// (always there), SSE4.1 and AVX2 on x86-64 (used when the CPU has them).
// Every version gives the same results bit for bit.  The exported OpenMAX DL
// operations call kernels(), the best version this CPU runs, chosen once;
// kernelsFor() reaches a given version (the kernel check compares them).
// The vector versions take the library's own tables only (their
// lane-ordered copies are made from those): the operations send any other
// tables to the C version, which takes any.  Band counts are multiples of 4
// (every scale factor band width is).
#pragma once

#include <cstdint>

#include "omxdl/ac/armACAAC.h"

namespace aacd {

enum class KernelIsa : int { C, Sse41, Avx2, Neon };
constexpr KernelIsa kAllKernelIsas[] = {KernelIsa::C, KernelIsa::Sse41, KernelIsa::Avx2, KernelIsa::Neon};

struct SynthKernels {
    const char *name;
    // omx_FFT_common of order 6 with armACAAC_IMDCT_FFTShortQ31 or of order
    // 9 with armACAAC_IMDCT_FFTLongQ31.
    void (*fft)(int32_t *data, int32_t order, const int32_t *twiddles, int32_t *scratch);
    // omxACAAC_MDCTInv_S32_S32 with the table set armACAAC_IMDCT_Tables.
    int32_t (*mdctInv)(int32_t *coefs, int32_t *pcm, int32_t *overlap, int32_t windowSequence,
                       int32_t windowShape, int32_t prevWindowShape, int32_t outputStride,
                       int32_t bitDepth, const ArmIMDCTTables *tables);
    // Inverse quantisation of the count values of one band with the power
    // pow2 = armv8_ACAAC_Pow2Table[sf]: 0, or -163 at the first |q| above
    // 8191 (the values before it converted, the rest left quantised).
    int32_t (*quantBand)(int32_t *values, int32_t count, double pow2);
    // Mid/side of one band: l, r become sat(l + r), sat(l - r).
    void (*msBand)(int32_t *left, int32_t *right, int32_t count);
    // Q31 products of two arrays (count a multiple of 8), for the kernel
    // check of the products the vector versions use: up[i] = (a b + 2^30)
    // >> 31 (any b), down[i] = (a b + 2^30 - 1) >> 31 (b other than -2^31),
    // low 32 bits.
    void (*q31Products)(const int32_t *a, const int32_t *b, int32_t *up, int32_t *down, int32_t count);
};

// nullptr when the version is not built in or the CPU cannot run it.
const SynthKernels *kernelsFor(KernelIsa isa);
const SynthKernels &kernels();

// The plain C versions.
void fftC(int32_t *data, int32_t order, const int32_t *twiddles, int32_t *scratch);
int32_t mdctInvC(int32_t *coefs, int32_t *pcm, int32_t *overlap, int32_t windowSequence,
                 int32_t windowShape, int32_t prevWindowShape, int32_t outputStride, int32_t bitDepth,
                 const ArmIMDCTTables *tables);
int32_t quantBandC(int32_t *values, int32_t count, double pow2);
void msBandC(int32_t *left, int32_t *right, int32_t count);

extern const SynthKernels kKernelsSse41;
extern const SynthKernels kKernelsAvx2;
extern const SynthKernels kKernelsNeon;

}  // namespace aacd

// Lane-ordered copies of the synthesis tables for the vector versions
// (generated with the others by tools/gen_imdct_tables.py).
extern "C" {
extern const int32_t armACAAC_vecPreTwiddleShort[128];
extern const int32_t armACAAC_vecPreTwiddleLong[1024];
extern const int32_t armACAAC_vecTwiddleLast512[768];
extern const int32_t armACAAC_vecTwiddleLast64[64];
extern const int32_t armACAAC_vecTwiddleMid64[96];
extern const int32_t armACAAC_vecWinSine[2048];
extern const int32_t armACAAC_vecWinKBD[2048];
}
