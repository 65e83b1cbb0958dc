// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Fixed-point complex forward FFT of 64 or 512 points (any order >= 4 works)
// used by the inverse MDCT.
//
// Self-sorting (Stockham) decimation in time: after a pass with accumulated
// radix L the buffer holds, at position j + q * (N / L), bin q of the L-point
// DFT of the subsequence x[j + m * N / L].  The first pass is radix 8 without
// twiddles, the middle passes radix 4 with the twiddles W^(k s), W^(2 k s),
// W^(3 k s), and the last pass radix 4 (odd order) or radix 2 (even order).
// Passes alternate between the data and the scratch buffer; the output lands
// in natural order in the data buffer, so no bit reversal is needed.
//
// The twiddle table holds -exp(-j 2 pi k / N) in Q31, so a product with a
// table entry is the negated twiddled value; the butterflies account for it.
// Additions wrap in 32 bits: the caller keeps the headroom.
#include <cstdint>
#include <cstring>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Kernels.h"

namespace {

constexpr int32_t kSqrtHalf = 0x5A82799A;

constexpr auto add = aacd::wrapAdd;
constexpr auto sub = aacd::wrapSub;
constexpr auto neg = aacd::wrapNeg;
// Q31 product rounded to nearest: (a * b + 2^30) >> 31, low 32 bits.
constexpr auto mulQ31 = aacd::mulQ31Round;

struct Cplx {
    int32_t re, im;
};

inline Cplx cadd(Cplx a, Cplx b) { return {add(a.re, b.re), add(a.im, b.im)}; }
inline Cplx csub(Cplx a, Cplx b) { return {sub(a.re, b.re), sub(a.im, b.im)}; }
// a * (-j)
inline Cplx mulMinusJ(Cplx a) { return {a.im, neg(a.re)}; }

// Complex product, each component rounded once.
inline Cplx cmulOnce(Cplx a, const int32_t *w) {
    const int64_t wr = w[0], wi = w[1];
    const int64_t re = a.re * wr - a.im * wi + (int64_t{1} << 30);
    const int64_t im = a.im * wr + a.re * wi + (int64_t{1} << 30);
    return {static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(re >> 31))),
            static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(im >> 31)))};
}

// Complex product, each partial product rounded separately.
inline Cplx cmulSplit(Cplx a, const int32_t *w) {
    return {sub(mulQ31(a.re, w[0]), mulQ31(a.im, w[1])),
            add(mulQ31(a.re, w[1]), mulQ31(a.im, w[0]))};
}

inline Cplx load(const int32_t *buf, int idx) { return {buf[2 * idx], buf[2 * idx + 1]}; }
inline void store(int32_t *buf, int idx, Cplx v) {
    buf[2 * idx] = v.re;
    buf[2 * idx + 1] = v.im;
}

// Four-point DFT with the twiddled inputs given negated (p_r = -W^r y_r).
inline void dft4Negated(Cplx y0, Cplx p1, Cplx p2, Cplx p3, Cplx out[4]) {
    const Cplx s02 = csub(y0, p2);  // y0 + y2'
    const Cplx d02 = cadd(y0, p2);  // y0 - y2'
    const Cplx s13 = cadd(p1, p3);  // -(y1' + y3')
    const Cplx d13 = csub(p1, p3);  // -(y1' - y3')
    out[0] = csub(s02, s13);
    // y0 - y2' - j (y1' - y3') = d02 + j d13... with d13 negated: d02 - (-j) d13
    out[1] = csub(d02, mulMinusJ(d13));
    out[2] = cadd(s02, s13);
    out[3] = cadd(d02, mulMinusJ(d13));
}

// Radix-8 first pass: eight-point DFTs over stride N/8, from src into dst at
// the same positions.
void R8FirstPass(const int32_t *src, int32_t *dst, int n) {
    const int stride = n / 8;
    for (int j = 0; j < stride; ++j) {
        Cplx a[8];
        for (int m = 0; m < 8; ++m) a[m] = load(src, j + m * stride);
        // Four-point DFTs of the even and the odd points.
        const Cplx e0 = cadd(a[0], a[4]), e1 = csub(a[0], a[4]);
        const Cplx e2 = cadd(a[2], a[6]), e3 = mulMinusJ(csub(a[2], a[6]));
        const Cplx b0 = cadd(e0, e2), b2 = csub(e0, e2);
        const Cplx b1 = cadd(e1, e3), b3 = csub(e1, e3);
        const Cplx o0 = cadd(a[1], a[5]), o1 = csub(a[1], a[5]);
        const Cplx o2 = cadd(a[3], a[7]), o3 = mulMinusJ(csub(a[3], a[7]));
        const Cplx c0 = cadd(o0, o2), c2 = csub(o0, o2);
        Cplx c1 = cadd(o1, o3), c3 = csub(o1, o3);
        // c1 * W8^1 = c1 (1 - j) / sqrt 2; c3 * W8^3 = -c3 (1 + j) / sqrt 2.
        const int32_t c1r = mulQ31(c1.re, kSqrtHalf), c1i = mulQ31(c1.im, kSqrtHalf);
        c1 = {add(c1r, c1i), sub(c1i, c1r)};
        const int32_t c3r = mulQ31(c3.re, kSqrtHalf), c3i = mulQ31(c3.im, kSqrtHalf);
        c3 = {sub(c3i, c3r), neg(add(c3r, c3i))};
        const Cplx c2t = mulMinusJ(c2);
        store(dst, j + 0 * stride, cadd(b0, c0));
        store(dst, j + 4 * stride, csub(b0, c0));
        store(dst, j + 1 * stride, cadd(b1, c1));
        store(dst, j + 5 * stride, csub(b1, c1));
        store(dst, j + 2 * stride, cadd(b2, c2t));
        store(dst, j + 6 * stride, csub(b2, c2t));
        store(dst, j + 3 * stride, cadd(b3, c3));
        store(dst, j + 7 * stride, csub(b3, c3));
    }
}

