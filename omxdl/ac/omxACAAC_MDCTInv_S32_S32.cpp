// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Inverse MDCT of one channel and frame, windowing, overlap-add and
// conversion to 16- or 24-bit sample range.
//
// Each block of N/2 coefficients (N = 2048, or 256 for each of eight short
// windows) goes through a pre-twiddle, an N/4-point complex FFT and a
// post-twiddle with the same table, then is unfolded into the two halves of
// the negated IMDCT.  The window tables are stored negated, which turns the
// sign back.  The spectrum buffer is used as work area and destroyed.
//
// Products are Q31 with round-to-nearest, exact halves going down:
// (2 a b + 0x7FFFFFFF) >> 32.  Every sum, the x8 scaling of the short
// windows, the overlap-add and the final rounding addition wrap in 32-bit
// two's complement without saturation; they are done on unsigned values so
// that the wrap is defined.  A full-scale 16-bit sample corresponds to an
// overlap-plus-head sum of about 2^30, which leaves a factor of two of
// headroom; only the final samples are clamped to the output range.
#include <cstdint>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Kernels.h"

namespace {

constexpr int kLongM = 1024;  // coefficients of a long block
constexpr int kShortM = 128;  // coefficients of a short window
constexpr int kLongHalf = 0;
constexpr int kTransitionHalf = 1024;
constexpr int kShortHalf = 1472;

constexpr auto add = aacd::wrapAdd;
constexpr auto neg = aacd::wrapNeg;
// a * 8 as a left shift by 3, bits beyond 32 dropped.
inline int32_t times8(int32_t a) { return aacd::wrapShl(a, 3); }
// (2 a b + 0x7FFFFFFF) >> 32.
constexpr auto prod = aacd::mulQ31RoundDown;

inline void cmul(int32_t ar, int32_t ai, const int32_t *w, int32_t *re, int32_t *im) {
    const int32_t r = aacd::wrapSub(prod(ar, w[0]), prod(ai, w[1]));
    const int32_t i = add(prod(ar, w[1]), prod(ai, w[0]));
    *re = r;
    *im = i;
}

constexpr auto clampSample = aacd::clamp32;

// (v + QRoundings[shift]) >> shift: the addition wraps, the shift is
// arithmetic.
inline int32_t shiftRound(int32_t v, int shift) { return aacd::wrapRoundShiftRight(v, QRoundings[shift], shift); }

// Pre-twiddle of m coefficients x into k = m / 2 complex values z.  In place
// is allowed (z == x): positions 2k, 2k + 1, m - 2 - 2k and m - 1 - 2k are
// read before they are written.
void preTwiddle(const int32_t *x, int32_t *z, int m, const int32_t *tw) {
    const int quarter = m / 4;
    for (int k = 0; k < quarter; ++k) {
        const int k2 = m / 2 - 1 - k;  // partner sharing the same positions
        const int32_t aRe = x[2 * k], aIm = x[m - 1 - 2 * k];
        const int32_t bRe = x[2 * k2], bIm = x[m - 1 - 2 * k2];
        cmul(aRe, aIm, tw + 2 * k, &z[2 * k], &z[2 * k + 1]);
        cmul(bRe, bIm, tw + 2 * k2, &z[2 * k2], &z[2 * k2 + 1]);
    }
}

void postTwiddle(int32_t *y, int m, const int32_t *tw) {
    for (int k = 0; k < m / 2; ++k) cmul(y[2 * k], y[2 * k + 1], tw + 2 * k, &y[2 * k], &y[2 * k + 1]);
}

// First half u of the negated IMDCT from the post-twiddled values y.
void unfoldFirst(const int32_t *y, int32_t *u, int m) {
    const int k = m / 2;
    for (int i = 0; i < k / 2; ++i) {
        const int32_t im = y[2 * i + 1];
        u[m / 2 + 2 * i] = neg(im);
        u[m / 2 - 1 - 2 * i] = im;
    }
    for (int i = k / 2; i < k; ++i) {
        const int32_t re = y[2 * i];
        u[3 * m / 2 - 1 - 2 * i] = re;
        u[2 * i - m / 2] = neg(re);
    }
}

// Second half v, windowed by the falling half f (stored rising, read
// backwards) and passed to sink(index, value).
template <typename Sink>
void unfoldSecondWindowed(const int32_t *y, int m, const int32_t *f, Sink sink) {
    const int k = m / 2;
    for (int i = 0; i < k / 2; ++i) {
        const int32_t re = y[2 * i];
        const int a = m / 2 - 1 - 2 * i, b = m / 2 + 2 * i;
        sink(a, prod(re, f[m - 1 - a]));
        sink(b, prod(re, f[m - 1 - b]));
    }
    for (int i = k / 2; i < k; ++i) {
        const int32_t im = neg(y[2 * i + 1]);
        const int a = 2 * i - m / 2, b = 3 * m / 2 - 1 - 2 * i;
        sink(a, prod(im, f[m - 1 - a]));
        sink(b, prod(im, f[m - 1 - b]));
    }
}

}  // namespace

