// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// The synthesis kernels as cases for the kernel check (every version on the
// same inputs, bit for bit) and for the kernel benchmark (every version timed
// on the same inputs).  A case's state is one array of words: inputs and
// outputs, with the words before `compareFrom` a work area whose contents
// after the call are not compared.  fill() draws inputs from a seed: values
// of every magnitude up to the full 32-bit range, the extremes 0, +-1,
// 2^31 - 1 and -2^31, sums that wrap, products that are exact halves.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Kernels.h"

namespace kernel_cases {

struct Case {
    const char *name;
    size_t words, compareFrom;
    void (*fill)(uint32_t seed, int32_t *state);
    void (*call)(const aacd::SynthKernels &k, int32_t *state);
};

inline constexpr int32_t kExtremes[] = {0, 1, -1, INT32_MAX, INT32_MIN, INT32_MIN + 1, 1 << 30, -(1 << 30)};

// Words of one magnitude class per seed (8, 16, 24, 28 or 32 significant
// bits), one in 64 an extreme instead.
inline void fillWords(std::mt19937 &rng, int32_t *p, size_t n) {
    static constexpr int kBits[] = {8, 16, 24, 28, 32};
    const int shift = 32 - kBits[rng() % 5];
    for (size_t i = 0; i < n; ++i) p[i] = rng() % 64 == 0 ? kExtremes[rng() % 8] : static_cast<int32_t>(rng()) >> shift;
}

// FFT: [scratch 2N][data 2N].
template <int order>
void fillFft(uint32_t seed, int32_t *s) {
    std::mt19937 rng(seed);
    fillWords(rng, s, 4u << order);
}
template <int order>
void callFft(const aacd::SynthKernels &k, int32_t *s) {
    k.fft(s + (2 << order), order, order == 9 ? armACAAC_IMDCT_FFTLongQ31 : armACAAC_IMDCT_FFTShortQ31, s);
}

// Inverse MDCT: [coefs 1024][sequence, shape, previous shape, stride, depth,
// padding 3][overlap 1024][pcm 6144].
constexpr size_t kMdctParams = 1024, kMdctOverlap = 1032, kMdctPcm = 2056, kMdctWords = 2056 + 6144;
inline void fillMdct(uint32_t seed, int32_t *s) {
    std::mt19937 rng(seed);
    static constexpr int32_t kSequences[] = {0, 1, 2, 3, 5}, kStrides[] = {1, 2, 6};
    fillWords(rng, s, kMdctWords);
    const int32_t params[] = {kSequences[rng() % 5], static_cast<int32_t>(rng() % 2), static_cast<int32_t>(rng() % 2),
                              kStrides[rng() % 3], rng() % 2 ? 16 : 24};  // drawn in this order
    std::memcpy(s + kMdctParams, params, sizeof params);
}
inline void callMdct(const aacd::SynthKernels &k, int32_t *s) {
    const int32_t *p = s + kMdctParams;
    (void)k.mdctInv(s, s + kMdctPcm, s + kMdctOverlap, p[0], p[1], p[2], p[3], p[4], &armACAAC_IMDCT_Tables);
}

// Inverse quantisation of a band: [count, sf, status, padding][values 1024].
// count a multiple of 4, quantised values up to +-8191; one seed in four
// puts an out-of-range value somewhere.
inline void fillQuant(uint32_t seed, int32_t *s) {
    std::mt19937 rng(seed);
    s[0] = static_cast<int32_t>(4 + 4 * (rng() % 256));
    s[1] = static_cast<int32_t>(rng() % 256);
    const int32_t amp = static_cast<int32_t>(1u << (rng() % 14));
    for (int i = 0; i < 1024; ++i) {
        const int32_t v = static_cast<int32_t>(rng() % static_cast<uint32_t>(amp));
        s[4 + i] = rng() % 2 ? v : -v;
        if (rng() % 100 == 0) s[4 + i] = rng() % 2 ? 8191 : -8191;
    }
    static constexpr int32_t kBad[] = {8192, -8192, INT32_MAX, INT32_MIN};
    if (seed % 4 == 3) s[4 + rng() % static_cast<uint32_t>(s[0])] = kBad[rng() % 4];
}
inline void callQuant(const aacd::SynthKernels &k, int32_t *s) {
    s[2] = k.quantBand(s + 4, s[0], armv8_ACAAC_Pow2Table[s[1]]);
}

// Mid/side of a band: [count, a multiple of 4][left 1024][right 1024].
inline void fillMs(uint32_t seed, int32_t *s) {
    std::mt19937 rng(seed);
    fillWords(rng, s + 1, 2048);
    s[0] = static_cast<int32_t>(4 + 4 * (rng() % 256));
}
inline void callMs(const aacd::SynthKernels &k, int32_t *s) { k.msBand(s + 1, s + 1025, s[0]); }

// Q31 products: [a 1024][b 1024][up 1024][down 1024].  Besides random
// operands: every pair of extremes, and exact halves (a b = 2^30 times an odd
// number).  down is only defined for b != -2^31 and zeroed there.
inline void fillProducts(uint32_t seed, int32_t *s) {
    std::mt19937 rng(seed);
    fillWords(rng, s, 2048);
    for (int i = 0; i < 64; ++i) {
        s[i] = kExtremes[i % 8];
        s[1024 + i] = kExtremes[i / 8];
    }
    for (int i = 64; i < 512; ++i) {
        const int sh = static_cast<int>(rng() % 31);
        s[i] = static_cast<int32_t>(rng() % 2 ? (1u << sh) : 0u - (1u << sh));
        s[1024 + i] = static_cast<int32_t>((rng() | 1u) << (30 - sh));
    }
}
inline void callProducts(const aacd::SynthKernels &k, int32_t *s) {
    k.q31Products(s, s + 1024, s + 2048, s + 3072, 1024);
    for (int i = 0; i < 1024; ++i)
        if (s[1024 + i] == INT32_MIN) s[3072 + i] = 0;
}

inline const std::vector<Case> &all() {
    static const std::vector<Case> cases = {
        {"fft64", 256, 128, fillFft<6>, callFft<6>},
        {"fft512", 2048, 1024, fillFft<9>, callFft<9>},
        {"mdct_inv", kMdctWords, kMdctParams, fillMdct, callMdct},
        {"quant_band", 1028, 0, fillQuant, callQuant},
        {"ms_band", 2049, 0, fillMs, callMs},
        {"q31_products", 4096, 0, fillProducts, callProducts},
    };
    return cases;
}

}  // namespace kernel_cases