// One radix-4 pass from accumulated radix L to 4 L.  split selects the
// rounding of the twiddle products (separate partial products in the last
// pass, one rounding per component in the middle passes).
template <bool split>
void radix4Pass(const int32_t *src, int32_t *dst, int n, int accumulated, const int32_t *tw) {
    const int next = accumulated * 4;
    const int groups = n / next;  // N / L'
    const int twStride = groups;  // s = N / L'
    const int inStride = n / accumulated;
    for (int jp = 0; jp < groups; ++jp) {
        for (int q = 0; q < accumulated; ++q) {
            const Cplx y0 = load(src, jp + q * inStride);
            const Cplx y1 = load(src, jp + groups + q * inStride);
            const Cplx y2 = load(src, jp + 2 * groups + q * inStride);
            const Cplx y3 = load(src, jp + 3 * groups + q * inStride);
            const int k = q * twStride;
            Cplx p1, p2, p3;
            if (split) {
                p1 = cmulSplit(y1, tw + 2 * k);
                p2 = cmulSplit(y2, tw + 4 * k);
                p3 = cmulSplit(y3, tw + 6 * k);
            } else {
                p1 = cmulOnce(y1, tw + 2 * k);
                p2 = cmulOnce(y2, tw + 4 * k);
                p3 = cmulOnce(y3, tw + 6 * k);
            }
            Cplx out[4];
            dft4Negated(y0, p1, p2, p3, out);
            for (int t = 0; t < 4; ++t) store(dst, jp + (q + accumulated * t) * groups, out[t]);
        }
    }
}

// Middle radix-4 passes, alternating between the two buffers.  Returns the
// accumulated radix reached and sets *inScratch to where the data is.
int R4Core(int32_t *data, int32_t *scratch, int n, int order, const int32_t *tw, bool *inScratch) {
    // The last pass takes the final two (odd order) or one (even order)
    // factors of two.
    int remaining = order - 3;
    int accumulated = 8;
    const int last = (order & 1) ? 2 : 1;
    bool fromScratch = true;
    while (remaining > last) {
        if (fromScratch)
            radix4Pass<false>(scratch, data, n, accumulated, tw);
        else
            radix4Pass<false>(data, scratch, n, accumulated, tw);
        fromScratch = !fromScratch;
        accumulated *= 4;
        remaining -= 2;
    }
    *inScratch = fromScratch;
    return accumulated;
}

}  // namespace

void aacd::fftC(int32_t *pData, int32_t order, const int32_t *pTwiddles, int32_t *pScratch) {
    const int n = 1 << order;
    R8FirstPass(pData, pScratch, n);
    bool inScratch = true;
    const int accumulated = R4Core(pData, pScratch, n, order, pTwiddles, &inScratch);
    if (!inScratch) std::memcpy(pScratch, pData, sizeof(int32_t) * 2 * static_cast<size_t>(n));
    if (order & 1) {
        radix4Pass<true>(pScratch, pData, n, accumulated, pTwiddles);
    } else {
        // Radix 2: pairs (a, b) at positions 2k, 2k + 1; X[k] = a + W^k b.
        for (int k = 0; k < n / 2; ++k) {
            const Cplx a = load(pScratch, 2 * k);
            const Cplx p = cmulSplit(load(pScratch, 2 * k + 1), pTwiddles + 2 * k);  // -W^k b
            store(pData, k, csub(a, p));
            store(pData, k + n / 2, cadd(a, p));
        }
    }
}

extern "C" {

AACD_EXPORT void omx_FFT_common(int32_t *pData, int32_t order, const int32_t *pTwiddles,
                                int32_t *pScratch) {
    if (order < 4 || order > 9) return;
    // The vector versions know the decoder's two sizes with their twiddles.
    const bool own = (order == 9 && pTwiddles == armACAAC_IMDCT_FFTLongQ31) ||
                     (order == 6 && pTwiddles == armACAAC_IMDCT_FFTShortQ31);
    (own ? aacd::kernels().fft : aacd::fftC)(pData, order, pTwiddles, pScratch);
}

}  // extern "C"