int32_t aacd::mdctInvC(int32_t *pSrcSpectralCoefs, int32_t *pDstPcm, int32_t *pSrcDstOverlap,
                       int32_t windowSequence, int32_t windowShape, int32_t prevWindowShape,
                       int32_t outputStride, int32_t bitDepth, const ArmIMDCTTables *pTables) {
    int32_t *x = pSrcSpectralCoefs;
    int32_t *ov = pSrcDstOverlap;
    const int32_t *cur = windowShape ? pTables->winKBD : pTables->winSine;
    const int32_t *prev = prevWindowShape ? pTables->winKBD : pTables->winSine;
    const bool deep = bitDepth == 24;
    const int shift = deep ? 6 : 14;
    const int32_t hi = pTables->maxMin[deep ? 8 : 0];
    const int32_t lo = pTables->maxMin[deep ? 12 : 4];

    if (windowSequence != 2) {
        const int32_t *rise = prev + (windowSequence == 3 ? kTransitionHalf : kLongHalf);
        const int32_t *fall = cur + (windowSequence == 0 || windowSequence == 3 ? kLongHalf : kTransitionHalf);
        int32_t scratch[2 * 512];
        int32_t y[2 * 512];
        preTwiddle(x, x, kLongM, pTables->preTwiddleLong);
        aacd::fftC(x, 9, pTables->fftTwiddleLong, scratch);
        for (int i = 0; i < 2 * 512; ++i) y[i] = x[i];
        postTwiddle(y, kLongM, pTables->preTwiddleLong);
        // Head: first half windowed by the rising half, added to the overlap.
        unfoldFirst(y, x, kLongM);
        for (int n = 0; n < kLongM; ++n) {
            const int32_t head = prod(x[n], rise[n]);
            const int32_t h = add(add(ov[n], head), 1) >> 1;
            pDstPcm[n * outputStride] = clampSample(shiftRound(h, shift), lo, hi);
        }
        unfoldSecondWindowed(y, kLongM, fall, [ov](int n, int32_t v) { ov[n] = v; });
        return 0;
    }

    // Eight short windows.  S (the sum of the windowed blocks, time 448 + i)
    // replaces the spectrum window by window; tail holds the last window's
    // second half.
    int32_t tail[kShortM];
    for (int j = 0; j < kShortM; ++j) tail[j] = 0;
    for (int w = 0; w < 8; ++w) {
        int32_t *xw = x + kShortM * w;
        const int32_t *rise = (w == 0 ? prev : cur) + kShortHalf;
        const int32_t *fall = cur + kShortHalf;
        int32_t z[2 * 64];
        int32_t u[kShortM];
        preTwiddle(xw, z, kShortM, pTables->preTwiddleShort);
        aacd::fftC(z, 6, pTables->fftTwiddleShort, xw);
        postTwiddle(z, kShortM, pTables->preTwiddleShort);
        unfoldFirst(z, u, kShortM);
        for (int j = 0; j < kShortM; ++j) xw[j] = add(tail[j], times8(prod(u[j], rise[j])));
        unfoldSecondWindowed(z, kShortM, fall, [&tail](int j, int32_t v) { tail[j] = times8(v); });
    }
    for (int n = 0; n < kLongM; ++n) {
        const int32_t a = n < 448 ? ov[n] : add(ov[n], x[n - 448]);
        pDstPcm[n * outputStride] = clampSample(shiftRound(a, shift + 1), lo, hi);
    }
    for (int n = 0; n < 448; ++n) ov[n] = x[576 + n];
    for (int j = 0; j < kShortM; ++j) ov[448 + j] = tail[j];
    for (int n = 576; n < kLongM; ++n) ov[n] = 0;
    return 0;
}

extern "C" {

AACD_EXPORT int32_t omxACAAC_MDCTInv_S32_S32(int32_t *pSrcSpectralCoefs, int32_t *pDstPcm,
                                             int32_t *pSrcDstOverlap, int32_t windowSequence,
                                             int32_t windowShape, int32_t prevWindowShape,
                                             int32_t outputStride, int32_t bitDepth,
                                             const ArmIMDCTTables *pTables) {
    if (outputStride <= 0) return -5;
    // The vector versions know the library's own tables only.
    const auto mdctInv = pTables == &armACAAC_IMDCT_Tables ? aacd::kernels().mdctInv : aacd::mdctInvC;
    return mdctInv(pSrcSpectralCoefs, pDstPcm, pSrcDstOverlap, windowSequence, windowShape,
                   prevWindowShape, outputStride, bitDepth, pTables);
}

}  // extern "C"
